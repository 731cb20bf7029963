#include <OrvintaUi/PanelWindows.h>

#include <QApplication>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Orvinta_AppPlugin)
Q_IMPORT_QML_PLUGIN(Orvinta_UiPlugin)

// Widgets for the save dialog, an event loop for timers and tasks.
int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Orvinta::useSymbolIconTheme();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
