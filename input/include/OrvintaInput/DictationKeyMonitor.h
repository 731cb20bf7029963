#pragma once

#include <OrvintaInput/HoldKeyGesture.h>
#include <OrvintaInput/ModifierKeySource.h>

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace Orvinta {

class DictationController;
class PreferencesStore;

/// Turns the hold key and the other presses of a source into the steps of
/// a HoldKeyGesture, on the main thread's clock: a hold begins (silently),
/// starts, and is cancelled or ends.
class DictationKeyMonitor : public QObject {
    Q_OBJECT
public:
    /// `holdKey` is read at each start (the preference may have changed).
    DictationKeyMonitor(std::unique_ptr<ModifierKeySource> source, std::function<QString()> holdKey,
                        HoldKeyDelays delays = {}, QObject *parent = nullptr);
    ~DictationKeyMonitor() override;

    /// Down alone for the threshold: recording may start, unseen and unheard.
    std::function<void()> onHoldBegin;
    /// Down alone for the confirm delay: a dictation the user is told of.
    std::function<void()> onHoldStart;
    /// After onHoldBegin, before onHoldStart: a key combination or a short
    /// press after all, whose recording is thrown away.
    std::function<void()> onHoldCancel;
    /// After onHoldStart: released, or another key or button pressed.
    std::function<void()> onHoldEnd;

    /// Stops, then subscribes again; false when the source cannot watch.
    bool start();
    /// Ends watching and any hold without calling onHoldEnd or onHoldCancel.
    void stop();

    bool isRunning() const { return m_running; }
    bool isHolding() const { return m_gesture.isHolding(); }
    bool isPending() const { return m_gesture.isWaiting(); }
    QString lastError() const { return m_lastError; }

private:
    void handleFlagsChanged(std::uint64_t flags);
    void handleOtherPress();
    void handleDeadline();
    /// Logs and reports `step`; `interrupted`: another key or button caused it.
    void take(HoldKeyGesture::Step step, bool interrupted);
    void armTimer();

    std::unique_ptr<ModifierKeySource> m_source;
    std::function<QString()> m_holdKey;
    /// The hold key as the settings name it, for the log.
    QString m_holdKeyName;
    HoldKeyGesture m_gesture;
    QTimer m_deadline;
    bool m_running = false;
    QString m_lastError;
    bool m_unavailableLogged = false;
};

/// Makes the hold-key monitor of `controller` over `source`: its steps
/// drive the controller's hold slots, and the controller's
/// dictationMonitorRequested(bool) starts and stops it. The hold key is read
/// from `preferences` at each start; an unknown one falls back to the
/// default with a warning.
void attachDictationKeyMonitor(DictationController &controller,
                               std::unique_ptr<ModifierKeySource> source,
                               std::shared_ptr<PreferencesStore> preferences);

} // namespace Orvinta
