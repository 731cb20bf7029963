#include "X11Connection.h"

#include <OrvintaInput/InputLog.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>

#include <X11/Xlib.h>

namespace Orvinta {

namespace {

// Xlib's error handler is process-wide; errors on our own displays are
// recorded, every other display's go to the handler that was there before.
XErrorHandler s_previousHandler = nullptr;
Display *s_checkedDisplay = nullptr;
int s_firstError = 0;
std::vector<Display *> s_ownDisplays;

int recordError(Display *display, XErrorEvent *event) {
    if (display == s_checkedDisplay) {
        if (s_firstError == 0)
            s_firstError = event->error_code;
        return 0;
    }
    if (std::find(s_ownDisplays.begin(), s_ownDisplays.end(), display) != s_ownDisplays.end()) {
        qCDebug(lcHotkey, "X error %d on request %d ignored", event->error_code,
                event->request_code);
        return 0;
    }
    return s_previousHandler ? s_previousHandler(display, event) : 0;
}

void installErrorHandler() {
    const XErrorHandler previous = XSetErrorHandler(recordError);
    if (previous != recordError)
        s_previousHandler = previous;
}

} // namespace

std::shared_ptr<X11Connection> X11Connection::open(QString *error) {
    const QByteArray name = qgetenv("DISPLAY");
    if (name.isEmpty()) {
        if (error)
            *error = QStringLiteral("no X11 display (DISPLAY is not set)");
        return nullptr;
    }
    Display *display = XOpenDisplay(name.constData());
    if (!display) {
        if (error)
            *error =
                QStringLiteral("cannot open the X11 display %1").arg(QString::fromLocal8Bit(name));
        return nullptr;
    }
    return std::shared_ptr<X11Connection>(new X11Connection(display));
}

X11Connection::X11Connection(Display *display)
    : m_display(display) {
    s_ownDisplays.push_back(display);
    installErrorHandler();
    m_notifier = new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11Connection::processEvents);
    // Xlib reads events into its own queue during round trips; whatever sits
    // there is dispatched before the loop sleeps, and requests are sent.
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            XFlush(m_display);
            if (XQLength(m_display) > 0)
                processEvents();
        });
}

unsigned long X11Connection::root() const {
    return DefaultRootWindow(m_display);
}

X11Connection::~X11Connection() {
    delete m_notifier;
    s_ownDisplays.erase(std::remove(s_ownDisplays.begin(), s_ownDisplays.end(), m_display),
                        s_ownDisplays.end());
    XCloseDisplay(m_display);
}

int X11Connection::checked(const std::function<void()> &requests) {
    // Installed again each time: Qt or a library may have replaced it.
    installErrorHandler();
    Display *outer = s_checkedDisplay;
    const int outerError = s_firstError;
    s_checkedDisplay = m_display;
    s_firstError = 0;
    requests();
    XSync(m_display, False);
    const int error = s_firstError;
    s_checkedDisplay = outer;
    s_firstError = outerError;
    return error;
}

void X11Connection::addHandler(const void *owner, std::function<void(XEvent &)> handler) {
    m_handlers.emplace_back(owner, std::move(handler));
}

void X11Connection::removeHandlers(const void *owner) {
    std::erase_if(m_handlers, [owner](const auto &entry) { return entry.first == owner; });
}

void X11Connection::processEvents() {
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        // A handler may remove handlers: iterate over a copy.
        const auto handlers = m_handlers;
        for (const auto &[owner, handler] : handlers)
            handler(event);
    }
}

QString unavailableWithout(const std::shared_ptr<X11Connection> &connection, QString reason) {
    if (connection)
        return {};
    return reason.isEmpty() ? QStringLiteral("no X11 display") : reason;
}

} // namespace Orvinta
