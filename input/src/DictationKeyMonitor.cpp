#include <OrvintaInput/DictationKeyMonitor.h>

#include <OrvintaInput/InputLog.h>

#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QPointer>

namespace Orvinta {

DictationKeyMonitor::DictationKeyMonitor(std::unique_ptr<ModifierKeySource> source,
                                         std::function<QString()> holdKey, QObject *parent)
    : QObject(parent)
    , m_source(std::move(source))
    , m_holdKey(std::move(holdKey)) {
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setTimerType(Qt::PreciseTimer);
    m_holdTimer.setInterval(holdThreshold);
    connect(&m_holdTimer, &QTimer::timeout, this, &DictationKeyMonitor::thresholdPassed);
    m_source->setFlagsHandler([this](std::uint64_t flags) { handleFlagsChanged(flags); });
}

DictationKeyMonitor::~DictationKeyMonitor() {
    if (m_running)
        m_source->stop();
}

bool DictationKeyMonitor::start() {
    stop();
    const QString unavailable = m_source->unavailableReason();
    if (!unavailable.isEmpty()) {
        m_lastError = unavailable;
        if (!m_unavailableLogged)
            qCWarning(lcDictationKey, "Hold-key dictation unavailable: %s",
                      qUtf8Printable(unavailable));
        m_unavailableLogged = true;
        return false;
    }
    const QString holdKey = m_holdKey ? m_holdKey() : defaultHoldKey;
    QString error;
    if (!m_source->start(holdKey, &error)) {
        m_lastError = error;
        qCWarning(lcDictationKey, "Dictation key monitor cannot start: %s", qUtf8Printable(error));
        return false;
    }
    m_lastError.clear();
    m_running = true;
    qCDebug(lcDictationKey) << "Dictation key monitor started";
    return true;
}

void DictationKeyMonitor::stop() {
    if (m_running)
        m_source->stop();
    m_running = false;
    m_holdTimer.stop();
    m_isHolding = false;
    qCDebug(lcDictationKey) << "Dictation key monitor stopped";
}

void DictationKeyMonitor::handleFlagsChanged(std::uint64_t flags) {
    if (flags & ModifierKeySource::otherModifierFlags) {
        // A pending threshold wait is left running.
        if (!m_isHolding)
            return;
        m_isHolding = false;
        m_holdTimer.stop();
        if (onHoldEnd)
            onHoldEnd();
        qCDebug(lcDictationKey) << "fn hold cancelled due to other modifier";
        return;
    }
    if (flags & ModifierKeySource::holdKeyFlag) {
        if (m_isHolding || m_holdTimer.isActive())
            return;
        m_holdTimer.start();
        return;
    }
    if (m_holdTimer.isActive()) {
        m_holdTimer.stop();
        qCDebug(lcDictationKey) << "fn released before threshold — ignored";
        return;
    }
    if (m_isHolding) {
        m_isHolding = false;
        qCDebug(lcDictationKey) << "fn hold ended";
        if (onHoldEnd)
            onHoldEnd();
    }
}

void DictationKeyMonitor::thresholdPassed() {
    m_isHolding = true;
    qCDebug(lcDictationKey) << "fn hold started";
    if (onHoldStart)
        onHoldStart();
}

void attachDictationKeyMonitor(DictationController &controller,
                               std::unique_ptr<ModifierKeySource> source,
                               std::shared_ptr<PreferencesStore> preferences) {
    auto *monitor = new DictationKeyMonitor(
        std::move(source),
        [preferences] {
            const QString name =
                preferences ? preferences->stringValue(holdKeyPreference).value_or(defaultHoldKey)
                            : defaultHoldKey;
            if (isKnownKeysym(name))
                return name;
            qCWarning(lcDictationKey, "Unknown hold key \"%s\"; using %s", qUtf8Printable(name),
                      qUtf8Printable(defaultHoldKey));
            return defaultHoldKey;
        },
        &controller);
    QPointer<DictationController> target(&controller);
    monitor->onHoldStart = [target] {
        if (target)
            target->holdStarted();
    };
    monitor->onHoldEnd = [target] {
        if (target)
            target->holdEnded();
    };
    QObject::connect(&controller, &DictationController::dictationMonitorRequested, monitor,
                     [monitor](bool enabled) {
                         if (enabled)
                             monitor->start();
                         else
                             monitor->stop();
                     });
}

} // namespace Orvinta
