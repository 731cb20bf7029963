#include "WindowActivation.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstring>
#include <memory>

namespace Orvinta {

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

/// Whether a window manager that activates windows on request is running.
bool windowManagerActivates(xcb_connection_t *connection, xcb_window_t root,
                            xcb_atom_t activeWindow) {
    const xcb_atom_t supported = internAtom(connection, "_NET_SUPPORTED");
    if (supported == XCB_ATOM_NONE || activeWindow == XCB_ATOM_NONE)
        return false;
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 4096);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || reply->format != 32)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i)
        if (atoms[i] == activeWindow)
            return true;
    return false;
}

void activateOnX11(QWindow &window) {
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || !window.isVisible())
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return;
    const xcb_atom_t activeWindow = internAtom(connection, "_NET_ACTIVE_WINDOW");
    if (windowManagerActivates(connection, screen->root, activeWindow)) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = activeWindow;
        event.data.data32[0] = 2; // a pager's request: the user asked for this window
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    } else {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
    }
    xcb_flush(connection);
}

} // namespace

void activateWindow(QWindow &window) {
    window.raise();
    window.requestActivate();
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    // The focus can only go to a mapped window: a window just shown waits
    // for its first frame.
    auto *quick = qobject_cast<QQuickWindow *>(&window);
    if (window.isExposed() || !quick)
        activateOnX11(window);
    else
        QObject::connect(
            quick, &QQuickWindow::frameSwapped, quick, [quick] { activateOnX11(*quick); },
            Qt::SingleShotConnection);
}

} // namespace Orvinta
