#include "AppTestSupport.h"

#include <QQmlComponent>
#include <QQmlEngine>

#include <gtest/gtest.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

// Windows see AppState as a singleton with typed children that they may read
// but neither create nor write.
TEST(Qml, windowsReadTheStateThroughTypedObjects) {
    AppFixture f;
    AppState::setInstance(f.state.get());
    f.state->addConfirmedLine("Hello there.");

    QQmlEngine engine;
    engine.addImportPath(QStringLiteral(ORVINTA_QML_IMPORT_PATH));
    QQmlComponent reader(&engine);
    reader.setData(R"(
        import QtQml
        import Orvinta.App
        QtObject {
            property int lines: AppState.transcript.lineCount
            property string source: AppState.preferences.selectedSource
            property bool listening: AppState.listening.isListening
            property bool dictating: AppState.dictation.isDictating
            property int pasteSource: AppState.preferences.autoPasteSource
            property int tr: AutoPasteSource.translation
            property int mic: MicPermission.authorized
        })",
                   QUrl());
    std::unique_ptr<QObject> object(reader.create());
    ASSERT_TRUE(object) << reader.errorString().toStdString();
    EXPECT_EQ(object->property("lines").toInt(), 1);
    EXPECT_EQ(object->property("source").toString(), "systemAudio");
    EXPECT_FALSE(object->property("listening").toBool());
    EXPECT_EQ(object->property("pasteSource").toInt(), 0);
    EXPECT_EQ(object->property("tr").toInt(), 1);
    EXPECT_EQ(object->property("mic").toInt(), 3);
    f.state->addConfirmedLine("And again.");
    EXPECT_EQ(object->property("lines").toInt(), 2);

    QQmlComponent writer(&engine);
    writer.setData(R"(
        import QtQml
        import Orvinta.App
        QtObject { Component.onCompleted: AppState.preferences.soundEnabled = false })",
                   QUrl());
    std::unique_ptr<QObject> written(writer.create());
    EXPECT_TRUE(f.state->preferences()->soundEnabled());

    QQmlComponent creator(&engine);
    creator.setData("import Orvinta.App\nTranscript {}", QUrl());
    EXPECT_TRUE(creator.isError());
    AppState::setInstance(nullptr);
}
