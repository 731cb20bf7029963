#include <OrvintaApp/TranscriptExport.h>

#include <TranscriptionCore/Scoring.h>

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace Orvinta {

QString plainTextTranscript(const QList<ConfirmedLine> &lines, const QTimeZone &zone) {
    QStringList out;
    for (const ConfirmedLine &line : lines) {
        // A stored time far outside any real date still gives a clock time,
        // never an overflow.
        const double seconds = std::isfinite(line.timestamp)
                                   ? std::clamp(line.timestamp + referenceDateOffset, -1e14, 1e14)
                                   : 0.0;
        const QDateTime time =
            QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(seconds)), zone);
        out << QStringLiteral("[%1] %2").arg(time.toString(QStringLiteral("HH:mm:ss")), line.text);
    }
    return out.join(QLatin1Char('\n'));
}

QString srtTime(double seconds) {
    // Offsets beyond any recording (a clock far off, a damaged file) are held
    // at a million hours, so the arithmetic below cannot overflow into a
    // malformed cue time.
    constexpr double latest = 1e6 * 3600 - 0.001;
    if (!(seconds > 0))
        seconds = 0;
    seconds = std::min(seconds, latest);
    // Offsets are differences of large timestamps, so 0.8 s arrives as
    // 0.79999995: round to the microsecond first, then cut to milliseconds.
    const long long micros = std::llround(seconds * 1e6);
    const long long whole = micros / 1'000'000;
    const long long millis = (micros % 1'000'000) / 1000;
    return QString::asprintf("%02lld:%02lld:%02lld,%03lld", whole / 3600, (whole % 3600) / 60,
                             whole % 60, millis);
}

QString srtTranscript(const QList<ConfirmedLine> &lines) {
    if (lines.isEmpty())
        return {};
    const double reference = lines.front().timestamp;
    QStringList cues;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const ConfirmedLine &line = lines[i];
        const double estimatedEnd =
            line.timestamp + std::max(static_cast<double>(TranscriptionCore::characterCount(
                                          line.text.toStdString())) /
                                          15.0,
                                      2.0);
        double end = estimatedEnd;
        if (i + 1 < lines.size() && lines[i + 1].timestamp < estimatedEnd)
            end = lines[i + 1].timestamp;
        cues << QStringLiteral("%1\n%2 --> %3\n%4")
                    .arg(i + 1)
                    .arg(srtTime(line.timestamp - reference), srtTime(end - reference), line.text);
    }
    return cues.join(QStringLiteral("\n\n"));
}

QString exportContent(const QList<ConfirmedLine> &lines, ExportFormat format) {
    return format == ExportFormat::srt ? srtTranscript(lines) : plainTextTranscript(lines);
}

QString suggestedExportFileName(ExportFormat format, const QDateTime &now) {
    return QStringLiteral("orvinta-%1.%2")
        .arg(now.toUTC().toString(Qt::ISODate).left(10), fileExtension(format));
}

} // namespace Orvinta
