#include "X11KeyGrabber.h"

#include <OrvintaInput/InputLog.h>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace Orvinta {

unsigned long referenceKeySym(std::uint16_t keyCode) {
    switch (keyCode) {
    case 0:
        return XK_a;
    case 1:
        return XK_s;
    case 2:
        return XK_d;
    case 3:
        return XK_f;
    case 4:
        return XK_h;
    case 5:
        return XK_g;
    case 6:
        return XK_z;
    case 7:
        return XK_x;
    case 8:
        return XK_c;
    case 9:
        return XK_v;
    case 10:
        return XK_section;
    case 11:
        return XK_b;
    case 12:
        return XK_q;
    case 13:
        return XK_w;
    case 14:
        return XK_e;
    case 15:
        return XK_r;
    case 16:
        return XK_y;
    case 17:
        return XK_t;
    case 18:
        return XK_1;
    case 19:
        return XK_2;
    case 20:
        return XK_3;
    case 21:
        return XK_4;
    case 22:
        return XK_6;
    case 23:
        return XK_5;
    case 24:
        return XK_equal;
    case 25:
        return XK_9;
    case 26:
        return XK_7;
    case 27:
        return XK_minus;
    case 28:
        return XK_8;
    case 29:
        return XK_0;
    case 30:
        return XK_bracketright;
    case 31:
        return XK_o;
    case 32:
        return XK_u;
    case 33:
        return XK_bracketleft;
    case 34:
        return XK_i;
    case 35:
        return XK_p;
    case 36:
        return XK_Return;
    case 37:
        return XK_l;
    case 38:
        return XK_j;
    case 39:
        return XK_apostrophe;
    case 40:
        return XK_k;
    case 41:
        return XK_semicolon;
    case 42:
        return XK_backslash;
    case 43:
        return XK_comma;
    case 44:
        return XK_slash;
    case 45:
        return XK_n;
    case 46:
        return XK_m;
    case 47:
        return XK_period;
    case 48:
        return XK_Tab;
    case 49:
        return XK_space;
    case 50:
        return XK_grave;
    case 51:
        return XK_BackSpace;
    case 53:
        return XK_Escape;
    case 64:
        return XK_F17;
    case 65:
        return XK_KP_Decimal;
    case 67:
        return XK_KP_Multiply;
    case 69:
        return XK_KP_Add;
    case 75:
        return XK_KP_Divide;
    case 76:
        return XK_KP_Enter;
    case 78:
        return XK_KP_Subtract;
    case 79:
        return XK_F18;
    case 80:
        return XK_F19;
    case 81:
        return XK_KP_Equal;
    case 82:
        return XK_KP_0;
    case 83:
        return XK_KP_1;
    case 84:
        return XK_KP_2;
    case 85:
        return XK_KP_3;
    case 86:
        return XK_KP_4;
    case 87:
        return XK_KP_5;
    case 88:
        return XK_KP_6;
    case 89:
        return XK_KP_7;
    case 90:
        return XK_F20;
    case 91:
        return XK_KP_8;
    case 92:
        return XK_KP_9;
    case 96:
        return XK_F5;
    case 97:
        return XK_F6;
    case 98:
        return XK_F7;
    case 99:
        return XK_F3;
    case 100:
        return XK_F8;
    case 101:
        return XK_F9;
    case 103:
        return XK_F11;
    case 105:
        return XK_F13;
    case 106:
        return XK_F16;
    case 107:
        return XK_F14;
    case 109:
        return XK_F10;
    case 111:
        return XK_F12;
    case 113:
        return XK_F15;
    case 114:
        return XK_Insert;
    case 115:
        return XK_Home;
    case 116:
        return XK_Prior;
    case 117:
        return XK_Delete;
    case 118:
        return XK_F4;
    case 119:
        return XK_End;
    case 120:
        return XK_F2;
    case 121:
        return XK_Next;
    case 122:
        return XK_F1;
    case 123:
        return XK_Left;
    case 124:
        return XK_Right;
    case 125:
        return XK_Down;
    case 126:
        return XK_Up;
    default:
        return NoSymbol;
    }
}

namespace {

/// control→Control, option→Alt (Mod1), shift→Shift, command→Super (Mod4).
unsigned int xModifiers(std::uint64_t flags) {
    unsigned int mask = 0;
    if (flags & KeyCombo::shift)
        mask |= ShiftMask;
    if (flags & KeyCombo::control)
        mask |= ControlMask;
    if (flags & KeyCombo::option)
        mask |= Mod1Mask;
    if (flags & KeyCombo::command)
        mask |= Mod4Mask;
    return mask;
}

constexpr unsigned int shortcutMask = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

} // namespace

X11KeyGrabber::X11KeyGrabber(std::shared_ptr<X11Connection> connection, QString unavailableReason)
    : m_connection(std::move(connection))
    , m_unavailable(unavailableWithout(m_connection, std::move(unavailableReason))) {
    if (m_connection)
        m_connection->addHandler(this, [this](XEvent &event) { handleEvent(event); });
}

X11KeyGrabber::~X11KeyGrabber() {
    if (!m_connection)
        return;
    while (!m_grabs.empty())
        ungrab(m_grabs.begin()->first);
    m_connection->removeHandlers(this);
}

unsigned int X11KeyGrabber::numLockMask() {
    Display *display = m_connection->display();
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    unsigned int mask = 0;
    if (XModifierKeymap *map = XGetModifierMapping(display)) {
        for (int modifier = 0; modifier < 8 && numLock != 0; ++modifier)
            for (int i = 0; i < map->max_keypermod; ++i)
                if (map->modifiermap[modifier * map->max_keypermod + i] == numLock)
                    mask = 1u << modifier;
        XFreeModifiermap(map);
    }
    return mask != 0 ? mask : Mod2Mask;
}

int X11KeyGrabber::grab(std::uint32_t id, const KeyCombo &combo) {
    if (!m_connection)
        return unavailable;
    ungrab(id);
    Display *display = m_connection->display();
    const KeySym keysym = referenceKeySym(combo.keyCode);
    const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
    if (keycode == 0)
        return noSuchKey;
    const unsigned int modifiers = xModifiers(combo.modifiers);
    const unsigned int numLock = numLockMask();
    const unsigned int variants[] = {0, LockMask, numLock, LockMask | numLock};
    const Window root = m_connection->root();
    const int error = m_connection->checked([&] {
        for (unsigned int variant : variants)
            XGrabKey(display, keycode, modifiers | variant, root, False, GrabModeAsync,
                     GrabModeAsync);
    });
    if (error != 0) {
        // Some variants may have been granted: give them back.
        m_connection->checked([&] {
            for (unsigned int variant : variants)
                XUngrabKey(display, keycode, modifiers | variant, root);
        });
        return error;
    }
    m_grabs[id] = Grab{keycode, modifiers};
    return 0;
}

void X11KeyGrabber::ungrab(std::uint32_t id) {
    const auto found = m_grabs.find(id);
    if (found == m_grabs.end() || !m_connection)
        return;
    const Grab grab = found->second;
    m_grabs.erase(found);
    Display *display = m_connection->display();
    const unsigned int numLock = numLockMask();
    m_connection->checked([&] {
        for (unsigned int variant : {0u, unsigned(LockMask), numLock, LockMask | numLock})
            XUngrabKey(display, grab.keycode, grab.modifiers | variant, m_connection->root());
    });
}

void X11KeyGrabber::handleEvent(XEvent &event) {
    if (event.type != KeyPress)
        return;
    const unsigned int modifiers = event.xkey.state & shortcutMask;
    for (const auto &[id, grab] : m_grabs)
        if (grab.keycode == event.xkey.keycode && grab.modifiers == modifiers) {
            reportPress(id);
            return;
        }
}

} // namespace Orvinta
