#pragma once

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/CancellableTask.h>
#include <OrvintaApp/DesktopCapabilities.h>

#include <QLoggingCategory>
#include <QObject>
#include <QQmlEngine>
#include <QQuickWindow>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace Orvinta {

class AppState;
class DesktopMotion;
class DesktopNotifier;
class DictationBubble;
class MenuBarPanel;
class MenuBarViewModel;
class OverlaySettings;
class OverlayWindowController;
class OverlayWindowPlatform;
class RemoteHoldKey;
class SettingsWindowController;
class ShortcutRecorderModel;
class TranslationBackend;
class TrayController;
class UpdateNotice;
class UpdaterManager;
class UpdateWindowsController;
class WhatsNewModel;

/// Delays of the start-up jobs; tests shorten them.
struct ShellTimings {
    std::chrono::milliseconds trayClicks{1000};
    std::chrono::milliseconds releaseNotes{2000};
    std::chrono::milliseconds updateCheck{5000};
};

/// orvinta's composition root: from the desktop's back ends it builds the
/// application state, the update service, and every view model and window
/// (tray icon and panel, dictation bubble, overlay, settings, release
/// notes), then runs the jobs that follow the start.
class DesktopShell : public QObject {
    Q_OBJECT
public:
    /// The back ends the shell runs on; `desktop()` gives the real ones.
    struct Services {
        AppServices app;
        std::shared_ptr<TranslationBackend> translation;
        /// Called when the overlay window is first built.
        std::function<std::unique_ptr<OverlayWindowPlatform>()> overlayPlatform;
        /// Tells of a new version found in the background; without it only the panel does.
        std::shared_ptr<DesktopNotifier> notifier;
        /// Without the recogniser's model the panel explains the setup and
        /// no engine is prepared.
        bool speechModelInstalled = true;
        /// What works on this desktop, probed at start (settings' "What Works
        /// Here"); the sound server's lines follow the device list.
        DesktopCapabilities capabilities;
        /// The hold key as the desktop's bindings report it (orvinta-cli hold).
        std::shared_ptr<RemoteHoldKey> remoteHoldKey;
        ShellTimings timings;
    };

    /// The back ends of this desktop (see DesktopBackends).
    static Services desktop();

    explicit DesktopShell(Services services, QObject *parent = nullptr);
    ~DesktopShell() override;

    /// Shows the tray icon (and, without a tray or on the first start, the
    /// panel) and schedules the start-up jobs. The windows load right after; when they
    /// cannot, the application ends with status 1.
    void start();
    /// A second start handed over: the panel opens.
    void openPanel();
    /// Opens the panel once the tray has placed the icon (a moment after it
    /// appears), or after `triesLeft` tenths of a second without one.
    void openPanelNearTheIcon(int triesLeft);
    /// A command of orvinta-cli hold or toggle: empty once done, else why not.
    QString runCommand(const QByteArray &command);
    /// The panel's "Quit": a run ends first, so the sentence being spoken is
    /// saved; a stop that does not end within 5 s does not keep Orvinta.
    void quit();
    /// The panel's "Settings" button: the one settings window, in front.
    void showSettings();
    /// The settings window on its "What Works Here" page.
    void showCapabilities();
    /// 2 s after start: the release notes of a new version, once.
    void showReleaseNotesIfNew();

    AppState &state() { return *m_state; }
    MenuBarViewModel &panelModel() { return *m_panelModel; }
    WhatsNewModel &whatsNew() { return *m_whatsNew; }
    SettingsWindowController *settingsWindow() const { return m_settingsWindow.get(); }
    OverlayWindowController *overlay() const { return m_overlay.get(); }

private:
    /// Loads the panel and the bubble once; false when the panel cannot load.
    bool loadWindows();
    void setUpTrayClicks();
    void createOverlay();
    /// The overlay names the shortcuts registered now.
    void updateOverlayShortcuts();
    /// What was learned since the start (the sound server, the keys) reaches
    /// the capabilities and their page.
    void updateCapabilities();
    void logPanelGeometry();
    void logPanelLayout();

    Services m_services;
    std::unique_ptr<DesktopMotion> m_motion;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<OverlaySettings> m_overlaySettings;
    std::unique_ptr<UpdaterManager> m_updater;
    std::unique_ptr<UpdateNotice> m_updateNotice;
    std::unique_ptr<WhatsNewModel> m_whatsNew;
    std::vector<std::unique_ptr<ShortcutRecorderModel>> m_recorders;
    std::unique_ptr<MenuBarViewModel> m_panelModel;
    std::unique_ptr<DictationBubble> m_bubble;
    // The windows, after the models their bindings read.
    QQmlEngine m_engine;
    std::unique_ptr<TrayController> m_tray;
    std::unique_ptr<MenuBarPanel> m_panel;
    std::unique_ptr<QQuickWindow> m_bubbleWindow;
    std::unique_ptr<OverlayWindowController> m_overlay;
    std::unique_ptr<UpdateWindowsController> m_updateWindows;
    std::unique_ptr<SettingsWindowController> m_settingsWindow;
    bool m_trayAvailable = false;
    /// Nothing was stored before this start.
    bool m_firstRun = false;
    TaskHandle m_quitting;
};

} // namespace Orvinta
