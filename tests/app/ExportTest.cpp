#include "AppTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <limits>

using namespace Orvinta;
using namespace Orvinta::Testing;

namespace {

// Seconds since 2001 for a UTC wall-clock time on 2026-12-05.
double at(int hour, int minute, double second) {
    const QDateTime midnight(QDate(2026, 12, 5), QTime(0, 0), QTimeZone::utc());
    return static_cast<double>(midnight.toSecsSinceEpoch()) - referenceDateOffset + hour * 3600 +
           minute * 60 + second;
}

ConfirmedLine line(double timestamp, QString text, QString speaker = {}) {
    return {QUuid::createUuid(), std::move(text), timestamp, std::move(speaker)};
}

/// The cues' payloads of a WebVTT file as ffmpeg's demuxer reads them, copied
/// into WebVTT unchanged (its decoder drops voice spans, so it is not used).
std::optional<QStringList> webVttPayloadsByFfmpeg(const QString &path) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-nostdin", "-v", "error", "-i", path, "-c:s", "copy", "-f", "webvtt", "-"});
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0)
        return std::nullopt;
    QStringList payloads;
    const QString vtt = QString::fromUtf8(ffmpeg.readAllStandardOutput()).remove('\r');
    for (const QString &block : vtt.split("\n\n", Qt::SkipEmptyParts).mid(1))
        payloads << block.section('\n', 1).trimmed();
    return payloads;
}

} // namespace

TEST(Export, srtCuesEndAtTheNextLineOrTheirReadingTime) {
    EXPECT_EQ(srtTranscript({line(at(10, 0, 0), QString(30, 'a'))}),
              "1\n00:00:00,000 --> 00:00:02,000\n" + QString(30, 'a'));

    const QString first(20, 'f'), second(45, 's');
    EXPECT_EQ(
        srtTranscript({line(at(10, 0, 0), first), line(at(10, 0, 1.5), second)}),
        QString("1\n00:00:00,000 --> 00:00:01,500\n%1\n\n2\n00:00:01,500 --> 00:00:04,500\n%2")
            .arg(first, second));

    const auto ends = [](const QString &srt) { return srt.section('\n', 1, 1); };
    EXPECT_EQ(ends(srtTranscript({line(at(10, 0, 0), QString(60, 'x')), line(at(10, 0, 10), "y")})),
              "00:00:00,000 --> 00:00:04,000");
    EXPECT_EQ(ends(srtTranscript({line(at(10, 0, 0), "x"), line(at(10, 0, 0.8), "y")})),
              "00:00:00,000 --> 00:00:00,800");
    // Characters, not code units: 30 emoji are 30 characters (2 s), not 60.
    EXPECT_EQ(ends(srtTranscript({line(at(10, 0, 0), QString::fromUtf8("👍🏽").repeated(15))})),
              "00:00:00,000 --> 00:00:02,000");

    // A long run, and a clock set back: no negative times.
    EXPECT_EQ(srtTranscript({line(at(10, 0, 0), "a"), line(at(11, 2, 3.04), "b\nc")}),
              "1\n00:00:00,000 --> 00:00:02,000\na\n\n2\n01:02:03,040 --> 01:02:05,040\nb\nc");
    EXPECT_EQ(srtTranscript({line(at(10, 0, 0), "a"), line(at(9, 59, 0), "d")}),
              "1\n00:00:00,000 --> 00:00:00,000\na\n\n2\n00:00:00,000 --> 00:00:00,000\nd");
    EXPECT_EQ(srtTime(360000.5), "100:00:00,500");

    // Times far outside any real date keep their form.
    EXPECT_EQ(srtTime(1e15), "999999:59:59,999");
    EXPECT_EQ(srtTime(std::numeric_limits<double>::infinity()), "999999:59:59,999");
    EXPECT_EQ(srtTime(std::numeric_limits<double>::quiet_NaN()), "00:00:00,000");
    const QString plain = plainTextTranscript({line(1e300, "far"), line(-1e300, "before")});
    EXPECT_TRUE(plain.contains(
        QRegularExpression("^\\[\\d\\d:\\d\\d:\\d\\d\\] far\n\\[\\d\\d:\\d\\d:\\d\\d\\] before$")))
        << plain.toStdString();
}

TEST(Export, webVttHasTheSrtCuesEscapedAndFfmpegReadsThemBack) {
    const QString second(45, 's');
    const QList<ConfirmedLine> lines{line(at(10, 0, 0), "Say \"-->\" & <b>bold</b>, 2<3 > 1"),
                                     line(at(10, 0, 1.5), second), line(at(11, 2, 3.04), "b\nc")};
    EXPECT_EQ(webVttTranscript(lines),
              QString("WEBVTT\n\n"
                      "00:00:00.000 --> 00:00:01.500\n"
                      "Say \"--&gt;\" &amp; &lt;b&gt;bold&lt;/b&gt;, 2&lt;3 &gt; 1\n\n"
                      "00:00:01.500 --> 00:00:04.500\n%1\n\n"
                      "01:02:03.040 --> 01:02:05.040\nb\nc")
                  .arg(second));
    EXPECT_EQ(webVttTranscript({}), "WEBVTT");
    EXPECT_EQ(webVttTime(360000.5), "100:00:00.500");
    EXPECT_EQ(webVttTime(std::numeric_limits<double>::quiet_NaN()), "00:00:00.000");
    // A blank line would end the cue, a NUL is no text.
    EXPECT_EQ(webVttCueText({0, 1, QString("One\r\n\r\n \nTwo%1\rThree").arg(QChar(0))}),
              QString("One\nTwo%1\nThree").arg(QChar(QChar::ReplacementCharacter)));

    QTemporaryDir folder;
    const QString path = folder.filePath("talk.vtt");
    ASSERT_TRUE(writeFile(path, exportContent(lines, ExportFormat::webVtt).toUtf8()));
    const std::optional<QString> read = srtByFfmpeg(path);
    if (!read)
        GTEST_SKIP() << "ffmpeg (scripts/deps.sh) is not installed";
    EXPECT_EQ(read->trimmed(), srtTranscript(lines));
}

// A conversation's speakers: "SPEAKER: text" in text and SRT, a voice span in
// WebVTT, and ffmpeg reads each back with them.
TEST(Export, speakersBeginTheirLinesAndBecomeWebVttVoices) {
    const QList<ConfirmedLine> lines{line(at(10, 0, 0), "Shall we start?", "Me"),
                                     line(at(10, 0, 2), "Yes, 2 > 1 & here.", "Others"),
                                     line(at(10, 0, 4), "No one said this."),
                                     line(at(10, 0, 6), "Two\nlines.", "Q&A > panel\n2")};
    EXPECT_EQ(plainTextTranscript(lines, QTimeZone::utc()),
              "[10:00:00] Me: Shall we start?\n[10:00:02] Others: Yes, 2 > 1 & here.\n"
              "[10:00:04] No one said this.\n[10:00:06] Q&A > panel 2: Two\nlines.");
    EXPECT_EQ(srtTranscript(lines),
              "1\n00:00:00,000 --> 00:00:02,000\nMe: Shall we start?\n\n"
              "2\n00:00:02,000 --> 00:00:04,000\nOthers: Yes, 2 > 1 & here.\n\n"
              "3\n00:00:04,000 --> 00:00:06,000\nNo one said this.\n\n"
              "4\n00:00:06,000 --> 00:00:08,000\nQ&A > panel 2: Two\nlines.");
    const QStringList voices{"<v Me>Shall we start?</v>", "<v Others>Yes, 2 &gt; 1 &amp; here.</v>",
                             "No one said this.", "<v Q&amp;A &gt; panel 2>Two\nlines.</v>"};
    EXPECT_EQ(webVttTranscript(lines), "WEBVTT\n\n00:00:00.000 --> 00:00:02.000\n" + voices[0] +
                                           "\n\n00:00:02.000 --> 00:00:04.000\n" + voices[1] +
                                           "\n\n00:00:04.000 --> 00:00:06.000\n" + voices[2] +
                                           "\n\n00:00:06.000 --> 00:00:08.000\n" + voices[3]);
    EXPECT_EQ(webVttCueText({0, 1, " \n", "Me"}), ""); // no empty voice span

    QTemporaryDir folder;
    const QString srt = folder.filePath("talk.srt"), vtt = folder.filePath("talk.vtt");
    ASSERT_TRUE(writeFile(srt, exportContent(lines, ExportFormat::srt).toUtf8()));
    ASSERT_TRUE(writeFile(vtt, exportContent(lines, ExportFormat::webVtt).toUtf8()));
    const std::optional<QString> srtRead = srtByFfmpeg(srt);
    if (!srtRead)
        GTEST_SKIP() << "ffmpeg (scripts/deps.sh) is not installed";
    EXPECT_EQ(srtTexts(*srtRead), (QStringList{"Me: Shall we start?", "Others: Yes, 2 > 1 & here.",
                                               "No one said this.", "Q&A > panel 2: Two\nlines."}));
    EXPECT_EQ(webVttPayloadsByFfmpeg(vtt), voices);
    // Its decoder keeps the words, without the voices.
    EXPECT_EQ(srtTexts(srtByFfmpeg(vtt).value_or("")).first(), "Shall we start?");
}

TEST(Export, aRecordingsCuesFollowItsWordsAndLongSentencesAreCut) {
    // 30 words of 0.3 s from 1 s on: 9 s and 179 characters make three cues.
    HeardSentence talk;
    for (int i = 0; i < 30; ++i)
        talk.words.append({"alpha", 1 + i * 0.3, 1.3 + i * 0.3});
    talk.text = QStringList(30, "alpha").join(' ');
    const QString ten = QStringList(10, "alpha").join(' ');
    const HeardSentence yes{"Yes.", {{"Yes.", 10.5, 11.2}}};
    const HeardSentence untimed{"Untimed words here.", {}};
    const HeardSentence then{"Then.", {{"Then.", 12.0, 12.5}}};
    const HeardSentence late{"Too late.", {{"Too", 12.8, 13.1}, {"late.", 13.2, 14}}};
    const QString longWord(100, 'w');
    const HeardSentence word{longWord, {{longWord, 13.5, 13.9}}};

    const QList<SubtitleCue> cues = recordingCues({talk, yes, untimed, then, late, word}, 13.6);
    const auto form = [](const SubtitleCue &cue) {
        return QString("%1-%2 %3").arg(cue.start, 0, 'f', 2).arg(cue.end, 0, 'f', 2).arg(cue.text);
    };
    QStringList described;
    for (const SubtitleCue &cue : cues)
        described << form(cue);
    EXPECT_EQ(described, (QStringList{"1.00-4.00 " + ten, "4.00-7.00 " + ten, "7.00-10.00 " + ten,
                                      "10.50-11.20 Yes.", "11.20-12.00 Untimed words here.",
                                      "12.00-12.50 Then.", "12.80-13.50 Too late.",
                                      "13.50-13.60 " + longWord}));

    EXPECT_EQ(recordingContent({talk, yes}, 13.6, ExportFormat::plainText),
              "[00:00:01] " + talk.text + "\n[00:00:10] Yes.");
    EXPECT_EQ(recordingContent({yes}, 13.6, ExportFormat::srt),
              "1\n00:00:10,500 --> 00:00:11,200\nYes.");
    EXPECT_EQ(recordingContent({}, 0, ExportFormat::webVtt), "WEBVTT");
}

TEST(Export, plainTextUsesLocalTimeAndTheFileNameTheUtcDate) {
    const QList<ConfirmedLine> lines{line(at(14, 3, 7.9), "Good morning."),
                                     line(at(14, 3, 11), "Let us begin.")};
    EXPECT_EQ(plainTextTranscript(lines, QTimeZone::utc()),
              "[14:03:07] Good morning.\n[14:03:11] Let us begin.");
    EXPECT_EQ(plainTextTranscript(lines, QTimeZone("Asia/Tokyo")),
              "[23:03:07] Good morning.\n[23:03:11] Let us begin.");

    // 23:30 in New York is already the next day in UTC.
    const QDateTime evening(QDate(2026, 12, 5), QTime(23, 30), QTimeZone("America/New_York"));
    EXPECT_EQ(suggestedExportFileName(ExportFormat::plainText, evening), "orvinta-2026-12-06.txt");
    EXPECT_EQ(suggestedExportFileName(ExportFormat::srt, evening), "orvinta-2026-12-06.srt");
    EXPECT_EQ(suggestedExportFileName(ExportFormat::webVtt, evening), "orvinta-2026-12-06.vtt");
}

TEST(Export, throughTheDialogAndCopyAll) {
    AppFixture f;
    AppState &s = *f.state;
    f.clipboard->text = "before";
    s.transcript()->copyAllTranscript();
    s.transcript()->exportTranscript(ExportFormat::plainText);
    EXPECT_EQ(f.clipboard->text, "before"); // empty transcript: nothing happens
    EXPECT_TRUE(f.saveDialog->suggested.isEmpty());

    s.addConfirmedLine("One.");
    s.addConfirmedLine("Two.");

    const QString target = f.folder.filePath("out.srt");
    f.saveDialog->answer = target;
    s.transcript()->exportTranscript(ExportFormat::srt);
    EXPECT_TRUE(f.saveDialog->suggested.startsWith("orvinta-"));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), srtTranscript(s.transcript()->confirmedLines()));

    f.saveDialog->answer = f.folder.filePath("missing/folder/out.txt");
    s.transcript()->exportTranscript(ExportFormat::plainText);
    EXPECT_TRUE(s.listening()->errorMessageText().startsWith("Export failed: "))
        << s.listening()->errorMessageText().toStdString();
}
