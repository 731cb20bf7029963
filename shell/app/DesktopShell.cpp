#include "DesktopShell.h"

#include <DesktopBackends.h>
#include <RemoteCommands.h>

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/ListeningController.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaPlatform/X11OverlayWindowPlatform.h>
#include <OrvintaUi/DesktopMotion.h>
#include <OrvintaUi/DictationBubble.h>
#include <OrvintaUi/FileSaveDialog.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/OverlayWindowController.h>
#include <OrvintaUi/PanelWindows.h>
#include <OrvintaUi/SettingsWindowController.h>
#include <OrvintaUi/ShortcutRecorderModel.h>
#include <OrvintaUi/SystemSettings.h>
#include <OrvintaUi/TrayIcon.h>
#include <OrvintaUi/UpdateWindowsController.h>
#include <OrvintaUpdates/DesktopNotifier.h>
#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/UpdateNotice.h>
#include <OrvintaUpdates/UpdaterManager.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QQuickItem>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <algorithm>

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

QString storedHoldKeyName(const PreferencesStore &preferences) {
    return holdKeyDisplayName(preferences.stringValue(holdKeyPreference).value_or(defaultHoldKey));
}

} // namespace

DesktopShell::Services DesktopShell::desktop() {
    Services services;
    services.app = DesktopBackends::application();
    const DesktopBackends::KeyboardStatus keyboard = DesktopBackends::addKeyboard(services.app);
    services.app.saveDialog = std::make_shared<FileSaveDialog>();
    services.translation = DesktopBackends::translation();
    // The overlay's window manager hints need X11; elsewhere Qt's own window does.
    services.overlayPlatform = &makeX11OverlayWindowPlatform;
    services.notifier = DesktopBackends::notifier();
    services.speechModelInstalled = DesktopBackends::speechModelInstalled();
    if (!services.speechModelInstalled)
        qCWarning(lcApp, "The speech model is not installed (Debian package pocketsphinx-en-us)");
    services.capabilities = DesktopBackends::probe(services.app, keyboard);
    services.remoteHoldKey = keyboard.remoteHoldKey;
    return services;
}

DesktopShell::DesktopShell(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services)) {
    AppServices &app = m_services.app;
    app.speechAnalyzerAvailable = m_services.speechModelInstalled;
    m_firstRun = app.preferences && app.preferences->isFirstRun();
    m_motion = std::make_unique<DesktopMotion>();
    m_state = std::make_unique<AppState>(app);
    m_overlaySettings = std::make_unique<OverlaySettings>(app.preferences);
    m_updater = std::make_unique<UpdaterManager>(app.preferences);
    m_updateNotice =
        std::make_unique<UpdateNotice>(*m_updater, app.preferences, m_services.notifier);
    m_whatsNew = std::make_unique<WhatsNewModel>();
    if (app.hotkeys)
        for (HotkeyAction action : allHotkeyActions)
            m_recorders.push_back(std::make_unique<ShortcutRecorderModel>(app.hotkeys, action));
    qCInfo(lcApp) << "App starting...";

    MenuBarViewModel::Options panelOptions;
    panelOptions.setupRequired = !m_services.speechModelInstalled;
    panelOptions.hotkeys = app.hotkeys;
    panelOptions.sessionNote = m_services.capabilities.sessionNote();
    panelOptions.updateNotice = m_updateNotice.get();
    m_panelModel = std::make_unique<MenuBarViewModel>(*m_state, panelOptions);
    m_panelModel->setHoldKeyName(storedHoldKeyName(*app.preferences));
    m_bubble = std::make_unique<DictationBubble>(*m_state->dictation());
    // Shown once the microphone really runs, so a start that fails shows nothing;
    // hidden after the done pause when the dictation produced text.
    connect(&m_state->dictationController(), &DictationController::bubbleShowRequested,
            m_bubble.get(), &DictationBubble::show);
    connect(&m_state->dictationController(), &DictationController::bubbleHideRequested,
            m_bubble.get(), &DictationBubble::hide);
    const auto followReducedMotion = [this] {
        const bool reduced = m_motion->reducedMotion();
        m_panelModel->setReducedMotion(reduced);
        m_bubble->setReducedMotion(reduced);
        if (m_tray)
            m_tray->setReducedMotion(reduced);
    };
    followReducedMotion();
    connect(m_motion.get(), &DesktopMotion::reducedMotionChanged, this, followReducedMotion);

    connect(m_panelModel.get(), &MenuBarViewModel::quitRequested, this, &DesktopShell::quit,
            Qt::QueuedConnection);
    connect(m_panelModel.get(), &MenuBarViewModel::soundSettingsRequested, this,
            [] { SystemSettings::openSoundSettings(); });
    connect(m_panelModel.get(), &MenuBarViewModel::setupGuideRequested, this,
            [] { QDesktopServices::openUrl(setupGuideUrl()); });
    connect(m_panelModel.get(), &MenuBarViewModel::capabilitiesRequested, this,
            &DesktopShell::showCapabilities);
    connect(m_state.get(), &AppState::settingsRequested, this, &DesktopShell::showSettings);
    connect(m_state.get(), &AppState::overlaySetupRequested, this, &DesktopShell::createOverlay);
    connect(m_state->listening(), &ListeningController::errorMessageChanged, this, [this] {
        const QString banner = m_state->listening()->errorMessageText();
        if (banner.isEmpty())
            qCInfo(lcApp) << "Banner gone";
        else
            qCInfo(lcApp).noquote() << "Banner: " + banner;
    });
    // The sound server's lines come from the device list, never from a wait at start.
    connect(m_state->audioDevices(), &AudioDeviceList::refreshed, this,
            &DesktopShell::updateCapabilities);

    m_engine.addImportPath(QStringLiteral("qrc:/"));
    m_updateWindows =
        std::make_unique<UpdateWindowsController>(m_engine, m_whatsNew.get(), m_updater.get());
    connect(m_updateNotice.get(), &UpdateNotice::updateWindowRequested, m_updateWindows.get(),
            &UpdateWindowsController::showUpdateWindow);
}

DesktopShell::~DesktopShell() = default;

void DesktopShell::start() {
    m_trayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    m_tray = std::make_unique<TrayController>(*m_state);
    m_tray->setReducedMotion(m_motion->reducedMotion());
    connect(m_tray.get(), &TrayController::panelRequested, this, [this](const QRect &anchor) {
        if (!loadWindows())
            return;
        m_panel->toggleNear(anchor);
        if (m_panel->window()->isVisible())
            logPanelGeometry();
    });
    // Shown even without a tray: Qt embeds the icon once a tray appears.
    m_tray->show();
    qCInfo(lcApp) << "Tray app ready — look for the waveform icon in the system tray";

    // The windows load once the icon is on its way, so that it shows first.
    // The first start opens the panel once, which shows the overlay with its welcome.
    QTimer::singleShot(0, this, [this] {
        if (!loadWindows())
            return;
        if (!m_trayAvailable) {
            qCInfo(lcApp, "This desktop shows no system tray (on GNOME, an AppIndicator "
                          "extension adds one), so the panel opens as a window");
            openPanel();
        } else if (m_firstRun) {
            openPanelNearTheIcon(20);
        }
    });
    QTimer::singleShot(m_services.timings.trayClicks, this, &DesktopShell::setUpTrayClicks);
    QTimer::singleShot(m_services.timings.releaseNotes, this, &DesktopShell::showReleaseNotesIfNew);
    QTimer::singleShot(m_services.timings.updateCheck, m_updater.get(),
                       &UpdaterManager::startAutomaticChecks);
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

void DesktopShell::openPanelNearTheIcon(int triesLeft) {
    // Until the tray takes the icon in, Qt reports it at the screen's corner.
    const QRect icon = m_tray ? m_tray->iconGeometry() : QRect();
    if (m_tray && (icon.isEmpty() || icon.topLeft() == QPoint(0, 0)) && triesLeft > 0) {
        QTimer::singleShot(100, this, [this, triesLeft] { openPanelNearTheIcon(triesLeft - 1); });
        return;
    }
    openPanel();
}

QString DesktopShell::runCommand(const QByteArray &command) {
    return RemoteCommands{m_state.get(), m_services.remoteHoldKey, false}.run(command);
}

void DesktopShell::updateCapabilities() {
    DesktopCapabilities &c = m_services.capabilities;
    c.readSoundServer(*m_state->audioDevices());
    c.holdKey = m_services.app.preferences->stringValue(holdKeyPreference).value_or(defaultHoldKey);
    if (const std::shared_ptr<HotkeyService> &hotkeys = m_services.app.hotkeys)
        for (auto &[action, combo] : c.shortcuts)
            combo = hotkeys->combo(action);
    if (m_settingsWindow)
        m_settingsWindow->viewModel().capabilities()->setCapabilities(c);
}

void DesktopShell::quit() {
    if (m_quitting)
        return;
    m_quitting =
        CancellableTask::start([state = m_state.get()](CancellationToken) -> QCoro::Task<> {
            QCoro::Task<> finishing = state->listening()->finishBeforeQuit();
            co_await finishing;
            QCoreApplication::quit();
        });
    QTimer::singleShot(std::chrono::seconds(5), qApp, &QCoreApplication::quit);
}

void DesktopShell::showSettings() {
    if (!m_settingsWindow) {
        SettingsServices settings;
        settings.preferences = m_services.app.preferences;
        // "Trusted": paste at the cursor reaches every app (XTest on X11, the
        // compositor's virtual keyboard or the RemoteDesktop portal on
        // Wayland), as What Works Here says.
        settings.accessibilityTrusted = [this] {
            const QList<Capability> lines = m_services.capabilities.features();
            return std::any_of(lines.begin(), lines.end(), [](const Capability &line) {
                return line.feature == QLatin1String("Paste at the cursor") && line.available;
            });
        };
        for (const auto &recorder : m_recorders)
            settings.shortcutRecorders << recorder.get();
        settings.capabilities = m_services.capabilities;
        m_settingsWindow = std::make_unique<SettingsWindowController>(
            m_engine, *m_state, m_overlaySettings.get(), m_updater.get(), std::move(settings));
        // A new hold key takes effect at once: the monitor reads it when it starts again.
        connect(&m_settingsWindow->viewModel(), &SettingsViewModel::holdKeyChanged, this, [this] {
            m_state->dictationController().setupDictation();
            m_panelModel->setHoldKeyName(m_settingsWindow->viewModel().holdKeyName());
            updateCapabilities();
        });
        // The key bindings name the combinations the user chose.
        for (const auto &recorder : m_recorders)
            connect(recorder.get(), &ShortcutRecorderModel::registrationChanged, this,
                    &DesktopShell::updateCapabilities);
    }
    m_settingsWindow->show();
}

void DesktopShell::showCapabilities() {
    showSettings();
    m_settingsWindow->viewModel().showCapabilities();
}

void DesktopShell::showReleaseNotesIfNew() {
    ReleaseNotes notes(m_services.app.preferences);
    m_whatsNew->showNotesIfNew(notes);
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
    OverlayWindowController::Services overlay;
    overlay.translation = m_services.translation;
    if (m_services.overlayPlatform)
        overlay.platform = m_services.overlayPlatform();
    overlay.motion = m_motion.get();
    overlay.firstRun = m_firstRun;
    m_overlay = std::make_unique<OverlayWindowController>(*m_state, *m_overlaySettings, m_engine,
                                                          std::move(overlay));
    // Every change of a combination or of the registrations passes the fields.
    updateOverlayShortcuts();
    for (const auto &recorder : m_recorders)
        connect(recorder.get(), &ShortcutRecorderModel::registrationChanged, this,
                &DesktopShell::updateOverlayShortcuts);
    connect(m_state.get(), &AppState::hotkeyRegistrationFailed, this,
            &DesktopShell::updateOverlayShortcuts);
    // The request that led here shows it.
    m_overlay->show();
}

void DesktopShell::updateOverlayShortcuts() {
    // A field that records while the shell goes ends after the overlay went.
    if (!m_overlay)
        return;
    const std::shared_ptr<HotkeyService> &hotkeys = m_services.app.hotkeys;
    const auto shortcut = [&hotkeys](HotkeyAction action) {
        return hotkeys && hotkeys->isRegistered(action) ? hotkeys->combo(action).displayString()
                                                        : QString();
    };
    m_overlay->setShortcutTexts(shortcut(HotkeyAction::toggleListening),
                                shortcut(HotkeyAction::toggleOverlay));
}

} // namespace Orvinta
