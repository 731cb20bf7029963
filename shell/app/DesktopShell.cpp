#include "DesktopShell.h"

#include <OrvintaApp/AppState.h>
#include <OrvintaEngine/PocketSphinxRecognizer.h>
#include <OrvintaUi/DictationBubble.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/PanelWindows.h>
#include <OrvintaUi/SystemSettings.h>
#include <OrvintaUi/TrayIcon.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QQuickItem>
#include <QSystemTrayIcon>
#include <QUrl>

#include <filesystem>

Q_LOGGING_CATEGORY(lcApp, "com.orvinta.App", QtInfoMsg)

namespace Orvinta {

namespace {

/// The README beside an installed program, else the one of the source tree.
QUrl setupGuideUrl() {
    const QString installed = QDir(QCoreApplication::applicationDirPath())
                                  .filePath(QStringLiteral("../share/doc/orvinta/README.md"));
    if (QFileInfo::exists(installed))
        return QUrl::fromLocalFile(QFileInfo(installed).canonicalFilePath());
    return QUrl::fromLocalFile(QStringLiteral(ORVINTA_SOURCE_README));
}

} // namespace

bool speechModelInstalled() {
    const std::filesystem::path folder = PocketSphinxRecognizer::defaultModelRoot() / "en-us";
    std::error_code error;
    return std::filesystem::is_directory(folder / "en-us", error) &&
           std::filesystem::exists(folder / "en-us.lm.bin", error) &&
           std::filesystem::exists(folder / "cmudict-en-us.dict", error);
}

DesktopShell::DesktopShell(AppServices services, Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options)) {
    services.speechAnalyzerAvailable = m_options.speechModelInstalled;
    m_hotkeys = services.hotkeys;
    m_state = std::make_unique<AppState>(std::move(services));
    AppState::setInstance(m_state.get());
    qCInfo(lcApp) << "App starting...";

    m_engine.addImportPath(QStringLiteral("qrc:/"));
    MenuBarViewModel::Options panelOptions;
    panelOptions.setupRequired = !m_options.speechModelInstalled;
    panelOptions.hotkeys = m_hotkeys;
    m_panelModel = std::make_unique<MenuBarViewModel>(*m_state, panelOptions);
    m_bubble = std::make_unique<DictationBubble>(*m_state->dictation());
    // Integration point: reduced motion. The desktop's setting (DesktopMotion
    // of ui/common) sets `reducedMotion` on m_panelModel and m_bubble.

    connect(m_panelModel.get(), &MenuBarViewModel::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    connect(m_panelModel.get(), &MenuBarViewModel::soundSettingsRequested, this,
            [] { SystemSettings::openSoundSettings(); });
    connect(m_panelModel.get(), &MenuBarViewModel::setupGuideRequested, this,
            [] { QDesktopServices::openUrl(setupGuideUrl()); });
    connect(m_state.get(), &AppState::settingsRequested, this, &DesktopShell::showSettings);
    connect(m_state.get(), &AppState::overlaySetupRequested, this, &DesktopShell::createOverlay);
}

DesktopShell::~DesktopShell() {
    // Windows first: their bindings read the view models and the state.
    m_settingsPlaceholder.reset();
    m_bubbleWindow.reset();
    m_panel.reset();
    m_tray.reset();
    m_bubble.reset();
    m_panelModel.reset();
    AppState::setInstance(nullptr);
    m_state.reset();
}

bool DesktopShell::start() {
    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    m_tray = std::make_unique<TrayController>(*m_state);
    m_panel = std::make_unique<MenuBarPanel>(*m_panelModel, m_engine,
                                             m_trayAvailable ? MenuBarPanel::Mode::trayPopup
                                                             : MenuBarPanel::Mode::window);
    if (!m_panel->isLoaded()) {
        qCCritical(lcApp, "The panel cannot be loaded: %s", qUtf8Printable(m_panel->errorString()));
        return false;
    }
    QString error;
    m_bubbleWindow =
        createUiWindow(m_engine, QStringLiteral("panel/DictationBubbleView.qml"),
                       {{QStringLiteral("bubble"), QVariant::fromValue(m_bubble.get())}}, &error);
    if (!m_bubbleWindow)
        qCWarning(lcApp, "The dictation bubble cannot be loaded: %s", qUtf8Printable(error));

    qCInfo(lcApp) << "Menu bar app ready — look for waveform icon in menu bar";
    connect(m_tray.get(), &TrayController::panelRequested, this, [this](const QRect &anchor) {
        m_panel->showNear(anchor);
        logPanelGeometry();
    });
    // Shown even without a tray: Qt embeds the icon once a tray appears.
    m_tray->show();
    if (!m_trayAvailable) {
        qCInfo(lcApp, "This desktop shows no system tray (on GNOME, an AppIndicator extension "
                      "adds one), so the panel opens as a window");
        openPanel();
    }

    QTimer::singleShot(m_options.timings.trayClicks, this, &DesktopShell::setUpTrayClicks);
    QTimer::singleShot(m_options.timings.releaseNotes, this, &DesktopShell::showReleaseNotesIfNew);
    QTimer::singleShot(m_options.timings.updateCheck, this,
                       &DesktopShell::checkForUpdatesInBackground);
    return true;
}

void DesktopShell::openPanel() {
    if (!m_panel)
        return;
    const QRect icon = m_tray ? m_tray->iconGeometry() : QRect();
    if (m_panel->mode() == MenuBarPanel::Mode::trayPopup && !icon.isEmpty())
        m_panel->showNear(icon);
    else
        m_panel->showWindow();
    logPanelGeometry();
}

void DesktopShell::logPanelGeometry() {
    QQuickWindow *window = m_panel->window();
    if (!window || !lcApp().isDebugEnabled())
        return;
    // Once drawn, the layout is final.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(window, &QQuickWindow::frameSwapped, this, [this, connection] {
        disconnect(*connection);
        logPanelLayout();
    });
    window->update();
}

void DesktopShell::logPanelLayout() {
    QQuickWindow *window = m_panel->window();
    QRectF button;
    if (auto *item = window->findChild<QQuickItem *>(QStringLiteral("startStopButton")))
        button = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    qCDebug(lcApp, "Panel shown at %d,%d size %dx%d; start button at %d,%d size %dx%d", window->x(),
            window->y(), window->width(), window->height(), static_cast<int>(button.x()),
            static_cast<int>(button.y()), static_cast<int>(button.width()),
            static_cast<int>(button.height()));
}

// Both mouse buttons open the panel from the icon's first appearance (the
// tray controller has no context menu); this job only says how it went.
void DesktopShell::setUpTrayClicks() {
    if (QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcApp, "Tray icon ready: left and right click open the panel");
    else
        qCInfo(lcApp, "Still no system tray: the panel stays a window, and the icon appears "
                      "once a tray does");
}

void DesktopShell::showReleaseNotesIfNew() {
    if (m_options.updates.showReleaseNotesIfNew)
        m_options.updates.showReleaseNotesIfNew();
}

void DesktopShell::checkForUpdatesInBackground() {
    if (m_options.updates.checkForUpdatesInBackground)
        m_options.updates.checkForUpdatesInBackground();
    else
        qCDebug(lcApp, "No update controller: background update check skipped");
}

// The settings window comes with a later version; until then a placeholder
// says so.
void DesktopShell::showSettings() {
    if (!m_settingsPlaceholder) {
        QString error;
        m_settingsPlaceholder =
            createUiWindow(m_engine, QStringLiteral("panel/SettingsPlaceholder.qml"), {}, &error);
        if (!m_settingsPlaceholder) {
            qCWarning(lcApp, "The settings window cannot be loaded: %s", qUtf8Printable(error));
            return;
        }
    }
    m_settingsPlaceholder->show();
    m_settingsPlaceholder->raise();
    m_settingsPlaceholder->requestActivate();
}

void DesktopShell::createOverlay() {
    // Integration point: the subtitle overlay of ui/overlay, created once when
    // the panel is first shown. It answers AppState::overlayVisibilityRequested.
    //   m_overlaySettings = std::make_unique<OverlaySettings>(...);
    //   m_overlay = std::make_unique<OverlayWindowController>(*m_state, *m_overlaySettings,
    //                                                          m_engine);
}

} // namespace Orvinta
