// orvinta-screenshots FOLDER: saves the settings window's tabs and the What's
// New window, light and dark, as the PNGs in docs/. Needs an X display;
// scripts/screenshots.sh starts a private one.

#include "DesktopBackends.h"
#include "DesktopShell.h"

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaUi/PanelWindows.h>
#include <OrvintaUi/SettingsWindowController.h>
#include <OrvintaUi/UpdateWindowsController.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <functional>

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

/// Draws `window` and its controls in dark colours, as a dark desktop theme does.
void paintDark(QQuickWindow &window) {
    const std::pair<const char *, QColor> roles[] = {{"window", QColor(0x2b, 0x2b, 0x2b)},
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
                                                     {"midlight", QColor(0x40, 0x40, 0x40)}};
    for (const auto &[role, colour] : roles)
        QQmlProperty(&window, QStringLiteral("palette.") + QLatin1String(role)).write(colour);
}

bool save(QQuickWindow &window, const QDir &folder, const QString &name) {
    settle();
    const QString path = folder.filePath(name);
    if (!window.grabWindow().save(path)) {
        std::fprintf(stderr, "orvinta-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
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
    useSymbolIconTheme();
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;

    // A user's first run, with the options the pictures should show switched on.
    QTemporaryDir home;
    DesktopShell::Services services;
    services.app.preferences = std::make_shared<PreferencesStore>(home.filePath("Orvinta.conf"));
    services.app.preferences->setBool(QStringLiteral("overlay.autoHideEnabled"), true);
    DesktopBackends::addKeyboard(services.app);
    DesktopShell shell(std::move(services));
    shell.state().preferences()->setAutoPasteAtCursor(true);

    shell.showSettings();
    QQuickWindow *settings = shell.settingsWindow() ? shell.settingsWindow()->window() : nullptr;
    QQuickItem *view = settings ? settings->findChild<QQuickItem *>("settingsView") : nullptr;
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
    if (!view || !whatsNew ||
        !settle([&] { return settings->isExposed() && whatsNew->isExposed(); })) {
        std::fprintf(stderr, "orvinta-screenshots: the windows did not open on the display\n");
        return 1;
    }

    bool saved = true;
    for (const QString suffix : {"", "-dark"}) {
        if (!suffix.isEmpty()) {
            paintDark(*settings);
            paintDark(*whatsNew);
        }
        for (const char *tab : {"general", "appearance", "update", "about"}) {
            view->setProperty("selectedTab", QString::fromLatin1(tab));
            saved &= save(*settings, folder, QStringLiteral("settings-%1%2.png").arg(tab, suffix));
        }
        // The whole General tab, as it scrolls.
        view->setProperty("selectedTab", QStringLiteral("general"));
        const QSize size = settings->size();
        settings->resize(size.width(), 1040);
        saved &= save(*settings, folder, QStringLiteral("settings-general-full%1.png").arg(suffix));
        settings->resize(size);
        saved &= save(*whatsNew, folder, QStringLiteral("whats-new%1.png").arg(suffix));
        if (notes.darkColorScheme() != !suffix.isEmpty()) {
            std::fprintf(stderr, "orvinta-screenshots: the notes missed the window's colours\n");
            saved = false;
        }
    }
    return saved ? 0 : 1;
}
