#include "InputTestSupport.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace Orvinta::InputTesting {

bool fakeKey(const char *keysym, bool down) {
    static Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysym));
    if (code == 0 || !XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime))
        return false;
    XSync(display, False);
    return true;
}

} // namespace Orvinta::InputTesting
