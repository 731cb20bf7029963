#include "InputTestSupport.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace Orvinta::InputTesting {

namespace {

Display *testDisplay() {
    static Display *display = XOpenDisplay(nullptr);
    return display;
}

} // namespace

bool fakeKey(const char *keysym, bool down) {
    Display *display = testDisplay();
    if (!display)
        return false;
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysym));
    if (code == 0 || !XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime))
        return false;
    XSync(display, False);
    return true;
}

bool fakeButton(unsigned int button, bool down) {
    Display *display = testDisplay();
    if (!display || !XTestFakeButtonEvent(display, button, down ? True : False, CurrentTime))
        return false;
    XSync(display, False);
    return true;
}

} // namespace Orvinta::InputTesting
