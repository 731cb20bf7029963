#pragma once

#include <OrvintaApp/AppServices.h>

namespace Orvinta {

/// The real services of this desktop: QSettings, the X clipboard, the
/// session file in the XDG data home, PulseAudio, PocketSphinx, the tones.
AppServices desktopServices();

} // namespace Orvinta
