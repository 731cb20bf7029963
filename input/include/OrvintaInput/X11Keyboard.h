#pragma once

#include <OrvintaInput/KeyGrabber.h>
#include <OrvintaInput/ModifierKeySource.h>
#include <OrvintaInput/PasteKeystrokes.h>

#include <QString>

#include <functional>
#include <memory>

namespace Orvinta {

/// The keyboard back ends of an X11 display, sharing one connection of
/// their own read by the main thread's event loop. Without a display (or
/// without XInput2 or XTest) each back end says once why it is unavailable
/// and does nothing else.
struct X11Keyboard {
    /// Empty when the display opened; otherwise why it did not.
    QString unavailableReason;
    std::unique_ptr<KeyGrabber> grabber;
    std::unique_ptr<PasteKeystrokes> keystrokes;
    /// The hold-key monitor's source, made when dictation is set up.
    std::function<std::unique_ptr<ModifierKeySource>()> makeHoldKeySource;
};

/// Opens the display named by DISPLAY. Call on the main thread after the
/// Qt application exists.
X11Keyboard openX11Keyboard();

} // namespace Orvinta
