#pragma once

#include <OrvintaApp/CancellableTask.h>

#include <QObject>

#include <chrono>
#include <memory>

namespace Orvinta {

class Preferences;
class SessionStore;
class Transcript;

/// Keeps the session file in step with the transcript: an edit of the lines
/// is saved at once, a translation after a short quiet period. Files are
/// written on a thread of their own, in order; a snapshot that a newer one
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

private:
    class Writer;

    std::shared_ptr<SessionStore> m_store;
    Transcript &m_transcript;
    const Preferences &m_preferences;
    std::chrono::milliseconds m_debounce;
    TaskHandle m_debouncedSaveTask;
    std::unique_ptr<Writer> m_writer;
};

} // namespace Orvinta
