#include <OrvintaInput/DictationKeyMonitor.h>

#include <OrvintaInput/InputLog.h>

#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QPointer>

#include <algorithm>

namespace Orvinta {

namespace {

using Clock = std::chrono::steady_clock;
using Step = HoldKeyGesture::Step;

/// What `step` means, after the hold key's name; `interrupted`: another key
/// or button caused it, not the hold key's release.
const char *describe(Step step, bool interrupted) {
    switch (step) {
    case Step::dropped:
        return interrupted ? "used with another key or button: no dictation"
                           : "released before threshold — ignored";
    case Step::begin:
        return "held alone: recording silently";
    case Step::start:
        return "hold started";
    case Step::cancel:
        return interrupted ? "used with another key or button: recording discarded"
                           : "released before the hold started: recording discarded";
    case Step::end:
        return interrupted ? "hold ended by another key or button" : "hold ended";
    case Step::none:
        break;
    }
    return "";
}

} // namespace

DictationKeyMonitor::DictationKeyMonitor(std::unique_ptr<ModifierKeySource> source,
                                         std::function<QString()> holdKey, HoldKeyDelays delays,
                                         QObject *parent)
    : QObject(parent)
    , m_source(std::move(source))
    , m_holdKey(std::move(holdKey))
    , m_holdKeyName(holdKeyDisplayName(defaultHoldKey))
    , m_gesture(delays) {
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &DictationKeyMonitor::handleDeadline);
    m_source->setFlagsHandler([this](std::uint64_t flags) { handleFlagsChanged(flags); });
    m_source->setOtherPressHandler([this] { handleOtherPress(); });
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
    m_holdKeyName = holdKeyDisplayName(holdKey);
    m_lastError.clear();
    m_running = true;
    qCDebug(lcDictationKey, "Dictation key monitor started (%s)", qUtf8Printable(m_holdKeyName));
    return true;
}

void DictationKeyMonitor::stop() {
    if (m_running)
        m_source->stop();
    m_running = false;
    m_gesture.reset();
    m_deadline.stop();
    qCDebug(lcDictationKey) << "Dictation key monitor stopped";
}

void DictationKeyMonitor::handleFlagsChanged(std::uint64_t flags) {
    const bool holdKeyDown = flags & ModifierKeySource::holdKeyFlag;
    const bool otherDown = flags & ModifierKeySource::otherModifierFlags;
    // With the hold key still down, it was another modifier that changed.
    take(m_gesture.keysChanged(holdKeyDown, otherDown, Clock::now()), holdKeyDown);
}

void DictationKeyMonitor::handleOtherPress() {
    take(m_gesture.otherPressed(), true);
}

void DictationKeyMonitor::handleDeadline() {
    // A late timer may owe both steps at once.
    for (Step step; (step = m_gesture.timePassed(Clock::now())) != Step::none;)
        take(step, false);
    armTimer();
}

void DictationKeyMonitor::take(Step step, bool interrupted) {
    if (step != Step::none) {
        qCDebug(lcDictationKey, "%s %s", qUtf8Printable(m_holdKeyName),
                describe(step, interrupted));
        const std::function<void()> *report = step == Step::begin    ? &onHoldBegin
                                              : step == Step::start  ? &onHoldStart
                                              : step == Step::cancel ? &onHoldCancel
                                              : step == Step::end    ? &onHoldEnd
                                                                     : nullptr;
        if (report && *report)
            (*report)();
    }
    armTimer();
}

void DictationKeyMonitor::armTimer() {
    const std::optional<Clock::time_point> due = m_gesture.deadline();
    if (!due) {
        m_deadline.stop();
        return;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now());
    m_deadline.start(std::max(left, std::chrono::milliseconds(0)));
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
        {}, &controller);
    QPointer<DictationController> target(&controller);
    const auto call = [target](void (DictationController::*slot)()) {
        return [target, slot] {
            if (target)
                (target.data()->*slot)();
        };
    };
    monitor->onHoldBegin = call(&DictationController::holdBegan);
    monitor->onHoldStart = call(&DictationController::holdStarted);
    monitor->onHoldCancel = call(&DictationController::holdCancelled);
    monitor->onHoldEnd = call(&DictationController::holdEnded);
    QObject::connect(&controller, &DictationController::dictationMonitorRequested, monitor,
                     [monitor](bool enabled) {
                         if (enabled)
                             monitor->start();
                         else
                             monitor->stop();
                     });
}

} // namespace Orvinta
