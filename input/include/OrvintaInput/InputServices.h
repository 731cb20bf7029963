#pragma once

#include <OrvintaApp/AppServices.h>

#include <memory>

namespace Orvinta {

/// Puts the keyboard services of this desktop into `services`: the global
/// shortcuts (`hotkeys`), paste at the cursor (`paster`) and the hold-key
/// monitor (`setUpDictation`). Call it on the main thread after the Qt
/// application exists and after `services.preferences` is set, and before
/// AppState is constructed; AppState then starts the shortcuts and the
/// monitor itself. Without an X11 display each service says once in the
/// log that it is unavailable and does nothing else.
void installInputServices(AppServices &services);

} // namespace Orvinta
