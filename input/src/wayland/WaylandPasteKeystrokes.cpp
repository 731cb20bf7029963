#include "WaylandPasteKeystrokes.h"

#include <OrvintaInput/InputLog.h>

#include "virtual-keyboard-unstable-v1-client.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

namespace Orvinta {

namespace {

// Only the three keys a paste presses, complete in itself: the compositor
// needs no keyboard description files to compile it, and the focused
// window reads V as V whatever the user's layout.
constexpr char keymapText[] = R"(xkb_keymap {
    xkb_keycodes "orvinta" {
        minimum = 8;
        maximum = 255;
        <LCTL> = 37;
        <LFSH> = 50;
        <AB04> = 55;
    };
    xkb_types "orvinta" {
        type "ONE_LEVEL" {
            modifiers = none;
            level_name[Level1] = "Any";
        };
        type "ALPHABETIC" {
            modifiers = Shift+Lock;
            map[Shift] = Level2;
            map[Lock] = Level2;
            level_name[Level1] = "Base";
            level_name[Level2] = "Caps";
        };
    };
    xkb_compatibility "orvinta" {
        interpret Control_L { action = SetMods(modifiers = Control); };
        interpret Shift_L { action = SetMods(modifiers = Shift); };
    };
    xkb_symbols "orvinta" {
        key <LCTL> { [ Control_L ] };
        key <LFSH> { [ Shift_L ] };
        key <AB04> { type = "ALPHABETIC", [ v, V ] };
        modifier_map Control { <LCTL> };
        modifier_map Shift { <LFSH> };
    };
};
)";

// Linux input event codes of those keys (XKB keycodes less 8).
constexpr uint32_t keyLeftControl = 29;
constexpr uint32_t keyLeftShift = 42;
constexpr uint32_t keyV = 47;
constexpr uint32_t released = 0;
constexpr uint32_t pressed = 1;

struct XkbContextDeleter {
    void operator()(xkb_context *context) const { xkb_context_unref(context); }
};
struct XkbKeymapDeleter {
    void operator()(xkb_keymap *keymap) const { xkb_keymap_unref(keymap); }
};

uint32_t milliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

} // namespace

WaylandPasteKeystrokes::WaylandPasteKeystrokes(std::shared_ptr<WaylandConnection> connection,
                                               QString unavailableReason)
    : m_connection(std::move(connection))
    , m_unavailable(std::move(unavailableReason)) {
    if (!m_unavailable.isEmpty())
        return;
    if (!m_connection) {
        m_unavailable = QStringLiteral("no Wayland display");
        return;
    }
    if (!m_connection->seat() || !m_connection->virtualKeyboardManager()) {
        m_unavailable = QStringLiteral(
            "the compositor offers no virtual keyboard (zwp_virtual_keyboard_manager_v1)");
        return;
    }
    m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
        m_connection->virtualKeyboardManager(), m_connection->seat());
    if (!uploadKeymap())
        return;
    // A compositor that refuses virtual keyboards to this program ends the connection here.
    if (!m_connection->roundtrip())
        m_unavailable = QStringLiteral("the compositor refused a virtual keyboard: %1")
                            .arg(m_connection->brokenReason());
}

WaylandPasteKeystrokes::~WaylandPasteKeystrokes() {
    if (m_keyboard) {
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
        m_connection->flush();
    }
}

bool WaylandPasteKeystrokes::uploadKeymap() {
    std::unique_ptr<xkb_context, XkbContextDeleter> context(
        xkb_context_new(static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES |
                                                       XKB_CONTEXT_NO_ENVIRONMENT_NAMES)));
    std::unique_ptr<xkb_keymap, XkbKeymapDeleter> keymap(
        context ? xkb_keymap_new_from_string(context.get(), keymapText, XKB_KEYMAP_FORMAT_TEXT_V1,
                                             XKB_KEYMAP_COMPILE_NO_FLAGS)
                : nullptr);
    if (!keymap) {
        m_unavailable = QStringLiteral("the paste keymap does not compile");
        return false;
    }
    m_controlMask = 1u << xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_CTRL);
    m_shiftMask = 1u << xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_SHIFT);
    std::unique_ptr<char, decltype(&std::free)> text(
        xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1), &std::free);
    // The compositor maps the keymap from a file; its size counts the final NUL.
    const size_t size = text ? std::strlen(text.get()) + 1 : 0;
    const int fd = memfd_create("orvinta-keymap", MFD_CLOEXEC);
    bool written = fd >= 0 && size > 0;
    for (size_t done = 0; written && done < size;) {
        const ssize_t n = ::write(fd, text.get() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        done += written ? static_cast<size_t>(n) : 0;
    }
    if (!written) {
        m_unavailable = QStringLiteral("the paste keymap could not be handed to the compositor: %1")
                            .arg(QString::fromLocal8Bit(strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                   static_cast<uint32_t>(size));
    // The request carries its own copy of the descriptor.
    m_connection->flush();
    ::close(fd);
    return true;
}

QString WaylandPasteKeystrokes::unavailableReason() const {
    if (!m_unavailable.isEmpty())
        return m_unavailable;
    return m_connection->brokenReason();
}

bool WaylandPasteKeystrokes::sendPaste(PasteShortcut shortcut) {
    if (!unavailableReason().isEmpty())
        return false;
    const bool withShift = shortcut == PasteShortcut::ctrlShiftV;
    const uint32_t modifiers = m_controlMask | (withShift ? m_shiftMask : 0);
    const uint32_t time = milliseconds();
    zwp_virtual_keyboard_v1_key(m_keyboard, time, keyLeftControl, pressed);
    if (withShift)
        zwp_virtual_keyboard_v1_key(m_keyboard, time, keyLeftShift, pressed);
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, modifiers, 0, 0, 0);
    zwp_virtual_keyboard_v1_key(m_keyboard, time, keyV, pressed);
    zwp_virtual_keyboard_v1_key(m_keyboard, time, keyV, released);
    if (withShift)
        zwp_virtual_keyboard_v1_key(m_keyboard, time, keyLeftShift, released);
    zwp_virtual_keyboard_v1_key(m_keyboard, time, keyLeftControl, released);
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, 0);
    // Sent only once the compositor has taken the keys.
    if (m_connection->roundtrip())
        return true;
    qCWarning(lcPaste, "Wayland: the paste keystroke was not taken: %s",
              qUtf8Printable(m_connection->brokenReason()));
    return false;
}

} // namespace Orvinta
