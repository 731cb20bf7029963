#include "X11KeyGrabber.h"

#include <OrvintaInput/InputLog.h>

#include <OrvintaApp/KeyTable.h>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace Orvinta {

unsigned long referenceKeySym(std::uint16_t keyCode) {
    const KeyRow *row = keyRowForCode(keyCode);
    return row ? XStringToKeysym(row->keysym) : NoSymbol;
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
    if (!m_connection)
        return;
    m_connection->addHandler(this, [this](XEvent &event) { handleEvent(event); });
    // X repeats a held key as release and press pairs; with detectable
    // auto-repeat only the presses repeat, and a press of a key that is down
    // is plainly a repeat.
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(m_connection->display(), True, &detectable);
    if (!detectable)
        qCWarning(lcHotkey, "The X server cannot tell key repeats: a held shortcut repeats");
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
    if (event.type != KeyPress && event.type != KeyRelease)
        return;
    const unsigned int keycode = event.xkey.keycode;
    if (keycode >= m_down.size())
        return;
    const bool wasDown = m_down.test(keycode);
    m_down.set(keycode, event.type == KeyPress);
    if (event.type == KeyRelease || wasDown)
        return;
    const unsigned int modifiers = event.xkey.state & shortcutMask;
    for (const auto &[id, grab] : m_grabs)
        if (grab.keycode == keycode && grab.modifiers == modifiers) {
            reportPress(id);
            return;
        }
}

} // namespace Orvinta
