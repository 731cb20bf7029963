#include "AppTestSupport.h"

#include <OrvintaEngine/ResultConfirmation.h>

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(Transcript, addConfirmedLineTrimsAppendsAndSaves) {
    AppFixture f;
    AppState &s = *f.state;
    s.setInterimText(QStringLiteral("Hello wor"));
    QSignalSpy lines(s.transcript(), &Transcript::lineCountChanged);

    s.addConfirmedLine(QStringLiteral("  \n "));
    EXPECT_EQ(lines.count(), 0);
    EXPECT_EQ(s.transcript()->interimText(), QStringLiteral("Hello wor"));
    EXPECT_FALSE(QFile::exists(f.sessionPath()));

    const double before = currentTimestamp();
    s.addConfirmedLine(QStringLiteral("  Hello world. \u00A0"));
    ASSERT_EQ(s.transcript()->lineCount(), 1);
    const ConfirmedLine &line = s.transcript()->confirmedLines().front();
    EXPECT_EQ(line.text, QStringLiteral("Hello world."));
    EXPECT_FALSE(line.id.isNull());
    EXPECT_GE(line.timestamp, before - 0.001);
    EXPECT_LE(line.timestamp, currentTimestamp() + 0.001);
    EXPECT_TRUE(s.transcript()->interimText().isEmpty());
    EXPECT_EQ(lines.count(), 1);
    f.settle();
    EXPECT_TRUE(QFile::exists(f.sessionPath()));

    s.addConfirmedLine(QStringLiteral("Again."));
    EXPECT_NE(s.transcript()->confirmedLines()[0].id, s.transcript()->confirmedLines()[1].id);
}

TEST(Transcript, dictationCollectsIntoTheBufferInstead) {
    AppFixture f;
    AppState &s = *f.state;
    s.dictation()->setIsDictating(true);
    s.setInterimText(QStringLiteral("Hel"));
    EXPECT_EQ(s.dictation()->dictationInterimText(), QStringLiteral("Hel"));
    s.addConfirmedLine(QStringLiteral("Hello"));
    s.addConfirmedLine(QStringLiteral(" world "));
    EXPECT_EQ(s.dictation()->dictationBuffer(), QStringLiteral("Hello world"));
    EXPECT_TRUE(s.dictation()->dictationInterimText().isEmpty());
    EXPECT_TRUE(s.transcript()->interimText().isEmpty());
    EXPECT_EQ(s.transcript()->lineCount(), 0);
    EXPECT_FALSE(QFile::exists(f.sessionPath()));
    EXPECT_FALSE(f.clipboard->text);
}

TEST(Transcript, autoCopyAndAutoPasteChooseOneOutlet) {
    AppFixture f;
    AppState &s = *f.state;

    s.preferences()->setAutoCopyToClipboard(true);
    s.addConfirmedLine(QStringLiteral("First."));
    s.addConfirmedLine(QStringLiteral("Second."));
    EXPECT_EQ(f.clipboard->text, QStringLiteral("Second."));
    EXPECT_EQ(f.clipboard->clears, 2);
    EXPECT_TRUE(f.paster->pasted.empty());

    // Pasting the original replaces the copy step.
    s.preferences()->setAutoCopyToClipboard(false);
    s.preferences()->setAutoPasteAtCursor(true);
    s.addConfirmedLine(QStringLiteral("Pasted."));
    EXPECT_EQ(f.paster->pasted, std::vector<QString>{QStringLiteral("Pasted.")});
    EXPECT_EQ(f.clipboard->clears, 2);

    // Pasting translations waits for the translation; copy still copies the text.
    s.preferences()->setAutoPasteSource(AutoPasteSource::translation);
    s.preferences()->setAutoCopyToClipboard(true);
    s.addConfirmedLine(QStringLiteral("Waits."));
    EXPECT_EQ(f.paster->pasted.size(), 1u);
    EXPECT_EQ(f.clipboard->text, QStringLiteral("Waits."));
    const QUuid id = s.transcript()->confirmedLines().back().id;
    s.setTranslation(QStringLiteral("Espera."), id);
    s.setTranslation(QStringLiteral("Espera otra vez."), id); // a replacement never pastes
    EXPECT_EQ(f.paster->pasted.back(), QStringLiteral("Espera."));
    EXPECT_EQ(f.paster->pasted.size(), 2u);
    EXPECT_EQ(s.transcript()->translations().value(id), QStringLiteral("Espera otra vez."));
}

TEST(Transcript, deleteClearAndWordCount) {
    AppFixture f;
    AppState &s = *f.state;
    s.addConfirmedLine(QStringLiteral("a  b"));
    s.addConfirmedLine(QStringLiteral("c"));
    s.addConfirmedLine(QStringLiteral("你好世界 tab\there"));
    EXPECT_EQ(s.transcript()->totalWordCount(), 6);

    const ConfirmedLine first = s.transcript()->confirmedLines().front();
    s.setTranslation(QStringLiteral("x y"), first.id);
    s.setTranslation(QStringLiteral("z"), s.transcript()->confirmedLines()[1].id);
    s.transcript()->deleteLine(s.transcript()
                                   ->confirmedLines()
                                   .front()
                                   .id); // an id that lives inside the list being changed
    EXPECT_EQ(s.transcript()->lineCount(), 2);
    EXPECT_FALSE(s.transcript()->translations().contains(first.id));
    EXPECT_EQ(s.transcript()->translations().value(s.transcript()->confirmedLines().front().id),
              QStringLiteral("z"));
    EXPECT_EQ(s.transcript()->confirmedLines().front().text, QStringLiteral("c"));
    s.transcript()->deleteLine(first.id); // already gone: nothing changes
    EXPECT_EQ(s.transcript()->lineCount(), 2);

    s.transcript()->deleteLine(s.transcript()->confirmedLines().front().id);
    s.transcript()->deleteLine(s.transcript()->confirmedLines().front().id);
    f.settle();
    EXPECT_FALSE(QFile::exists(f.sessionPath())); // the last line took the file with it

    s.addConfirmedLine(QStringLiteral("More."));
    s.setInterimText(QStringLiteral("typing"));
    s.transcript()->clearAll();
    EXPECT_EQ(s.transcript()->lineCount(), 0);
    EXPECT_TRUE(s.transcript()->interimText().isEmpty());
    EXPECT_TRUE(s.transcript()->translations().isEmpty());
    EXPECT_EQ(s.transcript()->totalWordCount(), 0);
    f.settle();
    EXPECT_FALSE(QFile::exists(f.sessionPath()));
}

TEST(Transcript, aNewLineInsertsOneRowAndATranslationUpdatesOnlyItsRow) {
    AppFixture f;
    AppState &s = *f.state;
    Transcript &model = *s.transcript();
    s.addConfirmedLine(QStringLiteral("First line."));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    s.addConfirmedLine(QStringLiteral("Second  line here."));
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 1);
    EXPECT_EQ(inserted[0][2].toInt(), 1);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(model.totalWordCount(), 5);

    const QModelIndex second = model.index(1);
    EXPECT_EQ(model.data(second, Transcript::TextRole).toString(),
              QStringLiteral("Second  line here."));
    s.setTranslation(QStringLiteral("Segunda línea."), model.confirmedLines()[1].id);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), second);
    EXPECT_EQ(model.data(second, Transcript::TranslationRole).toString(),
              QStringLiteral("Segunda línea."));
    EXPECT_EQ(model.roleNames().value(Transcript::TranslationRole), QByteArray("translation"));
}

TEST(Transcript, propertiesNotifyOnlyOnChangeButAlwaysPersist) {
    AppFixture f;
    AppState &s = *f.state;
    QSignalSpy changed(s.preferences(), &Preferences::soundEnabledChanged);
    f.preferences->setBool(QStringLiteral("app.soundEnabled"), false); // written behind its back
    s.preferences()->setSoundEnabled(true);                            // equal value: no signal...
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(f.preferences->boolValue(QStringLiteral("app.soundEnabled"))); // ...but written
    s.preferences()->setSoundEnabled(false);
    EXPECT_EQ(changed.count(), 1);
}

namespace {
QStringList capturedLog;
void capture(QtMsgType, const QMessageLogContext &, const QString &message) {
    capturedLog << message;
}
} // namespace

TEST(Transcript, whatWasSaidStaysOutOfTheDefaultLog) {
    AppFixture f;
    AppState &s = *f.state;
    capturedLog.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    s.setInterimText(QStringLiteral("private wor"));
    s.addConfirmedLine(QStringLiteral("Private words."));
    s.dictation()->setIsDictating(true);
    s.addConfirmedLine(QStringLiteral("Dictated secret."));
    ResultConfirmation engineSide([]() -> STTEngineDelegate * { return nullptr; });
    engineSide.handleVolatileResult("Private sentence one. And");
    engineSide.handleFinalResult({true, {{"Private sentence two", std::nullopt}}});
    qInstallMessageHandler(previous);

    EXPECT_TRUE(capturedLog.filter(QStringLiteral("addConfirmedLine")).size() == 1)
        << capturedLog.join(QLatin1Char('\n')).toStdString();
    for (const QString &message : capturedLog) {
        EXPECT_FALSE(message.contains(QStringLiteral("rivate"))) << message.toStdString();
        EXPECT_FALSE(message.contains(QStringLiteral("secret"))) << message.toStdString();
    }
}
