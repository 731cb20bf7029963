#pragma once

#include <OrvintaApp/AppServices.h>
#include <OrvintaInput/KeyGrabber.h>

#include <QObject>

#include <array>
#include <map>
#include <memory>

namespace Orvinta {

class PreferencesStore;

/// The five global shortcuts: loads them from the preferences (a bad stored
/// value gives that shortcut's default), registers them through a key
/// grabber, and runs the matching action on the main thread after the
/// press has been handled. A refused registration leaves that shortcut
/// inactive and the others working.
class HotkeyManager : public QObject, public HotkeyService {
    Q_OBJECT
public:
    HotkeyManager(std::shared_ptr<PreferencesStore> preferences,
                  std::unique_ptr<KeyGrabber> grabber, QObject *parent = nullptr);
    ~HotkeyManager() override;

    // HotkeyService
    void setActions(HotkeyActions actions) override;
    void setFailureHandler(FailureHandler handler) override;
    void start() override;
    KeyCombo combo(HotkeyAction action) const override;
    bool isRegistered(HotkeyAction action) const override;
    void setCombo(HotkeyAction action, const KeyCombo &combo) override;
    void setSuspended(bool suspended) override;

    /// Unregisters everything and registers the five current combos again.
    void restart();
    /// The stored combination; none when unreadable, or refused (with a log
    /// line) when it is no global shortcut.
    std::optional<KeyCombo> loadCombo(const QString &key) const;
    void saveCombo(const KeyCombo &combo, const QString &key);
    /// Why the shortcut is not registered (empty when it is).
    QString failureReason(HotkeyAction action) const override;
    bool isSuspended() const { return m_suspended; }

Q_SIGNALS:
    /// After each change of a combo (nothing inside the application needs it).
    void hotkeyComboDidChange();
    /// The set of registered shortcuts changed.
    void registrationsChanged();

private:
    void registerAll();
    void unregisterAll();
    void registerHotkey(std::uint32_t id, const KeyCombo &combo);
    void handlePress(std::uint32_t id);
    KeyCombo &comboSlot(HotkeyAction action);

    std::shared_ptr<PreferencesStore> m_preferences;
    std::unique_ptr<KeyGrabber> m_grabber;
    /// The live registrations, by shortcut id.
    std::map<std::uint32_t, bool> m_hotkeyRefs;
    bool m_handlerInstalled = false;
    /// Shortcut id to its callback; filled by start().
    std::map<std::uint32_t, std::function<void()>> m_hotkeyCallbacks;
    HotkeyActions m_actions;
    std::array<KeyCombo, std::size(allHotkeyActions)> m_combos;
    std::map<std::uint32_t, QString> m_failures;
    FailureHandler m_onFailure;
    bool m_suspended = false;
    bool m_unavailableLogged = false;
};

} // namespace Orvinta
