#include <OrvintaApp/AudioDeviceList.h>

#include <OrvintaApp/Observable.h>

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngineBackends/AudioDevices.h>

#include <QPointer>

#include <algorithm>
#include <utility>

namespace Orvinta {

AudioDeviceList::AudioDeviceList(std::shared_ptr<AudioCaptureBackend> audio,
                                 std::shared_ptr<SerialWorker> soundServer, QObject *parent)
    : QAbstractListModel(parent)
    , m_audio(std::move(audio))
    , m_soundServer(std::move(soundServer)) {
    const auto indexMoved = [this] { Q_EMIT selectedIndexChanged(); };
    connect(this, &AudioDeviceList::selectedDeviceIDChanged, this, indexMoved);
    connect(this, &QAbstractItemModel::modelReset, this, indexMoved);
    connect(this, &QAbstractItemModel::rowsInserted, this, indexMoved);
    connect(this, &QAbstractItemModel::rowsRemoved, this, indexMoved);
}

int AudioDeviceList::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_devices.size());
}

QVariant AudioDeviceList::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const AudioDevice &device = m_devices[static_cast<std::size_t>(index.row())];
    if (role == IdRole)
        return device.id;
    if (role == NameRole || role == Qt::DisplayRole)
        return QString::fromStdString(device.name);
    return {};
}

QHash<int, QByteArray> AudioDeviceList::roleNames() const {
    return {{IdRole, "deviceId"}, {NameRole, "name"}};
}

void AudioDeviceList::setSelectedDeviceID(std::optional<std::uint32_t> id) {
    m_selectedKey = keyOf(id);
    assignNotifying(this, m_selectedDeviceID, id, &AudioDeviceList::selectedDeviceIDChanged);
}

std::string AudioDeviceList::keyOf(std::optional<std::uint32_t> id) const {
    for (std::size_t row = 0; id && row < m_devices.size() && row < m_keys.size(); ++row)
        if (m_devices[row].id == *id)
            return m_keys[row];
    return {};
}

QVariant AudioDeviceList::selectedDeviceIDVariant() const {
    return m_selectedDeviceID ? QVariant::fromValue(*m_selectedDeviceID) : QVariant();
}

void AudioDeviceList::selectDevice(const QVariant &id) {
    bool ok = false;
    const uint value = id.toUInt(&ok);
    setSelectedDeviceID(ok ? std::optional<std::uint32_t>(value) : std::nullopt);
}

int AudioDeviceList::selectedIndex() const {
    if (!m_selectedDeviceID)
        return -1;
    const auto found = std::find_if(m_devices.begin(), m_devices.end(), [&](const AudioDevice &d) {
        return d.id == *m_selectedDeviceID;
    });
    return found == m_devices.end() ? -1 : static_cast<int>(found - m_devices.begin());
}

void AudioDeviceList::selectIndex(int row) {
    if (row >= 0 && row < static_cast<int>(m_devices.size()))
        setSelectedDeviceID(m_devices[static_cast<std::size_t>(row)].id);
}

QCoro::Task<> AudioDeviceList::refresh() {
    if (!m_audio || !m_soundServer)
        co_return;
    QPointer<AudioDeviceList> self(this);
    struct Listing {
        std::vector<AudioDevice> devices;
        std::vector<std::string> keys;
        std::optional<std::uint32_t> selected;
        bool answered = false;
        bool monitor = false;
    };
    const std::optional<std::uint32_t> selectedBefore = m_selectedDeviceID;
    std::function<Listing()> query =
        [audio = m_audio,
         listing = Listing{m_devices, m_keys, selectedBefore, false, false}]() mutable {
            const auto records = audio->inputDevices();
            listing.answered = records.has_value();
            listing.monitor =
                records && std::any_of(records->begin(), records->end(),
                                       [](const auto &record) { return record.isMonitor; });
            refreshAudioDevices(records, listing.devices, listing.selected);
            if (records) {
                listing.keys.clear();
                for (const AudioDevice &device : listing.devices)
                    for (const InputDeviceRecord &record : *records)
                        if (record.id == device.id) {
                            listing.keys.push_back(record.key);
                            break;
                        }
            }
            return listing;
        };
    std::optional<Listing> listing;
    try {
        QCoro::Task<Listing> asking = runOn(m_soundServer, std::move(query));
        listing = co_await asking;
    } catch (const OperationCancelled &) {
        co_return;
    }
    if (!self)
        co_return;
    if (m_devices != listing->devices) {
        beginResetModel();
        m_devices = listing->devices;
        endResetModel();
    }
    m_keys = listing->keys;
    if (m_selectedDeviceID == selectedBefore) {
        // The chosen device under its id of now; gone, it stays chosen.
        const std::string chosen = m_selectedKey;
        for (std::size_t row = 0; !chosen.empty() && row < m_keys.size(); ++row)
            if (m_keys[row] == chosen)
                listing->selected = m_devices[row].id;
        setSelectedDeviceID(listing->selected);
        if (m_selectedKey.empty())
            m_selectedKey = chosen;
    }
    m_serverStatus = listing->answered ? ServerStatus::answered : ServerStatus::unreachable;
    m_hasSystemAudio = listing->monitor;
    Q_EMIT refreshed();
}

void AudioDeviceList::followChanges() {
    if (!m_audio || !m_soundServer || m_watch)
        return;
    QPointer<AudioDeviceList> self(this);
    // From the watch's thread: one refresh at a time, and one more after it
    // for whatever changed meanwhile.
    m_watch = m_audio->watchDevices([self] {
        postToMainThread([self] {
            if (!self)
                return;
            self->m_changePending = true;
            if (std::exchange(self->m_followingChange, true))
                return;
            [](QPointer<AudioDeviceList> list) -> QCoro::Task<> {
                while (list && std::exchange(list->m_changePending, false)) {
                    QCoro::Task<> refreshing = list->refresh();
                    co_await refreshing;
                }
                if (list)
                    list->m_followingChange = false;
            }(self);
        });
    });
}

} // namespace Orvinta
