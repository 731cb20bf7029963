#include <QGuiApplication>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

// Real windows on $DISPLAY when there is one; without it the tests skip.
int main(int argc, char **argv) {
    bool display = false;
    xcb_connection_t *probe = nullptr;
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        probe = xcb_connect(nullptr, nullptr);
        display = probe && !xcb_connection_has_error(probe);
    }
    qputenv("QT_QPA_PLATFORM", display ? "xcb" : "offscreen");
    // Software rendering: the same pixels with or without a GPU.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    QGuiApplication app(argc, argv);
    // Closed only now: an X server that lost its last client resets, and
    // refuses connections meanwhile.
    if (probe)
        xcb_disconnect(probe);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
