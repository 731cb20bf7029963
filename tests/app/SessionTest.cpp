#include "AppTestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(Session, fileFormatIsCompactUpperCaseAndPrivateAndBurstsEndWithTheNewestOnDisk) {
    AppFixture f;
    f.state->preferences()->setTargetLanguage("es-ES");
    f.state->addConfirmedLine("Grüße \"quoted\"");
    const ConfirmedLine line = f.state->transcript()->confirmedLines().front();
    f.state->setTranslation("Saludos", line.id);
    f.state->sessionSaver().flush();

    const QByteArray bytes = readAll(f.sessionPath());
    EXPECT_FALSE(bytes.contains('\n'));
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();
    const QString idText = line.id.toString(QUuid::WithoutBraces).toUpper();
    const QJsonObject stored = root["lines"].toArray().at(0).toObject();
    EXPECT_EQ(stored["id"].toString(), idText);
    EXPECT_EQ(stored["text"].toString(), line.text);
    EXPECT_EQ(stored["timestamp"].toDouble(), line.timestamp); // exact round trip
    EXPECT_EQ(root["translations"].toObject()[idText].toString(), "Saludos");
    EXPECT_EQ(root["targetLanguage"].toString(), "es-ES");
    const QFile::Permissions permissions = QFile::permissions(f.sessionPath());
    EXPECT_TRUE(permissions.testFlags(QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_FALSE(permissions &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther));

    // A burst of lines ends with the newest on disk.
    for (int i = 1; i <= 300; ++i)
        f.state->addConfirmedLine(QString("Line %1.").arg(i));
    f.state->transcript()->deleteLine(line.id);
    f.settle();
    const SessionData saved = decodeSession(readAll(f.sessionPath()));
    ASSERT_EQ(saved.lines.size(), 300);
    EXPECT_EQ(saved.lines.front().text, "Line 1.");
    EXPECT_EQ(saved.lines.back().text, "Line 300.");

    f.state->transcript()->clearAll();
    f.settle();
    EXPECT_FALSE(QFile::exists(f.sessionPath()));

    // Translations save once after a burst, and at quit.
    f.state->addConfirmedLine("One.");
    f.state->addConfirmedLine("Two.");
    const auto lines = f.state->transcript()->confirmedLines();
    f.settle();
    const QByteArray beforeTranslations = readAll(f.sessionPath());

    f.state->setTranslation("Uno.", lines[0].id);
    spin(std::chrono::milliseconds(20));
    f.state->setTranslation("Dos.", lines[1].id);
    EXPECT_EQ(readAll(f.sessionPath()), beforeTranslations); // still debouncing
    ASSERT_TRUE(waitUntil([&] { return readAll(f.sessionPath()) != beforeTranslations; }));
    EXPECT_EQ(decodeSession(readAll(f.sessionPath())).translations.size(), 2);

    // A translation just before quitting is written at quit, not lost.
    f.state->setTranslation("Dos!", lines[1].id);
    f.state.reset();
    EXPECT_TRUE(decodeSession(readAll(f.sessionPath())).translations.values().contains("Dos!"));
}

// Who said a line is kept where a run told; a file from before speakers, or
// with members of a later version, loads as it is.
TEST(Session, speakersAreKeptWhereTheyAreKnownAndOlderFilesLoadUnchanged) {
    AppFixture f;
    f.state->addConfirmedLine("Hello from me.", "Me");
    f.state->addConfirmedLine("No speaker here.");
    f.state->sessionSaver().flush();
    const QJsonArray stored = QJsonDocument::fromJson(readAll(f.sessionPath()))["lines"].toArray();
    EXPECT_EQ(stored.at(0).toObject()["speaker"].toString(), "Me");
    EXPECT_FALSE(stored.at(1).toObject().contains("speaker")); // as before speakers
    f.restart();
    ASSERT_EQ(f.state->transcript()->lineCount(), 2);
    EXPECT_EQ(f.state->transcript()->confirmedLines().at(0).speaker, "Me");
    EXPECT_EQ(f.state->transcript()->confirmedLines().at(1).speaker, "");

    // A file written before speakers existed, and one with a member and a
    // speaker of a form this version does not know.
    f.state.reset();
    const QByteArray older =
        R"({"lines":[{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"Old line.",)"
        R"("timestamp":700000000.5}],"targetLanguage":"en-US","translations":{}})";
    ASSERT_TRUE(writeFile(f.sessionPath(), older));
    f.restart();
    ASSERT_EQ(f.state->transcript()->lineCount(), 1);
    const ConfirmedLine line = f.state->transcript()->confirmedLines().at(0);
    EXPECT_EQ(line.text, "Old line.");
    EXPECT_EQ(line.timestamp, 700000000.5);
    EXPECT_EQ(line.speaker, "");
    EXPECT_EQ(readAll(f.sessionPath()), older); // loading writes nothing
    EXPECT_EQ(encodeSession(decodeSession(older)), older);
    const SessionData newer = decodeSession(
        R"({"lines":[{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a","timestamp":1,)"
        R"("speaker":{"name":"Me"},"source":"microphone"}],"translations":{},)"
        R"("targetLanguage":"","future":[1]})");
    ASSERT_EQ(newer.lines.size(), 1);
    EXPECT_EQ(newer.lines[0].text, "a");
    EXPECT_EQ(newer.lines[0].speaker, "");
}

TEST(Session, translationsNeedTheSameTargetAndUuidKeysAndAnUnreadableFileIsKeptAside) {
    AppFixture f;
    f.state.reset();
    SessionData data = sessionOf(3, "de-DE");
    ASSERT_TRUE(writeFile(f.sessionPath(), encodeSession(data)));
    f.restart();
    EXPECT_EQ(f.state->transcript()->lineCount(), 3);
    EXPECT_TRUE(f.state->transcript()->translations().isEmpty());

    // Lower-case ids and a key that is no UUID.
    f.state.reset();
    data.targetLanguage = "en-US";
    QByteArray json = encodeSession(data);
    for (const ConfirmedLine &line : data.lines) {
        const QByteArray upper = line.id.toString(QUuid::WithoutBraces).toUpper().toUtf8();
        json.replace(upper, upper.toLower());
    }
    json.replace("\"translations\":{", "\"translations\":{\"not-a-uuid\":\"x\",");
    ASSERT_TRUE(writeFile(f.sessionPath(), json));
    f.restart();
    EXPECT_EQ(f.state->transcript()->confirmedLines(), data.lines);
    EXPECT_EQ(f.state->transcript()->translations().size(), 3);
    EXPECT_EQ(f.state->transcript()->translations().value(data.lines[0].id), "Línea 1");

    // An unreadable file is kept aside, not overwritten.
    f.state.reset();
    const QByteArray broken = R"({"lines":[],"targetLanguage":"en-US"})"; // no "translations"
    ASSERT_TRUE(writeFile(f.sessionPath(), broken));
    f.restart();
    EXPECT_EQ(f.state->transcript()->lineCount(), 0);
    EXPECT_EQ(readAll(f.sessionPath()), broken); // restore leaves it in place

    f.state->addConfirmedLine("New line.");
    f.settle();
    const QStringList backups = QDir(QFileInfo(f.sessionPath()).path())
                                    .entryList({"session.unreadable-*.json"}, QDir::Files);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(readAll(QFileInfo(f.sessionPath()).dir().filePath(backups.front())), broken);
    EXPECT_EQ(decodeSession(readAll(f.sessionPath())).lines.size(), 1);

    for (
        const QByteArray &bad :
        {QByteArray("not json"), QByteArray("[]"),
         QByteArray(
             R"({"lines":[{"id":"x","text":"a","timestamp":1}],"translations":{},"targetLanguage":""})"),
         QByteArray(
             R"({"lines":[{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","text":"a"}],"translations":{},"targetLanguage":""})")})
        EXPECT_THROW(decodeSession(bad), SessionFormatError) << bad.constData();
}
