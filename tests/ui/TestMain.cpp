#include <OrvintaUi/PanelWindows.h>

#include <QApplication>
#include <QtQml/qqmlextensionplugin.h>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UpdatesPlugin)

// Real windows on $DISPLAY when one answers and no other platform is named,
// else offscreen; software rendering, the same pixels with or without a GPU.
int main(int argc, char **argv) {
    xcb_connection_t *probe =
        qEnvironmentVariableIsEmpty("DISPLAY") ? nullptr : xcb_connect(nullptr, nullptr);
    const bool display = probe && !xcb_connection_has_error(probe);
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen")
        qputenv("QT_QPA_PLATFORM", display ? "xcb" : "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    QApplication app(argc, argv);
    // Closed only now: an X server that lost its last client resets, and
    // refuses connections meanwhile.
    if (probe)
        xcb_disconnect(probe);
    Orvinta::useSymbolIconTheme();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
