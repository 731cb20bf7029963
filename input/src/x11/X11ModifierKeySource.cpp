#include "X11ModifierKeySource.h"

#include <OrvintaInput/InputLog.h>

#include <OrvintaApp/KeyCombo.h>

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <optional>

namespace Orvinta {

bool isKnownKeysym(const QString &keysym) {
    return !keysym.isEmpty() && XStringToKeysym(keysym.toLatin1().constData()) != NoSymbol;
}

X11ModifierKeySource::X11ModifierKeySource(std::shared_ptr<X11Connection> connection,
                                           QString unavailableReason)
    : m_connection(std::move(connection))
    , m_unavailable(unavailableWithout(m_connection, std::move(unavailableReason))) {
    if (!m_connection)
        return;
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 2;
    if (!XQueryExtension(m_connection->display(), "XInputExtension", &m_xiOpcode, &event, &error) ||
        XIQueryVersion(m_connection->display(), &major, &minor) != Success) {
        m_unavailable = QStringLiteral("the X server has no XInput 2");
        return;
    }
    m_connection->addHandler(this, [this](XEvent &e) { handleEvent(e); });
}

X11ModifierKeySource::~X11ModifierKeySource() {
    stop();
    if (m_connection)
        m_connection->removeHandlers(this);
}

bool X11ModifierKeySource::start(const QString &holdKey, QString *error) {
    if (!m_unavailable.isEmpty()) {
        if (error)
            *error = m_unavailable;
        return false;
    }
    stop();
    const KeySym holdSym = XStringToKeysym(holdKey.toLatin1().constData());
    if (holdKey.isEmpty() || holdSym == NoSymbol) {
        if (error)
            *error = QStringLiteral("\"%1\" is not an X keysym name").arg(holdKey);
        return false;
    }
    Display *display = m_connection->display();
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    m_flagOf.fill(0);
    bool found = false;
    for (int code = minCode; code <= maxCode && code < 256; ++code) {
        // Level 0 of the first group: the key's own symbol, not a shifted one.
        const KeySym sym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(code), 0, 0);
        std::uint64_t flag = 0;
        if (sym == holdSym) {
            flag = holdKeyFlag;
            found = true;
        } else if (sym == XK_Shift_L || sym == XK_Shift_R) {
            flag = KeyCombo::shift;
        } else if (sym == XK_Control_L || sym == XK_Control_R) {
            flag = KeyCombo::control;
        } else if (sym == XK_Alt_L || sym == XK_Alt_R || sym == XK_Meta_L || sym == XK_Meta_R) {
            flag = KeyCombo::option;
        } else if (sym == XK_Super_L || sym == XK_Super_R) {
            flag = KeyCombo::command;
        }
        m_flagOf[static_cast<std::size_t>(code)] = flag;
    }
    if (!found) {
        if (error)
            *error = QStringLiteral("the keyboard has no %1 key").arg(holdKey);
        return false;
    }
    // Keys already down when watching begins count as down.
    char keys[32] = {};
    XQueryKeymap(display, keys);
    m_down.reset();
    for (std::size_t code = 0; code < 256; ++code)
        if (keys[code / 8] & (1 << (code % 8)))
            m_down.set(code);
    m_lastFlags = currentFlags();
    selectRawEvents(true);
    m_running = true;
    return true;
}

void X11ModifierKeySource::stop() {
    if (!m_running)
        return;
    selectRawEvents(false);
    m_running = false;
}

void X11ModifierKeySource::selectRawEvents(bool on) {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (on) {
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XISetMask(bits, XI_RawButtonPress);
    }
    XIEventMask mask;
    mask.deviceid = XIAllDevices;
    mask.mask_len = sizeof(bits);
    mask.mask = bits;
    Display *display = m_connection->display();
    const Window root = m_connection->root();
    const int error = m_connection->checked([&] { XISelectEvents(display, root, &mask, 1); });
    if (error != 0)
        qCWarning(lcDictationKey, "Selecting raw key events failed: X error %d", error);
}

std::uint64_t X11ModifierKeySource::currentFlags() const {
    std::uint64_t flags = 0;
    for (std::size_t code = 0; code < 256; ++code)
        if (m_down.test(code))
            flags |= m_flagOf[code];
    return flags;
}

void X11ModifierKeySource::handleEvent(XEvent &event) {
    if (!m_running || event.type != GenericEvent || event.xcookie.extension != m_xiOpcode)
        return;
    Display *display = m_connection->display();
    if (!XGetEventData(display, &event.xcookie))
        return;
    const int type = event.xcookie.evtype;
    const auto *raw = static_cast<const XIRawEvent *>(event.xcookie.data);
    // Each event comes from its device and again from the master device it
    // drives; the device's own copy counts.
    const bool own = raw->deviceid == raw->sourceid;
    const auto code = static_cast<std::size_t>(raw->detail);
    bool otherPressed = false;
    std::optional<std::uint64_t> changedFlags;
    if (own && type == XI_RawButtonPress) {
        otherPressed = true;
    } else if (own && (type == XI_RawKeyPress || type == XI_RawKeyRelease) && code < 256) {
        const bool down = type == XI_RawKeyPress;
        // A press of a key already down is a key repeat: nothing new.
        otherPressed = down && !m_down.test(code) && m_flagOf[code] == 0;
        m_down.set(code, down);
        const std::uint64_t flags = currentFlags();
        // A second Shift says nothing new either.
        if (flags != m_lastFlags)
            changedFlags = m_lastFlags = flags;
    }
    // The handlers may stop this source: the event data goes first.
    XFreeEventData(display, &event.xcookie);
    if (changedFlags)
        reportFlags(*changedFlags);
    if (otherPressed)
        reportOtherPress();
}

} // namespace Orvinta
