#pragma once

class QWindow;

namespace Orvinta {

/// Brings `window` to the front with the keyboard focus, also when another
/// program is active. Qt asks with the time of the last event it saw, which
/// the X server or the window manager turns down once another program has
/// taken the focus since; on X11 the request is therefore repeated as a
/// user's (a pager's) request with the current time.
void activateWindow(QWindow &window);

} // namespace Orvinta
