#include "DesktopShell.h"
#include "SettingsWiring.h"

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/Dictation.h>
#include <OrvintaEngine/PocketSphinxRecognizer.h>
#include <OrvintaUi/DesktopMotion.h>
#include <OrvintaUi/DictationBubble.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>
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
    m_settings = std::make_unique<SettingsWiring>(services, m_engine);
    m_state = std::make_unique<AppState>(std::move(services));
    AppState::setInstance(m_state.get());
    m_settings->attach(*m_state);
    qCInfo(lcApp) << "App starting...";

    m_engine.addImportPath(QStringLiteral("qrc:/"));
    MenuBarViewModel::Options panelOptions;
    panelOptions.setupRequired = !m_options.speechModelInstalled;
    panelOptions.hotkeys = m_hotkeys;
    m_panelModel = std::make_unique<MenuBarViewModel>(*m_state, panelOptions);
    if (!m_options.holdKeyName.isEmpty())
        m_panelModel->setHoldKeyName(m_options.holdKeyName);
    m_bubble = std::make_unique<DictationBubble>(*m_state->dictation());
    // Shown once the microphone really runs, so a start that fails shows nothing;
    // hidden after the done pause when the dictation produced text.
    connect(&m_state->dictationController(), &DictationController::bubbleShowRequested,
            m_bubble.get(), &DictationBubble::show);
    connect(&m_state->dictationController(), &DictationController::bubbleHideRequested,
            m_bubble.get(), &DictationBubble::hide);
    const auto followReducedMotion = [this] {
        const bool reduced = DesktopMotion::instance()->reducedMotion();
        m_panelModel->setReducedMotion(reduced);
        m_bubble->setReducedMotion(reduced);
    };
    followReducedMotion();
    connect(DesktopMotion::instance(), &DesktopMotion::reducedMotionChanged, this,
            followReducedMotion);

    connect(m_panelModel.get(), &MenuBarViewModel::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    connect(m_panelModel.get(), &MenuBarViewModel::soundSettingsRequested, this,
            [] { SystemSettings::openSoundSettings(); });
    connect(m_panelModel.get(), &MenuBarViewModel::setupGuideRequested, this,
            [] { QDesktopServices::openUrl(setupGuideUrl()); });
    connect(m_state.get(), &AppState::settingsRequested, m_settings.get(),
            &SettingsWiring::showSettings);
    connect(m_settings.get(), &SettingsWiring::holdKeyChanged, m_panelModel.get(),
            &MenuBarViewModel::setHoldKeyName);
    connect(m_state.get(), &AppState::overlaySetupRequested, this, &DesktopShell::createOverlay);
}

DesktopShell::~DesktopShell() {
    // Windows first: their bindings read the view models and the state.
    m_settings->releaseWindows();
    m_overlay.reset();
    m_bubbleWindow.reset();
    m_panel.reset();
    m_tray.reset();
    m_bubble.reset();
    m_panelModel.reset();
    AppState::setInstance(nullptr);
    // The state goes last, after the QML engine that read it.
}

void DesktopShell::start() {
    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    m_tray = std::make_unique<TrayController>(*m_state);
    connect(m_tray.get(), &TrayController::panelRequested, this, [this](const QRect &anchor) {
        if (!loadWindows())
            return;
        m_panel->toggleNear(anchor);
        if (m_panel->window()->isVisible())
            logPanelGeometry();
    });
    // Shown even without a tray: Qt embeds the icon once a tray appears.
    m_tray->show();
    qCInfo(lcApp) << "Menu bar app ready — look for waveform icon in menu bar";

    // The windows load once the icon is on its way, so that it shows first.
    QTimer::singleShot(0, this, [this] {
        if (!loadWindows())
            return;
        if (!m_trayAvailable) {
            qCInfo(lcApp, "This desktop shows no system tray (on GNOME, an AppIndicator "
                          "extension adds one), so the panel opens as a window");
            openPanel();
        }
    });
    QTimer::singleShot(m_options.timings.trayClicks, this, &DesktopShell::setUpTrayClicks);
    QTimer::singleShot(m_options.timings.releaseNotes, m_settings.get(),
                       &SettingsWiring::showReleaseNotesIfNew);
    QTimer::singleShot(m_options.timings.updateCheck, m_settings.get(),
                       &SettingsWiring::startAutomaticUpdateChecks);
}

bool DesktopShell::loadWindows() {
    if (m_panel)
        return m_panel->isLoaded();
    m_panel = std::make_unique<MenuBarPanel>(*m_panelModel, m_engine,
                                             m_trayAvailable ? MenuBarPanel::Mode::trayPopup
                                                             : MenuBarPanel::Mode::window);
    if (!m_panel->isLoaded()) {
        // Without its panel Orvinta cannot be used: say why and end.
        qCCritical(lcApp, "The panel cannot be loaded: %s", qUtf8Printable(m_panel->errorString()));
        QCoreApplication::exit(1);
        return false;
    }
    QString error;
    m_bubbleWindow =
        createUiWindow(m_engine, QStringLiteral("panel/DictationBubbleView.qml"),
                       {{QStringLiteral("bubble"), QVariant::fromValue(m_bubble.get())}}, &error);
    if (!m_bubbleWindow)
        qCWarning(lcApp, "The dictation bubble cannot be loaded: %s", qUtf8Printable(error));
    return true;
}

void DesktopShell::openPanel() {
    if (!loadWindows())
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
    // Once drawn, the layout is final. Frames are reported from the render
    // thread, so a second one may be queued before the first is handled.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(window, &QQuickWindow::frameSwapped, this, [this, connection] {
        if (!*connection)
            return;
        disconnect(*connection);
        *connection = {};
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

void DesktopShell::createOverlay() {
    if (m_overlay)
        return;
    m_overlay = std::make_unique<OverlayWindowController>(*m_state, m_settings->overlaySettings(),
                                                          m_engine);
    const auto shortcut = [this](HotkeyAction action) {
        return m_hotkeys && m_hotkeys->isRegistered(action)
                   ? m_hotkeys->combo(action).displayString()
                   : QString();
    };
    m_overlay->setShortcutTexts(shortcut(HotkeyAction::toggleListening),
                                shortcut(HotkeyAction::toggleOverlay));
    // The request that led here shows it.
    m_overlay->show();
}

} // namespace Orvinta
