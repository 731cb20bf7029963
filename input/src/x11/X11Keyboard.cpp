#include <OrvintaInput/X11Keyboard.h>

#include "X11Connection.h"
#include "X11KeyGrabber.h"
#include "X11ModifierKeySource.h"
#include "X11PasteKeystrokes.h"

namespace Orvinta {

X11Keyboard openX11Keyboard() {
    X11Keyboard keyboard;
    std::shared_ptr<X11Connection> connection = X11Connection::open(&keyboard.unavailableReason);
    const QString reason = keyboard.unavailableReason;
    keyboard.grabber = std::make_unique<X11KeyGrabber>(connection, reason);
    keyboard.keystrokes = std::make_unique<X11PasteKeystrokes>(connection, reason);
    keyboard.makeHoldKeySource = [connection, reason]() -> std::unique_ptr<ModifierKeySource> {
        return std::make_unique<X11ModifierKeySource>(connection, reason);
    };
    return keyboard;
}

} // namespace Orvinta
