#pragma once

#include <OrvintaApp/AppServices.h>

#include <QObject>
#include <QQmlEngine>

#include <functional>
#include <memory>
#include <vector>

namespace Orvinta {

class AppState;
class OverlaySettings;
class SettingsWindowController;
class ShortcutRecorderModel;
class UpdaterManager;
class UpdateWindowsController;
class WhatsNewModel;

/// Joins the settings window, the update service and the release notes to
/// the tray application, and makes the shortcut fields on the shortcut
/// service that the keyboard services installed.
class SettingsWiring : public QObject {
    Q_OBJECT
public:
    /// Call after installInputServices(services) and before `services`
    /// moves into the shell: it keeps the preferences, the paster (whose
    /// availability is the trust to type into other windows) and the
    /// shortcut service. Makes the one OverlaySettings of the run.
    SettingsWiring(const AppServices &services, QQmlEngine &engine, QObject *parent = nullptr);
    ~SettingsWiring() override;

    /// The application state the settings bind to; before the first showSettings().
    void attach(AppState &state);

    /// The panel's "Settings" button: the one settings window, in front.
    void showSettings();
    /// 2 s after start: the release notes of a new version, once.
    void showReleaseNotesIfNew();
    /// 5 s after start: the daily update checks begin.
    void startAutomaticUpdateChecks();

    /// Closes and frees the windows; call before the application state goes
    /// (at the end of main, after the event loop).
    void releaseWindows();

    OverlaySettings &overlaySettings() { return *m_overlay; }
    UpdaterManager &updater() { return *m_updater; }
    WhatsNewModel &whatsNew() { return *m_whatsNew; }
    SettingsWindowController *settingsWindow() const { return m_settings.get(); }

Q_SIGNALS:
    /// The user chose another hold key; `name` is how the panel names it.
    void holdKeyChanged(const QString &name);

private:
    std::shared_ptr<PreferencesStore> m_preferences;
    std::shared_ptr<CursorPaster> m_paster;
    std::shared_ptr<HotkeyService> m_hotkeys;
    AppState *m_state = nullptr;
    QQmlEngine &m_engine;
    std::unique_ptr<OverlaySettings> m_overlay;
    std::unique_ptr<UpdaterManager> m_updater;
    std::unique_ptr<WhatsNewModel> m_whatsNew;
    std::vector<std::unique_ptr<ShortcutRecorderModel>> m_recorders;
    std::unique_ptr<UpdateWindowsController> m_updateWindows;
    std::unique_ptr<SettingsWindowController> m_settings;
};

} // namespace Orvinta
