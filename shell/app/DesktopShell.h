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
class OverlayWindowController;
class PreferencesStore;
class SettingsWiring;
class TrayController;

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
        /// The dictation hold key as the panel names it ("Right Ctrl").
        QString holdKeyName;
        ShellTimings timings;
    };

    DesktopShell(AppServices services, Options options, QObject *parent = nullptr);
    ~DesktopShell() override;

    /// Shows the tray icon (and, without a tray, the panel as a window) and
    /// schedules the start-up jobs. The windows load right after; when they
    /// cannot, the application ends with status 1.
    void start();
    /// A second start handed over: the panel opens.
    void openPanel();

    AppState &state() { return *m_state; }
    MenuBarViewModel &panelModel() { return *m_panelModel; }

private:
    /// Loads the panel and the bubble once; false when the panel cannot load.
    bool loadWindows();
    void setUpTrayClicks();
    void createOverlay();
    void logPanelGeometry();
    void logPanelLayout();

    Options m_options;
    std::shared_ptr<HotkeyService> m_hotkeys;
    std::unique_ptr<AppState> m_state;
    QQmlEngine m_engine;
    std::unique_ptr<SettingsWiring> m_settings;
    std::unique_ptr<OverlayWindowController> m_overlay;
    std::unique_ptr<MenuBarViewModel> m_panelModel;
    std::unique_ptr<TrayController> m_tray;
    std::unique_ptr<MenuBarPanel> m_panel;
    std::unique_ptr<DictationBubble> m_bubble;
    std::unique_ptr<QQuickWindow> m_bubbleWindow;
    bool m_trayAvailable = false;
};

/// Whether the speech model of the default back end is installed.
bool speechModelInstalled();

} // namespace Orvinta
