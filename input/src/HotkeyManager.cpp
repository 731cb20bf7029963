#include <OrvintaInput/HotkeyManager.h>

#include <OrvintaInput/InputLog.h>

#include <OrvintaApp/PreferencesStore.h>

#include <QPointer>

namespace Orvinta {

QString describeGrabStatus(int status) {
    switch (status) {
    case 0:
        return {};
    case KeyGrabber::noSuchKey:
        return QStringLiteral("the keyboard layout has no such key");
    case KeyGrabber::unavailable:
        return QStringLiteral("global shortcuts are unavailable");
    case 10: // BadAccess
        return QStringLiteral("another program already uses this shortcut");
    case 2: // BadValue
        return QStringLiteral("the desktop refused this key combination");
    default:
        return QStringLiteral("the desktop refused the shortcut (error %1)").arg(status);
    }
}

HotkeyManager::HotkeyManager(std::shared_ptr<PreferencesStore> preferences,
                             std::unique_ptr<KeyGrabber> grabber, QObject *parent)
    : QObject(parent)
    , m_preferences(std::move(preferences))
    , m_grabber(std::move(grabber)) {
    for (HotkeyAction action : allHotkeyActions)
        comboSlot(action) = loadCombo(comboPreferenceKey(action)).value_or(defaultCombo(action));
}

HotkeyManager::~HotkeyManager() {
    unregisterAll();
}

KeyCombo &HotkeyManager::comboSlot(HotkeyAction action) {
    return m_combos[static_cast<std::size_t>(action) - 1];
}

KeyCombo HotkeyManager::combo(HotkeyAction action) const {
    return m_combos[static_cast<std::size_t>(action) - 1];
}

bool HotkeyManager::isRegistered(HotkeyAction action) const {
    return m_hotkeyRefs.contains(static_cast<std::uint32_t>(action));
}

QString HotkeyManager::failureReason(HotkeyAction action) const {
    const auto found = m_failures.find(static_cast<std::uint32_t>(action));
    return found == m_failures.end() ? QString() : found->second;
}

void HotkeyManager::setActions(HotkeyActions actions) {
    m_actions = std::move(actions);
}

void HotkeyManager::setFailureHandler(FailureHandler handler) {
    m_onFailure = std::move(handler);
}

std::optional<KeyCombo> HotkeyManager::loadCombo(const QString &key) const {
    if (!m_preferences)
        return std::nullopt;
    const std::optional<QByteArray> data = m_preferences->dataValue(key);
    const std::optional<KeyCombo> stored = data ? KeyCombo::fromJson(*data) : std::nullopt;
    if (stored && !stored->isGlobalShortcut()) {
        qCWarning(lcHotkey,
                  "The stored shortcut %s (%s) is refused: a global shortcut needs Ctrl, Alt or "
                  "Super",
                  qUtf8Printable(stored->displayString()), qUtf8Printable(key));
        return std::nullopt;
    }
    return stored;
}

void HotkeyManager::saveCombo(const KeyCombo &combo, const QString &key) {
    if (m_preferences)
        m_preferences->setData(key, combo.toJson());
}

void HotkeyManager::start() {
    if (!m_hotkeyRefs.empty())
        return;
    QPointer<HotkeyManager> self(this);
    m_hotkeyCallbacks.clear();
    for (HotkeyAction action : allHotkeyActions) {
        // The action is read when the deferred call runs, so one set after
        // start() is the one that is called.
        m_hotkeyCallbacks[static_cast<std::uint32_t>(action)] = [self, action] {
            QMetaObject::invokeMethod(
                self.data(),
                [self, action] {
                    if (!self)
                        return;
                    const std::function<void()> &run = self->m_actions.forAction(action);
                    if (run)
                        run();
                },
                Qt::QueuedConnection);
        };
    }
    if (!m_handlerInstalled) {
        m_grabber->setPressHandler([this](std::uint32_t id) { handlePress(id); });
        m_handlerInstalled = true;
    }
    registerAll();
    qCInfo(lcHotkey, "Hotkey manager started (%s)",
           qUtf8Printable(combo(HotkeyAction::toggleListening).displayString()));
}

void HotkeyManager::restart() {
    unregisterAll();
    registerAll();
    qCInfo(lcHotkey, "Hotkey restarted (%s)",
           qUtf8Printable(combo(HotkeyAction::toggleListening).displayString()));
}

void HotkeyManager::setCombo(HotkeyAction action, const KeyCombo &newCombo) {
    if (!newCombo.isGlobalShortcut()) {
        qCWarning(lcHotkey,
                  "The shortcut %s is refused: a global shortcut needs Ctrl, Alt or Super",
                  qUtf8Printable(newCombo.displayString()));
        return;
    }
    comboSlot(action) = newCombo;
    saveCombo(newCombo, comboPreferenceKey(action));
    Q_EMIT hotkeyComboDidChange();
    restart();
}

void HotkeyManager::setSuspended(bool suspended) {
    if (suspended == m_suspended)
        return;
    m_suspended = suspended;
    // Registrations come off entirely: a grabbed combination would never
    // reach the window that records it.
    if (suspended) {
        unregisterAll();
        qCInfo(lcHotkey) << "Hotkeys suspended";
    } else if (m_handlerInstalled) {
        registerAll();
        qCInfo(lcHotkey) << "Hotkeys resumed";
    }
}

void HotkeyManager::registerAll() {
    m_failures.clear();
    if (m_suspended)
        return;
    const QString unavailable = m_grabber->unavailableReason();
    if (!unavailable.isEmpty() && !m_unavailableLogged) {
        qCWarning(lcHotkey, "Global shortcuts unavailable: %s", qUtf8Printable(unavailable));
        m_unavailableLogged = true;
    }
    for (HotkeyAction action : allHotkeyActions)
        registerHotkey(static_cast<std::uint32_t>(action), combo(action));
    Q_EMIT registrationsChanged();
}

void HotkeyManager::unregisterAll() {
    if (m_hotkeyRefs.empty())
        return;
    for (const auto &[id, live] : m_hotkeyRefs)
        m_grabber->ungrab(id);
    m_hotkeyRefs.clear();
    Q_EMIT registrationsChanged();
}

void HotkeyManager::registerHotkey(std::uint32_t id, const KeyCombo &combo) {
    const QString unavailable = m_grabber->unavailableReason();
    const int status = unavailable.isEmpty() ? m_grabber->grab(id, combo) : KeyGrabber::unavailable;
    if (status == 0) {
        m_hotkeyRefs[id] = true;
        return;
    }
    const QString reason = unavailable.isEmpty() ? describeGrabStatus(status) : unavailable;
    m_failures[id] = reason;
    // Without a display every shortcut fails alike; that was said once above.
    if (unavailable.isEmpty())
        qCCritical(lcHotkey, "Failed to register hotkey %u: %d", id, status);
    if (m_onFailure)
        m_onFailure(static_cast<HotkeyAction>(id), reason);
}

void HotkeyManager::handlePress(std::uint32_t id) {
    if (m_suspended)
        return;
    const auto found = m_hotkeyCallbacks.find(id);
    if (found != m_hotkeyCallbacks.end() && found->second)
        found->second();
}

} // namespace Orvinta
