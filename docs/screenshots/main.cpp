// orvinta-screenshots FOLDER: saves the settings window's pages (and a
// shortcut another program holds), the panel's footer in a Wayland session,
// the overlay before anything was said and with both sides of a call, the
// What's New window, light and dark, and the captions of each style preset
// over a light and a dark desktop, as the PNGs in docs/. Needs an X display,
// a sound server and xcompmgr; scripts/screenshots.sh starts private ones.

#include "DesktopBackends.h"
#include "DesktopShell.h"

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaEngine/MainThread.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>
#include <OrvintaUi/PanelWindows.h>
#include <OrvintaUi/SettingsWindowController.h>
#include <OrvintaUi/UpdateWindowsController.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPainter>
#include <QPalette>
#include <QProcess>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QQuickItem>
#include <QRasterWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <functional>
#include <optional>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UpdatesPlugin)

using namespace Orvinta;

namespace {

/// Runs the event loop until `done` holds, at most 10 s; then some more so
/// that the window has drawn what changed.
bool settle(const std::function<bool()> &done = [] { return true; }) {
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QDeadlineTimer drawn(300);
    while (!drawn.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

const std::pair<const char *, QColor> darkRoles[] = {{"window", QColor(0x2b, 0x2b, 0x2b)},
                                                     {"windowText", QColor(0xe0, 0xe0, 0xe0)},
                                                     {"base", QColor(0x33, 0x33, 0x33)},
                                                     {"alternateBase", QColor(0x26, 0x26, 0x26)},
                                                     {"text", QColor(0xe0, 0xe0, 0xe0)},
                                                     {"button", QColor(0x3a, 0x3a, 0x3a)},
                                                     {"buttonText", QColor(0xe0, 0xe0, 0xe0)},
                                                     {"mid", QColor(0x55, 0x55, 0x55)},
                                                     {"placeholderText", QColor(0xa0, 0xa0, 0xa0)},
                                                     {"highlight", QColor(0x35, 0x84, 0xe4)},
                                                     {"highlightedText", QColor(0xff, 0xff, 0xff)},
                                                     {"light", QColor(0x48, 0x48, 0x48)},
                                                     {"dark", QColor(0x1e, 0x1e, 0x1e)},
                                                     {"midlight", QColor(0x40, 0x40, 0x40)},
                                                     {"link", QColor(0x78, 0xae, 0xed)}};

/// Draws `window` and its controls in dark colours, as a dark desktop theme does.
void paintDark(QQuickWindow &window) {
    for (const auto &[role, colour] : darkRoles)
        QQmlProperty(&window, QStringLiteral("palette.") + QLatin1String(role)).write(colour);
}

/// The same colours for the whole application: the overlay reads the system palette.
QPalette darkPalette() {
    QPalette palette = QGuiApplication::palette();
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        {QPalette::Window, QColor(0x2b, 0x2b, 0x2b)},
        {QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0)},
        {QPalette::Base, QColor(0x33, 0x33, 0x33)},
        {QPalette::Text, QColor(0xe0, 0xe0, 0xe0)},
        {QPalette::Button, QColor(0x3a, 0x3a, 0x3a)},
        {QPalette::ButtonText, QColor(0xe0, 0xe0, 0xe0)}};
    for (const auto &[role, colour] : roles)
        palette.setColor(role, colour);
    return palette;
}

/// The part of the window that `item` covers, with `margin` around it.
QRect areaOf(QQuickItem *item, int margin) {
    const QRectF area = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    return area.toAlignedRect().adjusted(-margin, -margin, margin, margin);
}

/// Saves the window, or the part `crop` of it; a translucent window is laid
/// on `backdrop`, as it would be over the desktop.
bool save(QQuickWindow &window, const QDir &folder, const QString &name,
          std::optional<QRect> crop = std::nullopt, std::optional<QColor> backdrop = std::nullopt) {
    settle();
    QImage image = window.grabWindow();
    if (crop)
        image = image.copy(crop->intersected(image.rect()));
    if (backdrop) {
        const int margin = 24;
        QImage laid(image.size() + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32);
        laid.fill(*backdrop);
        QPainter painter(&laid);
        painter.drawImage(margin, margin, image);
        painter.end();
        image = laid;
    }
    const QString path = folder.filePath(name);
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "orvinta-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

/// A settings page as tall as its content, so nothing scrolls out of the picture.
void fitPage(QQuickWindow &settings, QQuickItem *page) {
    settle();
    settings.resize(settings.width(), page->property("contentHeight").toInt());
}

/// A desktop of one colour behind every window.
class Desktop : public QRasterWindow {
public:
    QColor color = Qt::white;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), color);
    }
};

/// captions-PRESET-light.png and -dark.png: the overlay as a compositor
/// lays it over a white and a black desktop; in each, the light theme on the
/// left and the dark one on the right, the default window and backdrop
/// opacities above and the faintest the settings allow below.
bool saveCaptionPictures(DesktopShell &shell, QQuickWindow &overlay, const QDir &folder,
                         const QPalette &light, const QPalette &dark) {
    QProcess compositor;
    compositor.start(QStringLiteral("xcompmgr"), {});
    if (!compositor.waitForStarted(5000)) {
        std::fprintf(stderr, "orvinta-screenshots: the captions need xcompmgr\n");
        return false;
    }
    Desktop desktop;
    desktop.setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    desktop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    desktop.show();
    overlay.raise();
    OverlayViewModel &model = *shell.overlay()->viewModel();
    OverlaySettings &settings = *model.settings();
    settings.setAutoHideEnabled(false);
    // One step at a time, as a talk arrives.
    overlay.resize(480, 250);
    settle();
    shell.state().addConfirmedLine(QStringLiteral("Welcome, and thanks for coming."));
    settle();
    shell.state().addConfirmedLine(QStringLiteral("Captions read over anything,"));
    const QString interim = QStringLiteral("a bright slide or a dark one");
    shell.state().setInterimText(interim);
    if (!settle([&] { return desktop.isExposed() && model.displayedInterim() == interim; })) {
        std::fprintf(stderr, "orvinta-screenshots: the captions did not show\n");
        return false;
    }

    using Preset = OverlaySettings::Preset;
    const std::pair<Preset, const char *> presets[] = {{Preset::Default, "default"},
                                                       {Preset::HighContrast, "high-contrast"},
                                                       {Preset::WhiteOnBlack, "white-on-black"},
                                                       {Preset::BlackOnWhite, "black-on-white"}};
    const std::pair<double, double> opacities[] = {
        {OverlaySettings::defaultOpacity, OverlaySettings::defaultBackgroundOpacity}, {0.1, 0.0}};
    const int margin = 16;
    const QSize cell = overlay.size() + QSize(2 * margin, 2 * margin);
    bool saved = true;
    for (const auto &[preset, presetName] : presets) {
        settings.setPreset(preset);
        for (const auto &[behind, behindName] :
             {std::pair{QColor(Qt::white), "light"}, {QColor(Qt::black), "dark"}}) {
            desktop.color = behind;
            desktop.update();
            QImage sheet(2 * cell.width(), 2 * cell.height(), QImage::Format_RGB32);
            QPainter painter(&sheet);
            for (int column = 0; column < 2; ++column) {
                QGuiApplication::setPalette(column == 0 ? light : dark);
                for (int row = 0; row < 2; ++row) {
                    settings.setOpacity(opacities[row].first);
                    settings.setBackgroundOpacity(opacities[row].second);
                    settle();
                    const QRect frame =
                        overlay.geometry().adjusted(-margin, -margin, margin, margin);
                    painter.drawPixmap(column * cell.width(), row * cell.height(),
                                       QGuiApplication::primaryScreen()->grabWindow(
                                           0, frame.x(), frame.y(), frame.width(), frame.height()));
                }
            }
            painter.end();
            const QString path =
                folder.filePath(QStringLiteral("captions-%1-%2.png").arg(presetName, behindName));
            if (!sheet.save(path)) {
                std::fprintf(stderr, "orvinta-screenshots: cannot write %s\n", qPrintable(path));
                saved = false;
            } else {
                std::printf("%s\n", qPrintable(path));
            }
        }
    }
    compositor.terminate();
    compositor.waitForFinished(5000);
    return saved;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvinta-screenshots FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication app(argc, argv);
    const QPalette lightPalette = QGuiApplication::palette();
    useSymbolIconTheme();
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;

    // Another program holds Ctrl+Alt+C (its other shortcuts are out of the
    // way), so that the settings show a shortcut that does not work.
    QTemporaryDir home;
    AppServices other;
    other.preferences = std::make_shared<PreferencesStore>(home.filePath("Other.conf"));
    const HotkeyAction elsewhere[] = {HotkeyAction::toggleListening, HotkeyAction::toggleAutoPaste,
                                      HotkeyAction::toggleOverlay};
    std::uint16_t digit = 18; // the 1 key
    for (HotkeyAction action : elsewhere)
        other.preferences->setData(
            comboPreferenceKey(action),
            KeyCombo{digit++, KeyCombo::option | KeyCombo::command}.toJson());
    DesktopBackends::addKeyboard(other);
    other.hotkeys->start();

    // A user's first run, with the options the pictures should show switched on.
    DesktopShell::Services services;
    services.app.preferences = std::make_shared<PreferencesStore>(home.filePath("Orvinta.conf"));
    services.app.preferences->setBool(QStringLiteral("overlay.autoHideEnabled"), true);
    const DesktopBackends::KeyboardStatus keyboard = DesktopBackends::addKeyboard(services.app);
    const std::shared_ptr<HotkeyService> hotkeys = services.app.hotkeys;
    services.app.audio = DesktopBackends::audioCapture();
    services.app.soundServer = std::make_shared<SerialWorker>("orvinta-sound");
    services.capabilities = DesktopBackends::probe(services.app, keyboard);
    services.translation = DesktopBackends::translation();
    // sway's What Works Here: the compositor pastes, its bindings bring the keys.
    DesktopCapabilities sway = services.capabilities;
    sway.session = DesktopCapabilities::Session::wayland;
    sway.desktop = DesktopCapabilities::Desktop::sway;
    sway.virtualKeyboard = sway.dataControl = sway.statusNotifierHost = true;
    sway.paste = DesktopCapabilities::PasteBackend::waylandVirtualKeyboard;
    sway.clipboard = DesktopCapabilities::ClipboardBackend::dataControl;
    // GNOME 43's: the RemoteDesktop portal pastes, XWayland's clipboard; no
    // GlobalShortcuts portal, and its own shortcuts act on press only.
    DesktopCapabilities gnome = sway;
    gnome.desktop = DesktopCapabilities::Desktop::gnome;
    gnome.virtualKeyboard = gnome.dataControl = false;
    gnome.remoteDesktopPortal = 2;
    gnome.remoteDesktopKeyboard = true;
    gnome.paste = DesktopCapabilities::PasteBackend::remoteDesktopPortal;
    gnome.clipboard = DesktopCapabilities::ClipboardBackend::x11;
    DesktopShell shell(std::move(services));
    shell.state().preferences()->setAutoPasteAtCursor(true);
    QCoro::waitFor(shell.state().startupFinished());
    sway.readSoundServer(*shell.state().audioDevices());
    gnome.readSoundServer(*shell.state().audioDevices());

    shell.showSettings();
    QQuickWindow *settings = shell.settingsWindow() ? shell.settingsWindow()->window() : nullptr;
    QQuickItem *view = settings ? settings->findChild<QQuickItem *>("settingsView") : nullptr;
    SettingsViewModel *settingsModel =
        shell.settingsWindow() ? &shell.settingsWindow()->viewModel() : nullptr;
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    WhatsNewModel notes;
    UpdateWindowsController updateWindows(engine, &notes, nullptr);
    notes.show(QStringLiteral("1.3"),
               QStringLiteral("<h3>New in this version</h3><ul><li>A settings window with "
                              "General, Appearance, Update and About</li><li>Shortcuts are "
                              "recorded from the keyboard</li><li>Release notes like these, "
                              "once per version</li></ul>"));
    QQuickWindow *whatsNew = updateWindows.whatsNewWindow();

    // The panel as a Wayland session shows it: the note under the footer.
    MenuBarViewModel::Options panelOptions;
    panelOptions.hotkeys = hotkeys;
    panelOptions.sessionNote = gnome.sessionNote();
    MenuBarViewModel panelModel(shell.state(), panelOptions);
    MenuBarPanel panel(panelModel, engine, MenuBarPanel::Mode::window);
    panel.showWindow();
    QQuickWindow *panelWindow = panel.window();

    shell.state().preferences()->setShowOverlay(true);
    shell.state().setupOverlay();
    QQuickWindow *overlay = shell.overlay() ? shell.overlay()->window() : nullptr;
    if (!view || !whatsNew || !panelWindow || !overlay || !settle([&] {
            return settings->isExposed() && whatsNew->isExposed() && panelWindow->isExposed() &&
                   overlay->isExposed();
        })) {
        std::fprintf(stderr, "orvinta-screenshots: the windows did not open on the display\n");
        return 1;
    }
    const auto item = [](QQuickWindow *window, const char *name) {
        return window->findChild<QQuickItem *>(QLatin1String(name));
    };
    QQuickItem *shortcuts = item(settings, "shortcutsSection");
    QQuickItem *settingsButton = item(panelWindow, "settingsButton");
    if (!shortcuts || !settingsButton) {
        std::fprintf(stderr, "orvinta-screenshots: a part to picture is missing\n");
        return 1;
    }

    bool saved = true;
    for (const QString suffix : {"", "-dark"}) {
        const bool dark = !suffix.isEmpty();
        if (dark) {
            paintDark(*settings);
            paintDark(*whatsNew);
            paintDark(*panelWindow);
            QGuiApplication::setPalette(darkPalette());
        }
        const QSize size = settings->size();
        for (const char *tab : {"general", "appearance", "update", "about"}) {
            settingsModel->setCurrentTab(QString::fromLatin1(tab));
            saved &= save(*settings, folder, QStringLiteral("settings-%1%2.png").arg(tab, suffix));
        }
        // What Works Here and the whole General tab, as tall as they are.
        settingsModel->setCurrentTab(QStringLiteral("capabilities"));
        fitPage(*settings, item(settings, "capabilitiesPage"));
        saved &= save(*settings, folder, QStringLiteral("settings-capabilities%1.png").arg(suffix));
        CapabilitiesModel &capabilities = *settingsModel->capabilities();
        const DesktopCapabilities here = capabilities.capabilities();
        for (const auto &[name, desktop] : {std::pair{"sway", &sway}, std::pair{"gnome", &gnome}}) {
            capabilities.setCapabilities(*desktop);
            fitPage(*settings, item(settings, "capabilitiesPage"));
            saved &= save(*settings, folder,
                          QStringLiteral("settings-capabilities-%1%2.png").arg(name, suffix));
        }
        capabilities.setCapabilities(here);
        settingsModel->setCurrentTab(QStringLiteral("general"));
        fitPage(*settings, item(settings, "generalPage"));
        saved &= save(*settings, folder, QStringLiteral("settings-general-full%1.png").arg(suffix));
        saved &=
            save(*settings, folder, QStringLiteral("settings-shortcut-refused%1.png").arg(suffix),
                 areaOf(shortcuts, 12));
        settings->resize(size);

        // The footer: from the Settings button down.
        const QRect footer = areaOf(settingsButton, 0);
        saved &= save(*panelWindow, folder, QStringLiteral("panel-footer%1.png").arg(suffix),
                      QRect(0, footer.top() - 8, panelWindow->width(), panelWindow->height()));
        // Auto-hide (on for the Appearance picture) may have faded it out.
        shell.overlay()->updateBackgroundHidden(false);
        settle();
        const QColor desktop = dark ? QColor(0x1d, 0x23, 0x29) : QColor(0xc9, 0xd1, 0xd9);
        saved &= save(*overlay, folder, QStringLiteral("overlay-empty%1.png").arg(suffix),
                      std::nullopt, desktop);
        // Both sides of a call, each line labelled.
        AppState &state = shell.state();
        state.addConfirmedLine(QStringLiteral("Shall we go through the budget first?"),
                               microphoneSpeaker());
        state.addConfirmedLine(QStringLiteral("Yes, the numbers for the second quarter are in."),
                               computerSpeaker());
        state.addConfirmedLine(QStringLiteral("Good, send them over please."), microphoneSpeaker());
        saved &= save(*overlay, folder, QStringLiteral("overlay-conversation%1.png").arg(suffix),
                      std::nullopt, desktop);
        state.transcript()->clearAll();

        saved &= save(*whatsNew, folder, QStringLiteral("whats-new%1.png").arg(suffix));
        if (notes.darkColorScheme() != dark) {
            std::fprintf(stderr, "orvinta-screenshots: the notes missed the window's colours\n");
            saved = false;
        }
    }
    settings->hide();
    whatsNew->hide();
    panelWindow->hide();
    saved &= saveCaptionPictures(shell, *overlay, folder, lightPalette, darkPalette());
    return saved ? 0 : 1;
}
