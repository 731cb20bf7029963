#include "AppTestSupport.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(Transcript, addConfirmedLineTrimsAppendsAndSaves) {
    AppFixture f;
    AppState &s = *f.state;
    s.setInterimText(QStringLiteral("Hello wor"));
    QSignalSpy lines(&s, &AppState::confirmedLinesChanged);

    s.addConfirmedLine(QStringLiteral("  \n "));
    EXPECT_EQ(lines.count(), 0);
    EXPECT_EQ(s.interimText(), QStringLiteral("Hello wor"));
    EXPECT_FALSE(QFile::exists(f.sessionPath()));

    const double before = currentTimestamp();
    s.addConfirmedLine(QStringLiteral("  Hello world. \u00A0"));
    ASSERT_EQ(s.lineCount(), 1);
    const ConfirmedLine &line = s.confirmedLines().front();
    EXPECT_EQ(line.text, QStringLiteral("Hello world."));
    EXPECT_FALSE(line.id.isNull());
    EXPECT_GE(line.timestamp, before - 0.001);
    EXPECT_LE(line.timestamp, currentTimestamp() + 0.001);
    EXPECT_TRUE(s.interimText().isEmpty());
    EXPECT_EQ(lines.count(), 1);
    EXPECT_TRUE(QFile::exists(f.sessionPath()));

    s.addConfirmedLine(QStringLiteral("Again."));
    EXPECT_NE(s.confirmedLines()[0].id, s.confirmedLines()[1].id);
}

TEST(Transcript, dictationCollectsIntoTheBufferInstead) {
    AppFixture f;
    AppState &s = *f.state;
    s.setIsDictating(true);
    s.setInterimText(QStringLiteral("Hel"));
    EXPECT_EQ(s.dictationInterimText(), QStringLiteral("Hel"));
    s.addConfirmedLine(QStringLiteral("Hello"));
    s.addConfirmedLine(QStringLiteral(" world "));
    EXPECT_EQ(s.dictationBuffer(), QStringLiteral("Hello world"));
    EXPECT_TRUE(s.dictationInterimText().isEmpty());
    EXPECT_TRUE(s.interimText().isEmpty());
    EXPECT_EQ(s.lineCount(), 0);
    EXPECT_FALSE(QFile::exists(f.sessionPath()));
    EXPECT_FALSE(f.clipboard->text);
}

TEST(Transcript, autoCopyAndAutoPasteChooseOneOutlet) {
    AppFixture f;
    AppState &s = *f.state;

    s.setAutoCopyToClipboard(true);
    s.addConfirmedLine(QStringLiteral("First."));
    s.addConfirmedLine(QStringLiteral("Second."));
    EXPECT_EQ(f.clipboard->text, QStringLiteral("Second."));
    EXPECT_EQ(f.clipboard->clears, 2);
    EXPECT_TRUE(f.paster->pasted.empty());

    // Pasting the original replaces the copy step.
    s.setAutoCopyToClipboard(false);
    s.setAutoPasteAtCursor(true);
    s.addConfirmedLine(QStringLiteral("Pasted."));
    EXPECT_EQ(f.paster->pasted, std::vector<QString>{QStringLiteral("Pasted.")});
    EXPECT_EQ(f.clipboard->clears, 2);

    // Pasting translations waits for the translation; copy still copies the text.
    s.setAutoPasteSource(AutoPasteSource::translation);
    s.setAutoCopyToClipboard(true);
    s.addConfirmedLine(QStringLiteral("Waits."));
    EXPECT_EQ(f.paster->pasted.size(), 1u);
    EXPECT_EQ(f.clipboard->text, QStringLiteral("Waits."));
    const QUuid id = s.confirmedLines().back().id;
    s.setTranslation(QStringLiteral("Espera."), id);
    s.setTranslation(QStringLiteral("Espera otra vez."), id); // a replacement never pastes
    EXPECT_EQ(f.paster->pasted.back(), QStringLiteral("Espera."));
    EXPECT_EQ(f.paster->pasted.size(), 2u);
    EXPECT_EQ(s.translations().value(id), QStringLiteral("Espera otra vez."));
}

TEST(Transcript, deleteClearAndWordCount) {
    AppFixture f;
    AppState &s = *f.state;
    s.addConfirmedLine(QStringLiteral("a  b"));
    s.addConfirmedLine(QStringLiteral("c"));
    s.addConfirmedLine(QStringLiteral("你好世界 tab\there"));
    EXPECT_EQ(s.totalWordCount(), 6);

    const ConfirmedLine first = s.confirmedLines().front();
    s.setTranslation(QStringLiteral("x y"), first.id);
    s.setTranslation(QStringLiteral("z"), s.confirmedLines()[1].id);
    s.deleteLine(s.confirmedLines().front().id); // an id that lives inside the list being changed
    EXPECT_EQ(s.lineCount(), 2);
    EXPECT_FALSE(s.translations().contains(first.id));
    EXPECT_EQ(s.translations().value(s.confirmedLines().front().id), QStringLiteral("z"));
    EXPECT_EQ(s.confirmedLines().front().text, QStringLiteral("c"));
    s.deleteLine(first.id); // already gone: nothing changes
    EXPECT_EQ(s.lineCount(), 2);

    s.deleteLine(s.confirmedLines().front().id);
    s.deleteLine(s.confirmedLines().front().id);
    EXPECT_FALSE(QFile::exists(f.sessionPath())); // the last line took the file with it

    s.addConfirmedLine(QStringLiteral("More."));
    s.setInterimText(QStringLiteral("typing"));
    s.clearAll();
    EXPECT_EQ(s.lineCount(), 0);
    EXPECT_TRUE(s.interimText().isEmpty());
    EXPECT_TRUE(s.translations().isEmpty());
    EXPECT_EQ(s.totalWordCount(), 0);
    EXPECT_FALSE(QFile::exists(f.sessionPath()));
}

TEST(Transcript, propertiesNotifyOnlyOnChangeButAlwaysPersist) {
    AppFixture f;
    AppState &s = *f.state;
    QSignalSpy changed(&s, &AppState::soundEnabledChanged);
    f.preferences->setBool(QStringLiteral("app.soundEnabled"), false); // written behind its back
    s.setSoundEnabled(true);                                           // equal value: no signal...
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(f.preferences->boolValue(QStringLiteral("app.soundEnabled"))); // ...but written
    s.setSoundEnabled(false);
    EXPECT_EQ(changed.count(), 1);
}
