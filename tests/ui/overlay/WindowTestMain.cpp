#include <QGuiApplication>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

// Real windows on $DISPLAY when there is one; without it the tests skip.
int main(int argc, char **argv) {
    bool display = false;
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        display = connection && !xcb_connection_has_error(connection);
        if (connection)
            xcb_disconnect(connection);
    }
    qputenv("QT_QPA_PLATFORM", display ? "xcb" : "offscreen");
    // Software rendering: the same pixels with or without a GPU.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
