#pragma once

#include <OrvintaInput/PasteClipboard.h>
#include <OrvintaInput/PasteKeystrokes.h>

#include <QString>

#include <memory>

namespace Orvinta {

/// Paste at the cursor and the clipboard on a Wayland compositor, through a
/// connection of our own read by the main thread's event loop: the paste
/// keystroke through zwp_virtual_keyboard_manager_v1, the clipboard without
/// the focus through zwlr_data_control_manager_v1 (both offered by wlroots
/// compositors). Each back end says why it is unavailable where its global
/// is missing.
struct WaylandKeyboard {
    /// Empty when the compositor offers both; otherwise why paste at the cursor cannot work.
    QString unavailableReason;
    /// Whether WAYLAND_DISPLAY named a compositor that answered.
    bool connected = false;
    /// The globals the compositor offers.
    bool virtualKeyboard = false;
    bool dataControl = false;
    std::unique_ptr<PasteKeystrokes> keystrokes;
    std::unique_ptr<PasteClipboard> clipboard;
};

/// Connects to the compositor named by WAYLAND_DISPLAY. Call on the main
/// thread after the Qt application exists.
WaylandKeyboard openWaylandKeyboard();

} // namespace Orvinta
