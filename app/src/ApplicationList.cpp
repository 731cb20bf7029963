#include <OrvintaApp/ApplicationList.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/Preferences.h>

#include <OrvintaEngine/MainThread.h>

#include <QPointer>

#include <algorithm>

namespace Orvinta {

ApplicationList::ApplicationList(std::shared_ptr<AudioCaptureBackend> audio,
                                 std::shared_ptr<SerialWorker> soundServer,
                                 Preferences &preferences, QObject *parent)
    : QAbstractListModel(parent)
    , m_audio(std::move(audio))
    , m_soundServer(std::move(soundServer))
    , m_preferences(preferences) {
    connect(&preferences, &Preferences::selectedApplicationChanged, this, [this] {
        updateRows();
        Q_EMIT selectedIndexChanged();
    });
    updateRows();
}

ApplicationList::~ApplicationList() {
    releaseWatch();
}

int ApplicationList::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant ApplicationList::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return row.name;
    case DescriptionRole:
        return row.description;
    case IconNameRole:
        return row.iconName;
    case PlayingRole:
        return row.playing;
    default:
        return {};
    }
}

QHash<int, QByteArray> ApplicationList::roleNames() const {
    return {{NameRole, "name"},
            {DescriptionRole, "description"},
            {IconNameRole, "iconName"},
            {PlayingRole, "playing"}};
}

int ApplicationList::selectedIndex() const {
    const QString chosen = m_preferences.selectedApplication();
    if (chosen.isEmpty())
        return -1;
    const auto found = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row &row) {
        return row.name.compare(chosen, Qt::CaseInsensitive) == 0 ||
               row.binary.compare(chosen, Qt::CaseInsensitive) == 0;
    });
    return found == m_rows.end() ? -1 : static_cast<int>(found - m_rows.begin());
}

int ApplicationList::playingCount() const {
    return static_cast<int>(
        std::count_if(m_rows.begin(), m_rows.end(), [](const Row &row) { return row.playing; }));
}

void ApplicationList::selectIndex(int row) {
    if (row >= 0 && row < static_cast<int>(m_rows.size()))
        m_preferences.setSelectedApplication(m_rows[static_cast<std::size_t>(row)].name);
}

void ApplicationList::setStreams(std::vector<PlaybackStream> streams) {
    m_streams = std::move(streams);
    updateRows();
}

void ApplicationList::updateRows() {
    std::vector<Row> rows;
    for (const PlayingApplication &application : playingApplications(m_streams)) {
        const QString binary = QString::fromStdString(application.binary);
        const QString media = QString::fromStdString(application.mediaName);
        rows.push_back(Row{QString::fromStdString(application.name), binary,
                           media.isEmpty() ? binary : media,
                           QString::fromStdString(application.iconName), true});
    }
    const QString chosen = m_preferences.selectedApplication();
    const bool chosenPlays = std::any_of(m_streams.begin(), m_streams.end(), [&](const auto &s) {
        return !s.corked && playsFor(s, chosen.toStdString());
    });
    if (!chosen.isEmpty() && !chosenPlays)
        rows.push_back(Row{chosen, {}, QStringLiteral("Not playing now"), {}, false});

    // Rows change in place, so that a list on screen keeps its delegates.
    const int selectedBefore = selectedIndex();
    const int playingBefore = playingCount();
    for (int i = static_cast<int>(m_rows.size()) - 1; i >= 0; --i) {
        const Row &old = m_rows[static_cast<std::size_t>(i)];
        if (std::none_of(rows.begin(), rows.end(),
                         [&](const Row &r) { return r.name == old.name; })) {
            beginRemoveRows({}, i, i);
            m_rows.erase(m_rows.begin() + i);
            endRemoveRows();
        }
    }
    for (const Row &row : rows) {
        const auto known = std::find_if(m_rows.begin(), m_rows.end(),
                                        [&](const Row &r) { return r.name == row.name; });
        if (known == m_rows.end()) {
            const int at = static_cast<int>(m_rows.size());
            beginInsertRows({}, at, at);
            m_rows.push_back(row);
            endInsertRows();
        } else if (!(*known == row)) {
            *known = row;
            const QModelIndex changed = index(static_cast<int>(known - m_rows.begin()));
            Q_EMIT dataChanged(changed, changed);
        }
    }
    if (selectedIndex() != selectedBefore)
        Q_EMIT selectedIndexChanged();
    if (playingCount() != playingBefore)
        Q_EMIT playingCountChanged();
}

void ApplicationList::setWatching(bool watching) {
    if (watching == m_watching)
        return;
    m_watching = watching;
    const int generation = ++m_generation;
    releaseWatch();
    if (!watching) {
        setStreams({});
        return;
    }
    if (!m_audio || !m_soundServer)
        return;
    QPointer<ApplicationList> self(this);
    // Streams and the watch arrive from other threads: one hop each, and
    // only while this is still the watching that asked for them.
    PlaybackStreamsHandler changed = [self, generation](std::vector<PlaybackStream> streams) {
        postToMainThread([self, generation, streams = std::move(streams)]() mutable {
            if (self && self->m_generation == generation)
                self->setStreams(std::move(streams));
        });
    };
    m_soundServer->post(
        [audio = m_audio, worker = std::weak_ptr(m_soundServer), changed, self, generation] {
            std::shared_ptr<PlaybackWatch> watch;
            try {
                watch = audio->watchPlaybackStreams(changed);
            } catch (const EngineError &error) {
                qCWarning(lcAppState, "Cannot list the applications playing sound: %s",
                          error.description().c_str());
            }
            if (!watch)
                return;
            postToMainThread([self, generation, worker, watch]() mutable {
                if (self && self->m_generation == generation) {
                    self->m_watch = std::move(watch);
                } else if (auto thread = worker.lock()) {
                    thread->post([watch = std::move(watch)]() mutable { watch.reset(); });
                }
            });
        });
}

void ApplicationList::releaseWatch() {
    if (!m_watch)
        return;
    if (m_soundServer)
        m_soundServer->post([watch = std::move(m_watch)]() mutable { watch.reset(); });
    m_watch.reset();
}

} // namespace Orvinta
