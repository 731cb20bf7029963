#include <OrvintaApp/SessionSaver.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaApp/SessionStore.h>
#include <OrvintaApp/Transcript.h>

#include <OrvintaEngine/MainThread.h>

#include <QCoreApplication>
#include <QPointer>

#include <mutex>
#include <optional>
#include <utility>

namespace Orvinta {

namespace {
constexpr qsizetype maxRestoredLines = 500;
}

/// The snapshot waiting for its write; a newer one replaces it.
struct SessionSaver::Newest {
    std::mutex lock;
    std::optional<SessionData> data;

    void put(SessionData snapshot) {
        const std::lock_guard guard(lock);
        data = std::move(snapshot);
    }

    std::optional<SessionData> take() {
        const std::lock_guard guard(lock);
        return std::exchange(data, std::nullopt);
    }
};

SessionSaver::SessionSaver(std::shared_ptr<SessionStore> store, Transcript &transcript,
                           const Preferences &preferences, std::chrono::milliseconds debounce,
                           QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_transcript(transcript)
    , m_preferences(preferences)
    , m_debounce(debounce)
    , m_newest(std::make_shared<Newest>())
    , m_writer(m_store ? makeSerialWorker("orvinta-save", lcAppState) : nullptr) {
    connect(&transcript, &Transcript::linesEdited, this, &SessionSaver::saveSession);
    connect(&transcript, &Transcript::translationStored, this,
            &SessionSaver::scheduleDebouncedSave);
    // A translation that arrived just before quitting is saved, not lost.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &SessionSaver::flush);
}

SessionSaver::~SessionSaver() {
    flush();
}

void SessionSaver::restore() {
    if (!m_store)
        return;
    std::optional<SessionData> data;
    try {
        data = m_store->read();
    } catch (const SessionFormatError &error) {
        qCCritical(lcAppState, "Failed to restore session: %s", error.what());
        m_restoreError = QString::fromUtf8(error.what());
        return;
    }
    if (!data)
        return;
    QList<ConfirmedLine> lines = std::move(data->lines);
    if (lines.size() > maxRestoredLines) {
        qCInfo(lcAppState, "Session truncated from %ld to 500 lines",
               static_cast<long>(lines.size()));
        lines = lines.mid(lines.size() - maxRestoredLines);
        m_store->archiveBeforeNextSave();
    }
    QHash<QUuid, QString> translations;
    const QString target = m_preferences.targetLanguage();
    if (data->targetLanguage == target) {
        translations = data->uuidTranslations();
        qCInfo(lcAppState, "Restored %ld translations", static_cast<long>(translations.size()));
    } else {
        qCInfo(lcAppState, "Target language changed (%s → %s), skipping translation restore",
               qUtf8Printable(data->targetLanguage), qUtf8Printable(target));
    }
    m_transcript.restore(std::move(lines), std::move(translations));
    qCInfo(lcAppState, "Restored %ld lines from previous session",
           static_cast<long>(m_transcript.lineCount()));
}

void SessionSaver::report(const SessionSaveResult &result) {
    if (result.keptAside)
        Q_EMIT fileKeptAside(*result.keptAside);
    if (!result.error) {
        m_failing = false;
        return;
    }
    // One report per run of failures: every later line would fail alike.
    if (!std::exchange(m_failing, true))
        Q_EMIT saveFailed(QStringLiteral("The transcript cannot be saved: ") + *result.error);
}

void SessionSaver::saveSession() {
    if (!m_writer)
        return;
    SessionData data{m_transcript.confirmedLines(), {}, m_preferences.targetLanguage()};
    const QHash<QUuid, QString> &translations = m_transcript.translations();
    for (auto it = translations.begin(); it != translations.end(); ++it)
        data.translations.insert(it.key().toString(QUuid::WithoutBraces).toUpper(), it.value());
    m_newest->put(std::move(data));
    // A write that finds no snapshot was overtaken by an earlier write that
    // took the newer one.
    m_writer->post([this, store = m_store, newest = m_newest] {
        const std::optional<SessionData> snapshot = newest->take();
        if (!snapshot)
            return;
        const SessionSaveResult result = store->save(*snapshot);
        // The writes end before this object goes, so `this` is alive here.
        QMetaObject::invokeMethod(
            this, [this, result] { report(result); }, Qt::QueuedConnection);
    });
}

void SessionSaver::scheduleDebouncedSave() {
    cancelTask(m_debouncedSaveTask);
    m_debouncedSaveTask = CancellableTask::after(m_debounce, this, [this] {
        m_debouncedSaveTask.reset();
        saveSession();
    });
}

void SessionSaver::flush() {
    if (m_debouncedSaveTask) {
        cancelTask(m_debouncedSaveTask);
        saveSession();
    }
    waitForWrites();
}

void SessionSaver::waitForWrites() {
    if (!m_writer)
        return;
    m_writer->waitUntilIdle();
    // What the writes reported is known before this returns.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace Orvinta
