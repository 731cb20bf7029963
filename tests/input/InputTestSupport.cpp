#include "InputTestSupport.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace Orvinta::InputTesting {

namespace {

Display *testDisplay() {
    static Display *display = XOpenDisplay(nullptr);
    return display;
}

/// True when XTest took the event, which is then on the server.
bool synced(Display *display, bool sent) {
    if (sent)
        XSync(display, False);
    return sent;
}

} // namespace

bool fakeKey(const char *keysym, bool down) {
    Display *display = testDisplay();
    const KeyCode code = display ? XKeysymToKeycode(display, XStringToKeysym(keysym)) : 0;
    return code != 0 && synced(display, XTestFakeKeyEvent(display, code, down, CurrentTime));
}

bool fakeButton(unsigned int button, bool down) {
    Display *display = testDisplay();
    return display && synced(display, XTestFakeButtonEvent(display, button, down, CurrentTime));
}

} // namespace Orvinta::InputTesting
