#pragma once

#include <OrvintaInput/ModifierKeySource.h>

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace Orvinta {

class DictationController;
class PreferencesStore;

/// Turns the hold key into hold start and hold end: a press counts only
/// after the key has stayed down for the threshold, another modifier
/// during a hold ends it, and the hold key pressed while another modifier
/// is down starts nothing.
class DictationKeyMonitor : public QObject {
    Q_OBJECT
public:
    /// `holdKey` is read at each start (the preference may have changed).
    DictationKeyMonitor(std::unique_ptr<ModifierKeySource> source, std::function<QString()> holdKey,
                        QObject *parent = nullptr);
    ~DictationKeyMonitor() override;

    std::function<void()> onHoldStart;
    std::function<void()> onHoldEnd;

    /// Stops, then subscribes again; false when the source cannot watch.
    bool start();
    /// Ends watching and any hold without calling onHoldEnd.
    void stop();

    bool isRunning() const { return m_running; }
    bool isHolding() const { return m_isHolding; }
    bool isPending() const { return m_holdTimer.isActive(); }
    QString lastError() const { return m_lastError; }
    static constexpr std::chrono::milliseconds holdThreshold{50};

    /// The decision for one change of the modifier flags (the source calls it).
    void handleFlagsChanged(std::uint64_t flags);

private:
    void thresholdPassed();

    std::unique_ptr<ModifierKeySource> m_source;
    std::function<QString()> m_holdKey;
    bool m_running = false;
    bool m_isHolding = false;
    QTimer m_holdTimer;
    QString m_lastError;
    bool m_unavailableLogged = false;
};

/// Makes the hold-key monitor of `controller` over `source`: a hold starts
/// and ends dictation, and the controller's dictationMonitorRequested(bool)
/// starts and stops it. The hold key is read from `preferences` at each
/// start; an unknown one falls back to the default with a warning.
void attachDictationKeyMonitor(DictationController &controller,
                               std::unique_ptr<ModifierKeySource> source,
                               std::shared_ptr<PreferencesStore> preferences);

} // namespace Orvinta
