#pragma once

#include <OrvintaApp/CancellableTask.h>

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace Orvinta {

class Preferences;
class SerialWorker;
class SessionStore;
struct SessionSaveResult;
class Transcript;

/// Keeps the session file in step with the transcript: an edit of the lines
/// is saved at once, a translation after a short quiet period. Files are
/// written on a worker of their own, in order; a snapshot that a newer one
/// overtakes before its turn is skipped, so the newest always lands last.
class SessionSaver : public QObject {
    Q_OBJECT
public:
    SessionSaver(std::shared_ptr<SessionStore> store, Transcript &transcript,
                 const Preferences &preferences, std::chrono::milliseconds debounce,
                 QObject *parent = nullptr);
    /// Flushes: nothing handed over is lost.
    ~SessionSaver() override;

    /// Loads the saved session into the transcript: the newest 500 lines, and
    /// their translations when they are in the current target language.
    void restore();
    /// Snapshots the transcript now; the file is written off the main thread.
    void saveSession();
    /// Saves after the quiet period, unless another request comes first.
    void scheduleDebouncedSave();
    /// Runs a pending quiet-period save now and waits until the newest
    /// snapshot is on disk (at quit).
    void flush();
    /// Waits until every snapshot handed over is written.
    void waitForWrites();
    /// Why the saved session could not be restored; it is kept aside at the
    /// first save.
    const std::optional<QString> &restoreError() const { return m_restoreError; }

Q_SIGNALS:
    /// The first failure after a success (or at start): the user learns once
    /// that the transcript is not being saved, not once per line.
    void saveFailed(const QString &description);
    /// The previous file was moved aside (unreadable, or the whole session
    /// before the 500-line cut), to this path.
    void fileKeptAside(const QString &path);

private:
    struct Newest;

    void report(const SessionSaveResult &result);

    std::shared_ptr<SessionStore> m_store;
    Transcript &m_transcript;
    const Preferences &m_preferences;
    std::chrono::milliseconds m_debounce;
    TaskHandle m_debouncedSaveTask;
    bool m_failing = false;
    std::optional<QString> m_restoreError;
    std::shared_ptr<Newest> m_newest;
    std::shared_ptr<SerialWorker> m_writer;
};

} // namespace Orvinta
