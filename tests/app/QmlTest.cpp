#include "AppTestSupport.h"

#include <QQmlComponent>
#include <QQmlEngine>

using namespace Orvinta;
using namespace Orvinta::Testing;

// Windows are handed AppState and read its typed children, which they may
// neither create nor write.
TEST(Qml, windowsReadTheStateThroughTypedObjects) {
    AppFixture f;
    f.state->addConfirmedLine("Hello there.");
    const QVariantMap handedIn{{QStringLiteral("state"), QVariant::fromValue(f.state.get())}};

    QQmlEngine engine;
    engine.addImportPath(QStringLiteral(ORVINTA_QML_IMPORT_PATH));
    QQmlComponent reader(&engine);
    reader.setData(R"(
        import QtQml
        import Orvinta.App
        QtObject {
            required property AppState state
            property int lines: state.transcript.lineCount
            property string source: state.preferences.selectedSource
            property bool listening: state.listening.isListening
            property bool dictating: state.dictation.isDictating
            property int pasteSource: state.preferences.autoPasteSource
            property int tr: AutoPasteSource.translation
            property int mic: MicPermission.authorized
        })",
                   QUrl());
    std::unique_ptr<QObject> object(reader.createWithInitialProperties(handedIn));
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
        QtObject {
            required property AppState state
            Component.onCompleted: state.preferences.soundEnabled = false
        })",
                   QUrl());
    std::unique_ptr<QObject> written(writer.createWithInitialProperties(handedIn));
    EXPECT_TRUE(f.state->preferences()->soundEnabled());

    QQmlComponent creator(&engine);
    creator.setData("import Orvinta.App\nTranscript {}", QUrl());
    EXPECT_TRUE(creator.isError());
}
