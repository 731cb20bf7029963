#include "X11PasteKeystrokes.h"

#include <OrvintaInput/InputLog.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <optional>

namespace Orvinta {

namespace {

/// The WM_CLASS of `window`, or nothing.
QStringList classOf(Display *display, Window window) {
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(display, window, &hint))
        return {};
    QStringList names{QString::fromLocal8Bit(hint.res_name ? hint.res_name : ""),
                      QString::fromLocal8Bit(hint.res_class ? hint.res_class : "")};
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return names;
}

/// The first window from `window` up to the root that has a WM_CLASS.
QStringList classUpwards(Display *display, Window window) {
    for (int depth = 0; window != None && depth < 32; ++depth) {
        QStringList names = classOf(display, window);
        if (!names.isEmpty())
            return names;
        Window root = None;
        Window parent = None;
        Window *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return {};
        if (children)
            XFree(children);
        if (parent == root)
            return {};
        window = parent;
    }
    return {};
}

/// The window manager's active window: None for none, nothing where it does not say.
std::optional<Window> activeWindowProperty(Display *display, Window root) {
    const Atom property = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    std::optional<Window> window;
    if (XGetWindowProperty(display, root, property, 0, 1, False, XA_WINDOW, &type, &format, &items,
                           &remaining, &data) == Success &&
        data) {
        if (type == XA_WINDOW && format == 32 && items == 1)
            window = static_cast<Window>(*reinterpret_cast<unsigned long *>(data));
        XFree(data);
    }
    return window;
}

Window activeWindow(Display *display, Window root) {
    return activeWindowProperty(display, root).value_or(None);
}

KeyCode keycodeOf(Display *display, KeySym sym, KeyCode fallback) {
    const KeyCode code = XKeysymToKeycode(display, sym);
    return code != 0 ? code : fallback;
}

} // namespace

X11PasteKeystrokes::X11PasteKeystrokes(std::shared_ptr<X11Connection> connection,
                                       QString unavailableReason)
    : m_connection(std::move(connection))
    , m_unavailable(unavailableWithout(m_connection, std::move(unavailableReason))) {
    if (!m_connection)
        return;
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(m_connection->display(), &event, &error, &major, &minor))
        m_unavailable = QStringLiteral("the X server has no XTest extension");
}

QStringList X11PasteKeystrokes::focusedWindowClass() {
    if (!m_connection)
        return {};
    Display *display = m_connection->display();
    QStringList names;
    // The window may go away while it is looked at; its errors are only noted.
    m_connection->checked([&] {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        if (focus != None && focus != PointerRoot && focus != m_connection->root())
            names = classUpwards(display, focus);
        // A window manager may focus its frame; the active window names the client.
        if (names.isEmpty())
            names = classOf(display, activeWindow(display, m_connection->root()));
    });
    return names;
}

QString X11PasteKeystrokes::focusUnreachable() {
    if (!m_connection || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    std::optional<Window> active;
    m_connection->checked(
        [&] { active = activeWindowProperty(m_connection->display(), m_connection->root()); });
    if (active && *active == None)
        return QStringLiteral("the focused window is a Wayland app, which XTest's keystroke does "
                              "not reach");
    return {};
}

bool X11PasteKeystrokes::sendPaste(PasteShortcut shortcut) {
    if (!m_unavailable.isEmpty())
        return false;
    Display *display = m_connection->display();
    // The V key of the layout; 55 is the physical V key where the layout has no 'v'.
    const KeyCode v = keycodeOf(display, XK_v, 55);
    const KeyCode control = keycodeOf(display, XK_Control_L, 37);
    const KeyCode shift = keycodeOf(display, XK_Shift_L, 50);
    const bool withShift = shortcut == PasteShortcut::ctrlShiftV;
    const int error = m_connection->checked([&] {
        XTestFakeKeyEvent(display, control, True, CurrentTime);
        if (withShift)
            XTestFakeKeyEvent(display, shift, True, CurrentTime);
        XTestFakeKeyEvent(display, v, True, CurrentTime);
        XTestFakeKeyEvent(display, v, False, CurrentTime);
        if (withShift)
            XTestFakeKeyEvent(display, shift, False, CurrentTime);
        XTestFakeKeyEvent(display, control, False, CurrentTime);
    });
    return error == 0;
}

bool X11PasteKeystrokes::clipboardHasOwner() {
    if (!m_connection)
        return false;
    Display *display = m_connection->display();
    return XGetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False)) != None;
}

} // namespace Orvinta
