#include <OrvintaPlatform/X11OverlayWindowPlatform.h>

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

namespace Orvinta {

namespace {

/// EWMH and KWin through xcb: every request checks its reply, so a window
/// that vanished meanwhile costs an error reply, never the process.
class X11OverlayWindowPlatform final : public OverlayWindowPlatform {
public:
    explicit X11OverlayWindowPlatform(xcb_connection_t *connection)
        : m_connection(connection) {
        const xcb_setup_t *setup = xcb_get_setup(connection);
        m_root = xcb_setup_roots_iterator(setup).data->root;
        m_blurAtom = atom("_KDE_NET_WM_BLUR_BEHIND_REGION", true);
        m_blurAvailable = m_blurAtom != XCB_ATOM_NONE && rootSupports(m_blurAtom);
        qCInfo(lcOverlay, "Overlay background: %s",
               m_blurAvailable ? "blurred (KWin)" : "translucent");
    }

    void prepare(QWindow &window) override {
        const xcb_window_t id = static_cast<xcb_window_t>(window.winId());
        std::vector<xcb_atom_t> states = windowStates(id);
        for (xcb_atom_t wanted : ownStates())
            if (wanted != XCB_ATOM_NONE &&
                std::find(states.begin(), states.end(), wanted) == states.end())
                states.push_back(wanted);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_STATE"),
                            XCB_ATOM_ATOM, 32, static_cast<uint32_t>(states.size()), states.data());
        const uint32_t allDesktops = 0xFFFFFFFF;
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_DESKTOP"),
                            XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
        xcb_flush(m_connection);
    }

    void shown(QWindow &window) override {
        const xcb_window_t id = static_cast<xcb_window_t>(window.winId());
        // A running window manager owns the states of mapped windows: ask it.
        const std::vector<xcb_atom_t> states = ownStates();
        sendToRoot(id, atom("_NET_WM_STATE"), {1, states[0], states[1], 1, 0});
        sendToRoot(id, atom("_NET_WM_STATE"), {1, states[2], XCB_ATOM_NONE, 1, 0});
        sendToRoot(id, atom("_NET_WM_DESKTOP"), {0xFFFFFFFF, 1, 0, 0, 0});
        xcb_flush(m_connection);
    }

    bool blurAvailable() const override { return m_blurAvailable; }

    void setBlurRegion(QWindow &window, const QRegion &region) override {
        if (!m_blurAvailable || !window.handle())
            return;
        const xcb_window_t id = static_cast<xcb_window_t>(window.winId());
        if (region.isEmpty()) {
            xcb_delete_property(m_connection, id, m_blurAtom);
        } else {
            std::vector<uint32_t> rects;
            for (const QRect &rect : region) {
                rects.push_back(static_cast<uint32_t>(rect.x()));
                rects.push_back(static_cast<uint32_t>(rect.y()));
                rects.push_back(static_cast<uint32_t>(rect.width()));
                rects.push_back(static_cast<uint32_t>(rect.height()));
            }
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, m_blurAtom,
                                XCB_ATOM_CARDINAL, 32, static_cast<uint32_t>(rects.size()),
                                rects.data());
        }
        xcb_flush(m_connection);
    }

    void reserveStrip(QWindow &window, const QRect &screen, const QRect &strip) override {
        if (!window.handle())
            return;
        const xcb_window_t id = static_cast<xcb_window_t>(window.winId());
        if (strip.isEmpty()) {
            xcb_delete_property(m_connection, id, atom("_NET_WM_STRUT_PARTIAL"));
            xcb_delete_property(m_connection, id, atom("_NET_WM_STRUT"));
            xcb_flush(m_connection);
            return;
        }
        // Struts are measured from the edges of the whole X screen.
        const xcb_screen_t *root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const bool top = strip.top() <= screen.top();
        const auto start = static_cast<uint32_t>(strip.left());
        const auto end = static_cast<uint32_t>(strip.right());
        uint32_t partial[12] = {};
        if (top) {
            partial[2] = static_cast<uint32_t>(strip.bottom() + 1);
            partial[8] = start;
            partial[9] = end;
        } else {
            partial[3] = static_cast<uint32_t>(std::max(0, root->height_in_pixels - strip.top()));
            partial[10] = start;
            partial[11] = end;
        }
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_STRUT_PARTIAL"),
                            XCB_ATOM_CARDINAL, 32, 12, partial);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_STRUT"),
                            XCB_ATOM_CARDINAL, 32, 4, partial);
        xcb_flush(m_connection);
    }

    void rememberFocus() override {
        xcb_get_input_focus_reply_t *reply =
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
        m_previousFocus = reply ? reply->focus : xcb_window_t(XCB_WINDOW_NONE);
        std::free(reply);
    }

    void takeFocus(QWindow &window) override {
        // Qt's flag change reaches the server before this request on the same connection.
        if (window.handle())
            focusIfViewable(static_cast<xcb_window_t>(window.winId()));
    }

    void restoreFocus() override {
        const xcb_window_t target = std::exchange(m_previousFocus, XCB_WINDOW_NONE);
        if (target != XCB_WINDOW_NONE && target != XCB_INPUT_FOCUS_POINTER_ROOT)
            focusIfViewable(target);
    }

private:
    void focusIfViewable(xcb_window_t target) {
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, target), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (!viewable)
            return;
        xcb_void_cookie_t cookie = xcb_set_input_focus_checked(m_connection, XCB_INPUT_FOCUS_PARENT,
                                                               target, XCB_CURRENT_TIME);
        std::free(xcb_request_check(m_connection, cookie));
    }

    xcb_atom_t atom(const char *name, bool onlyIfExists = false) const {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(m_connection,
                                  xcb_intern_atom(m_connection, onlyIfExists,
                                                  static_cast<uint16_t>(std::strlen(name)), name),
                                  nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    std::vector<xcb_atom_t> ownStates() const {
        return {atom("_NET_WM_STATE_SKIP_TASKBAR"), atom("_NET_WM_STATE_SKIP_PAGER"),
                atom("_NET_WM_STATE_STICKY")};
    }

    std::vector<xcb_atom_t> atomList(xcb_window_t window, xcb_atom_t property) const {
        std::vector<xcb_atom_t> atoms;
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, false, window, property, XCB_ATOM_ATOM, 0, 4096),
            nullptr);
        if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto *data = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
            atoms.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return atoms;
    }

    std::vector<xcb_atom_t> windowStates(xcb_window_t window) const {
        return atomList(window, atom("_NET_WM_STATE"));
    }

    bool rootSupports(xcb_atom_t feature) const {
        const std::vector<xcb_atom_t> supported = atomList(m_root, atom("_NET_SUPPORTED"));
        return std::find(supported.begin(), supported.end(), feature) != supported.end();
    }

    void sendToRoot(xcb_window_t window, xcb_atom_t type, std::initializer_list<uint32_t> data) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        int i = 0;
        for (uint32_t value : data)
            event.data.data32[i++] = value;
        xcb_send_event(m_connection, false, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    xcb_atom_t m_blurAtom = XCB_ATOM_NONE;
    bool m_blurAvailable = false;
    xcb_window_t m_previousFocus = XCB_WINDOW_NONE;
};

} // namespace

std::unique_ptr<OverlayWindowPlatform> makeX11OverlayWindowPlatform() {
    if (auto *x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t *connection = x11->connection())
            return std::make_unique<X11OverlayWindowPlatform>(connection);
    }
    return nullptr;
}

} // namespace Orvinta
