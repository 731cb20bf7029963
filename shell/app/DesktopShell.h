#pragma once

#include <OrvintaApp/AppServices.h>

#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace Orvinta {

class AppState;
class DictationBubble;
class MenuBarPanel;
class MenuBarViewModel;
class TrayController;

/// What the update service of a later version plugs in. An empty member
/// means there is none yet, and its job is skipped.
struct UpdateHooks {
    /// Shows the release notes when this version is new to the user.
    std::function<void()> showReleaseNotesIfNew;
    /// Asks the update controller for a quiet check.
    std::function<void()> checkForUpdatesInBackground;
};

/// Delays of the start-up jobs; tests shorten them.
struct ShellTimings {
    std::chrono::milliseconds trayClicks{1000};
    std::chrono::milliseconds releaseNotes{2000};
    std::chrono::milliseconds updateCheck{5000};
};

/// The tray application: the application state, the tray icon and its
/// panel, the dictation bubble, and the jobs that follow the start.
class DesktopShell : public QObject {
    Q_OBJECT
public:
    struct Options {
        /// Whether the recogniser's model is installed; without it the panel
        /// explains the setup and no engine is prepared.
        bool speechModelInstalled = true;
        UpdateHooks updates;
        ShellTimings timings;
    };

    DesktopShell(AppServices services, Options options, QObject *parent = nullptr);
    ~DesktopShell() override;

    /// Shows the tray icon (or, without a tray, the panel as a window) and
    /// schedules the start-up jobs. False when the windows cannot be loaded.
    bool start();
    /// A second start handed over: the panel opens.
    void openPanel();

    AppState &state() { return *m_state; }
    MenuBarViewModel &panelModel() { return *m_panelModel; }
    MenuBarPanel &panel() { return *m_panel; }
    TrayController &tray() { return *m_tray; }

private:
    void showSettings();
    void setUpTrayClicks();
    void showReleaseNotesIfNew();
    void checkForUpdatesInBackground();
    void createOverlay();
    void logPanelGeometry();
    void logPanelLayout();

    Options m_options;
    std::shared_ptr<HotkeyService> m_hotkeys;
    std::unique_ptr<AppState> m_state;
    QQmlEngine m_engine;
    std::unique_ptr<MenuBarViewModel> m_panelModel;
    std::unique_ptr<TrayController> m_tray;
    std::unique_ptr<MenuBarPanel> m_panel;
    std::unique_ptr<DictationBubble> m_bubble;
    std::unique_ptr<QQuickWindow> m_bubbleWindow;
    std::unique_ptr<QQuickWindow> m_settingsPlaceholder;
    bool m_trayAvailable = false;
};

/// Whether the speech model of the default back end is installed.
bool speechModelInstalled();

} // namespace Orvinta
