#include "AppTestSupport.h"

#include <QFile>

#include <QRegularExpression>

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

ConfirmedLine line(double timestamp, QString text) {
    return {QUuid::createUuid(), std::move(text), timestamp};
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
