#include <OrvintaInput/WaylandKeyboard.h>

#include "WaylandClipboard.h"
#include "WaylandConnection.h"
#include "WaylandPasteKeystrokes.h"

namespace Orvinta {

WaylandKeyboard openWaylandKeyboard() {
    WaylandKeyboard keyboard;
    std::shared_ptr<WaylandConnection> connection =
        WaylandConnection::open(&keyboard.unavailableReason);
    keyboard.connected = connection != nullptr;
    if (connection) {
        keyboard.virtualKeyboard = connection->seat() && connection->virtualKeyboardManager();
        keyboard.dataControl = connection->seat() && connection->dataControlManager();
    }
    // Neither: one reason for both, naming what is missing.
    QString shared = keyboard.unavailableReason;
    if (connection && !keyboard.virtualKeyboard && !keyboard.dataControl)
        shared = QStringLiteral("the compositor offers neither a virtual keyboard "
                                "(zwp_virtual_keyboard_manager_v1) nor clipboard access "
                                "(zwlr_data_control_manager_v1)");
    keyboard.keystrokes = std::make_unique<WaylandPasteKeystrokes>(connection, shared);
    keyboard.clipboard = std::make_unique<WaylandClipboard>(connection, shared);
    keyboard.unavailableReason = keyboard.keystrokes->unavailableReason();
    if (keyboard.unavailableReason.isEmpty())
        keyboard.unavailableReason = keyboard.clipboard->unavailableReason();
    return keyboard;
}

} // namespace Orvinta
