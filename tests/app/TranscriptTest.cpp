#include "AppTestSupport.h"

#include <OrvintaEngine/ResultConfirmation.h>

#include <QFile>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(Transcript, addConfirmedLineTrimsAppendsSavesAndInsertsOneRow) {
    AppFixture f;
    AppState &s = *f.state;
    s.setInterimText("Hello wor");
    QSignalSpy lines(s.transcript(), &Transcript::lineCountChanged);

    s.addConfirmedLine("  \n ");
    EXPECT_EQ(lines.count(), 0);
    EXPECT_EQ(s.transcript()->interimText(), "Hello wor");

    const double before = currentTimestamp();
    s.addConfirmedLine("  Hello world. \u00A0");
    ASSERT_EQ(s.transcript()->lineCount(), 1);
    const ConfirmedLine &line = s.transcript()->confirmedLines().front();
    EXPECT_EQ(line.text, "Hello world.");
    EXPECT_FALSE(line.id.isNull());
    EXPECT_GE(line.timestamp, before - 0.001);
    EXPECT_LE(line.timestamp, currentTimestamp() + 0.001);
    EXPECT_TRUE(s.transcript()->interimText().isEmpty());
    EXPECT_EQ(lines.count(), 1);

    // A new line inserts one row; a translation updates only its row.
    Transcript &model = *s.transcript();
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    s.addConfirmedLine("Second  line here.");
    EXPECT_NE(model.confirmedLines()[0].id, model.confirmedLines()[1].id);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0].mid(1), (QVariantList{1, 1})); // the second row only
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(model.totalWordCount(), 5);

    const QModelIndex second = model.index(1);
    EXPECT_EQ(model.data(second, Transcript::TextRole).toString(), "Second  line here.");
    s.setTranslation("Segunda línea.", model.confirmedLines()[1].id);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), second);
    EXPECT_EQ(model.data(second, Transcript::TranslationRole).toString(), "Segunda línea.");
}

TEST(Transcript, autoCopyAndAutoPasteChooseOneOutlet) {
    AppFixture f;
    AppState &s = *f.state;

    s.preferences()->setAutoCopyToClipboard(true);
    s.addConfirmedLine("First.");
    s.addConfirmedLine("Second.");
    EXPECT_EQ(f.clipboard->text, "Second.");
    EXPECT_EQ(f.clipboard->clears, 2);
    EXPECT_TRUE(f.paster->pasted.empty());

    // Pasting the original replaces the copy step.
    s.preferences()->setAutoCopyToClipboard(false);
    s.preferences()->setAutoPasteAtCursor(true);
    s.addConfirmedLine("Pasted.");
    EXPECT_EQ(f.paster->pasted, std::vector<QString>{"Pasted."});
    EXPECT_EQ(f.clipboard->clears, 2);
    // A paste that fails says where the text still is.
    f.paster->failure = "the clipboard did not answer";
    s.addConfirmedLine("Unpasted.");
    EXPECT_EQ(s.listening()->errorMessageText(),
              "Could not paste: the clipboard did not answer; the text is in the transcript");
    f.paster->failure.clear();

    // Pasting translations waits for the translation; copy still copies the text.
    s.preferences()->setAutoPasteSource(AutoPasteSource::translation);
    s.preferences()->setAutoCopyToClipboard(true);
    s.addConfirmedLine("Waits.");
    EXPECT_EQ(f.paster->pasted.size(), 1u);
    EXPECT_EQ(f.clipboard->text, "Waits.");
    const QUuid id = s.transcript()->confirmedLines().back().id;
    s.setTranslation("Espera.", id);
    s.setTranslation("Espera otra vez.", id); // a replacement never pastes
    EXPECT_EQ(f.paster->pasted.back(), "Espera.");
    EXPECT_EQ(f.paster->pasted.size(), 2u);
    EXPECT_EQ(s.transcript()->translations().value(id), "Espera otra vez.");
}

TEST(Transcript, deleteClearAndWordCount) {
    AppFixture f;
    AppState &s = *f.state;
    Transcript &t = *s.transcript();
    s.addConfirmedLine("a  b");
    s.addConfirmedLine("c");
    s.addConfirmedLine("你好世界 tab\there");
    EXPECT_EQ(t.totalWordCount(), 6);

    const ConfirmedLine first = t.confirmedLines().front();
    s.setTranslation("x y", first.id);
    s.setTranslation("z", t.confirmedLines()[1].id);
    t.deleteLine(t.confirmedLines().front().id); // an id inside the list being changed
    EXPECT_EQ(t.lineCount(), 2);
    EXPECT_FALSE(t.translations().contains(first.id));
    EXPECT_EQ(t.translations().value(t.confirmedLines().front().id), "z");
    EXPECT_EQ(t.confirmedLines().front().text, "c");
    t.deleteLine(first.id); // already gone: nothing changes
    EXPECT_EQ(t.lineCount(), 2);

    t.deleteLine(t.confirmedLines().front().id);
    t.deleteLine(t.confirmedLines().front().id);
    f.settle();
    EXPECT_FALSE(QFile::exists(f.sessionPath())); // the last line took the file with it

    s.addConfirmedLine("More.");
    s.setInterimText("typing");
    t.clearAll();
    EXPECT_EQ(t.lineCount(), 0);
    EXPECT_TRUE(t.interimText().isEmpty());
    EXPECT_TRUE(t.translations().isEmpty());
    EXPECT_EQ(t.totalWordCount(), 0); // the file goes as in SessionTest
}

TEST(Transcript, dictationCollectsIntoTheBufferAndWhatWasSaidStaysOutOfTheDefaultLog) {
    AppFixture f;
    AppState &s = *f.state;
    LogCapture log;
    // Dictation collects into its buffer instead.
    s.dictation()->setIsDictating(true);
    s.setInterimText("Hel");
    EXPECT_EQ(s.dictation()->dictationInterimText(), "Hel");
    s.addConfirmedLine("Hello");
    s.addConfirmedLine(" world ");
    EXPECT_EQ(s.dictation()->dictationBuffer(), "Hello world");
    EXPECT_TRUE(s.dictation()->dictationInterimText().isEmpty());
    EXPECT_TRUE(s.transcript()->interimText().isEmpty());
    EXPECT_EQ(s.transcript()->lineCount(), 0);
    EXPECT_FALSE(QFile::exists(f.sessionPath()));
    EXPECT_FALSE(f.clipboard->text);
    s.dictation()->setIsDictating(false);

    s.setInterimText("private wor");
    s.addConfirmedLine("Private words.");
    s.dictation()->setIsDictating(true);
    s.addConfirmedLine("Dictated secret.");
    ResultConfirmation engineSide([]() -> STTEngineDelegate * { return nullptr; });
    engineSide.handleVolatileResult("Private sentence one. And");
    engineSide.handleFinalResult({true, {{"Private sentence two", std::nullopt}}});

    EXPECT_EQ(log.count("addConfirmedLine"), 1) << log.all().toStdString();
    EXPECT_FALSE(log.contains("rivate") || log.contains("secret")) << log.all().toStdString();
}
