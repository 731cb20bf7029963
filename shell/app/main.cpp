// orvinta: the tray application.

#include "DesktopShell.h"

#include <OrvintaInput/PortalKeyboard.h>
#include <OrvintaPlatform/SingleInstance.h>
#include <OrvintaUi/PanelWindows.h>
#include <OrvintaUi/TrayIcon.h>
#include <OrvintaUpdates/AppVersion.h>

#include <QApplication>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UpdatesPlugin)

using namespace Orvinta;

namespace {

bool waylandSession() {
    return qgetenv("XDG_SESSION_TYPE") == "wayland" ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool platformChosen(int argc, char **argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return true;
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

/// A connection to the X display, held until Qt has made its own: an X
/// server whose last client leaves resets, and a connection made meanwhile
/// fails (Qt would end the process).
class X11Probe {
public:
    X11Probe()
        : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~X11Probe() { xcb_disconnect(m_connection); }
    X11Probe(const X11Probe &) = delete;
    X11Probe &operator=(const X11Probe &) = delete;

    bool reachable() const { return xcb_connection_has_error(m_connection) == 0; }

private:
    xcb_connection_t *m_connection;
};

/// On a Wayland session with XWayland the windows go through it, since
/// placing them and keeping them above others needs X11; without XWayland
/// they stay Wayland windows. A platform the user chose stays. True when
/// this run was moved to X11.
bool preferX11OnWayland(int argc, char **argv, const X11Probe &x11) {
    if (!waylandSession() || platformChosen(argc, argv) || !x11.reachable())
        return false;
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

/// Qt ends the process with a core dump when its X display cannot be
/// reached; the user gets one line instead. A platform the user chose is
/// trusted, and so is Qt's own choice in a Wayland session.
bool displayReachable(int argc, char **argv, const X11Probe &x11) {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if ((!platform.isEmpty() && platform != "xcb") || (platform.isEmpty() && waylandSession()))
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
            return true;
    return x11.reachable();
}

} // namespace

int main(int argc, char **argv) {
    // Answered before anything needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvinta %s\n", qPrintable(AppVersion::displayVersion()));
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Usage: orvinta [--version]\n"
                        "Live speech to text in the system tray: click its icon for the panel.\n"
                        "orvinta-cli does the same from a terminal.\n");
            return 0;
        }
    }
    // A file that may grow no further is a failed write, not a killed process.
    std::signal(SIGXFSZ, SIG_IGN);
    auto x11 = std::make_optional<X11Probe>();
    const bool movedToX11 = preferX11OnWayland(argc, argv, *x11);
    if (!displayReachable(argc, argv, *x11)) {
        std::fprintf(stderr, "orvinta: Orvinta needs a graphical session (X11, or Wayland with "
                             "XWayland); orvinta-cli works without one\n");
        return 1;
    }
    // The windows are flat text and shapes: the software scene graph redraws
    // only what changed and spares the process a GPU driver (or, without a
    // GPU, a GL rasteriser on the processor) — about 100 MB and most of the
    // processor time while subtitles move. A user's choice of back end stays.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") &&
        qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    QApplication app(argc, argv);
    x11.reset();
    QApplication::setApplicationName(QStringLiteral("Orvinta"));
    QApplication::setApplicationVersion(AppVersion::displayVersion());
    QApplication::setDesktopFileName(orvintaAppId());
    // The tray keeps Orvinta running; closing the panel or settings does not quit.
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon logo;
    for (const int size : {16, 24, 32, 48, 64, 128})
        logo.addPixmap(QPixmap::fromImage(
            WaveformArt::logoImage(size, QApplication::palette().color(QPalette::WindowText))));
    QApplication::setWindowIcon(logo);
    useSymbolIconTheme();
    if (movedToX11)
        // The keyboard services say for themselves what they go through.
        qCInfo(lcApp, "Wayland session: Orvinta's windows run through XWayland, which keeps the "
                      "overlay and the bubble on top");
    else if (waylandSession() && QGuiApplication::platformName() == QLatin1String("wayland"))
        qCInfo(lcApp, "Wayland session without XWayland: Orvinta's windows cannot keep "
                      "themselves on top");

    // One Orvinta per user: a second start opens the first one's panel.
    SingleInstance instance;
    switch (instance.claim()) {
    case SingleInstance::Claim::heldElsewhere:
        if (instance.handOver()) {
            qCInfo(lcApp, "Orvinta is already running: its panel opens");
            return 0;
        }
        qCCritical(lcApp, "Another Orvinta program keeps the transcript (an \"orvinta-cli "
                          "listen\"?) and does not answer; quit it first");
        return 1;
    case SingleInstance::Claim::impossible:
        qCWarning(lcApp, "The transcript cannot be saved: %s",
                  qUtf8Printable(instance.claimError()));
        break;
    case SingleInstance::Claim::taken:
        break;
    }

    DesktopShell shell(DesktopShell::desktop());
    shell.start();
    QObject::connect(&instance, &SingleInstance::activationRequested, &shell,
                     &DesktopShell::openPanel);
    // orvinta-cli hold and toggle, for the desktop's own key bindings.
    instance.setCommandHandler(
        [&shell](const QByteArray &command) { return shell.runCommand(command); });
    if (!instance.acceptHandOvers())
        qCWarning(lcApp, "A second start cannot reach this one; it will say so");
    return app.exec();
}
