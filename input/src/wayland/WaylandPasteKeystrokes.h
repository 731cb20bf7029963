#pragma once

#include "WaylandConnection.h"

#include <OrvintaInput/PasteKeystrokes.h>

struct zwp_virtual_keyboard_v1;

namespace Orvinta {

/// The paste keystroke through a virtual keyboard of our own
/// (zwp_virtual_keyboard_v1, offered by wlroots compositors such as sway and
/// Hyprland), with a keymap that has only the keys it presses. Wayland does
/// not tell which window has the focus: terminals get Ctrl+Shift+V only
/// through the paste-shortcut preference.
class WaylandPasteKeystrokes : public PasteKeystrokes {
public:
    WaylandPasteKeystrokes(std::shared_ptr<WaylandConnection> connection,
                           QString unavailableReason);
    ~WaylandPasteKeystrokes() override;

    QString unavailableReason() const override;
    QStringList focusedWindowClass() override { return {}; }
    bool sendPaste(PasteShortcut shortcut) override;
    /// The clipboard answers for itself (WaylandClipboard).
    bool clipboardHasOwner() override { return false; }

private:
    bool uploadKeymap();

    std::shared_ptr<WaylandConnection> m_connection;
    QString m_unavailable;
    zwp_virtual_keyboard_v1 *m_keyboard = nullptr;
    uint32_t m_controlMask = 0;
    uint32_t m_shiftMask = 0;
};

} // namespace Orvinta
