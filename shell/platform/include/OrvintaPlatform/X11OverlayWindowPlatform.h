#pragma once

#include <OrvintaUi/OverlayWindowPlatform.h>

#include <memory>

namespace Orvinta {

/// The overlay's window-manager hints, blur and focus hand-back on X11, over
/// Qt's xcb connection; none when Qt runs on another platform.
std::unique_ptr<OverlayWindowPlatform> makeX11OverlayWindowPlatform();

} // namespace Orvinta
