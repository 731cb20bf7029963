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
        out << QStringLiteral("[%1] %2").arg(time.toString(QStringLiteral("HH:mm:ss")),
                                             labelledText(line));
    }
    return out.join(QLatin1Char('\n'));
}

namespace {

int characters(const QString &text) {
    return static_cast<int>(TranscriptionCore::characterCount(text.toStdString()));
}

/// Seconds as hours, minutes, seconds and milliseconds, the last after `separator`.
QString cueTime(double seconds, char separator) {
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
    return QString::asprintf("%02lld:%02lld:%02lld%c%03lld", whole / 3600, (whole % 3600) / 60,
                             whole % 60, separator, millis);
}

/// How long a text takes to read: 15 characters a second, at least 2 s.
double readingSeconds(const QString &text) {
    return std::max(characters(text) / 15.0, 2.0);
}

QString joinedWords(const QList<TimedWord> &words, qsizetype from, qsizetype to) {
    QStringList texts;
    for (qsizetype i = from; i < to; ++i)
        texts << words[i].text;
    return texts.join(QLatin1Char(' '));
}

/// The sentence's words cut into cues: as few as the limits allow, then
/// each word closing its cue when that keeps the cue nearer an even share.
QList<SubtitleCue> sentenceCues(const HeardSentence &sentence) {
    const QList<TimedWord> &words = sentence.words;
    const int total = characters(joinedWords(words, 0, words.size()));
    const double duration = words.back().end - words.front().start;
    const double pieces = std::max({1.0, std::ceil(total / static_cast<double>(maxCueCharacters)),
                                    std::ceil(duration / maxCueSeconds)});
    if (pieces <= 1)
        return {{words.front().start, words.back().end, sentence.text}};
    const double share = total / pieces;
    QList<SubtitleCue> cues;
    qsizetype first = 0;
    int length = characters(words.front().text);
    for (qsizetype i = 1; i <= words.size(); ++i) {
        const int added = i < words.size() ? 1 + characters(words[i].text) : 0;
        if (i == words.size() || length + added > maxCueCharacters ||
            words[i].end - words[first].start > maxCueSeconds || length + added / 2.0 > share) {
            cues.append({words[first].start, words[i - 1].end, joinedWords(words, first, i)});
            first = i;
            length = added - 1;
        } else {
            length += added;
        }
    }
    return cues;
}

QList<SubtitleCue> cuesOfRecording(const QList<HeardSentence> &sentences, double length,
                                   bool cutLongSentences) {
    QList<SubtitleCue> cues;
    for (const HeardSentence &sentence : sentences) {
        const double previousEnd = cues.isEmpty() ? 0.0 : cues.back().end;
        QList<SubtitleCue> own;
        if (sentence.words.isEmpty())
            own = {{previousEnd, previousEnd + readingSeconds(sentence.text), sentence.text}};
        else if (cutLongSentences)
            own = sentenceCues(sentence);
        else
            own = {{sentence.words.front().start, sentence.words.back().end, sentence.text}};
        for (SubtitleCue &cue : own) {
            // A cue that runs into the next one (an untimed one's reading
            // time) ends where that one starts.
            if (!cues.isEmpty())
                cues.back().end = std::clamp(cue.start, cues.back().start, cues.back().end);
            const double earliest = cues.isEmpty() ? 0.0 : cues.back().end;
            cue.start = std::clamp(cue.start, earliest, std::max(earliest, length));
            cue.end = std::clamp(cue.end, cue.start, std::max(cue.start, length));
            cues.append(std::move(cue));
        }
    }
    return cues;
}

} // namespace

QString srtTime(double seconds) {
    return cueTime(seconds, ',');
}

QString webVttTime(double seconds) {
    return cueTime(seconds, '.');
}

QList<SubtitleCue> transcriptCues(const QList<ConfirmedLine> &lines) {
    QList<SubtitleCue> cues;
    if (lines.isEmpty())
        return cues;
    const double reference = lines.front().timestamp;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const ConfirmedLine &line = lines[i];
        const double estimatedEnd = line.timestamp + readingSeconds(line.text);
        double end = estimatedEnd;
        if (i + 1 < lines.size() && lines[i + 1].timestamp < estimatedEnd)
            end = lines[i + 1].timestamp;
        cues.append({line.timestamp - reference, end - reference, line.text, line.speaker});
    }
    return cues;
}

QString srtDocument(const QList<SubtitleCue> &cues) {
    QStringList blocks;
    for (qsizetype i = 0; i < cues.size(); ++i)
        blocks << QStringLiteral("%1\n%2 --> %3\n%4")
                      .arg(i + 1)
                      .arg(srtTime(cues[i].start), srtTime(cues[i].end),
                           labelledText(cues[i].speaker, cues[i].text));
    return blocks.join(QStringLiteral("\n\n"));
}

namespace {

QString webVttEscaped(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&amp;"))
        .replace(QLatin1Char('<'), QStringLiteral("&lt;"))
        .replace(QLatin1Char('>'), QStringLiteral("&gt;"));
}

} // namespace

QString webVttCueText(const SubtitleCue &cue) {
    QString text = cue.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'))
        .replace(QChar(0), QChar::ReplacementCharacter);
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            lines << webVttEscaped(line);
    const QString payload = lines.join(QLatin1Char('\n'));
    // The voice's name ends at the first ">" and may not break the line.
    const QString speaker =
        QString(cue.speaker).replace(QChar(0), QChar::ReplacementCharacter).simplified();
    if (speaker.isEmpty() || payload.isEmpty())
        return payload;
    return QStringLiteral("<v %1>%2</v>").arg(webVttEscaped(speaker), payload);
}

QString webVttDocument(const QList<SubtitleCue> &cues) {
    QStringList blocks{QStringLiteral("WEBVTT")};
    for (const SubtitleCue &cue : cues)
        blocks << QStringLiteral("%1 --> %2\n%3")
                      .arg(webVttTime(cue.start), webVttTime(cue.end), webVttCueText(cue));
    return blocks.join(QStringLiteral("\n\n"));
}

QString srtTranscript(const QList<ConfirmedLine> &lines) {
    return srtDocument(transcriptCues(lines));
}

QString webVttTranscript(const QList<ConfirmedLine> &lines) {
    return webVttDocument(transcriptCues(lines));
}

QString exportContent(const QList<ConfirmedLine> &lines, ExportFormat format) {
    switch (format) {
    case ExportFormat::srt:
        return srtTranscript(lines);
    case ExportFormat::webVtt:
        return webVttTranscript(lines);
    case ExportFormat::plainText:
        break;
    }
    return plainTextTranscript(lines);
}

QList<SubtitleCue> recordingCues(const QList<HeardSentence> &sentences, double length) {
    return cuesOfRecording(sentences, length, true);
}

QString recordingContent(const QList<HeardSentence> &sentences, double length,
                         ExportFormat format) {
    switch (format) {
    case ExportFormat::srt:
        return srtDocument(recordingCues(sentences, length));
    case ExportFormat::webVtt:
        return webVttDocument(recordingCues(sentences, length));
    case ExportFormat::plainText:
        break;
    }
    QStringList lines;
    for (const SubtitleCue &cue : cuesOfRecording(sentences, length, false))
        lines << QStringLiteral("[%1] %2").arg(
            webVttTime(cue.start).section(QLatin1Char('.'), 0, 0), cue.text);
    return lines.join(QLatin1Char('\n'));
}

QString suggestedExportFileName(ExportFormat format, const QDateTime &now) {
    return QStringLiteral("orvinta-%1.%2")
        .arg(now.toUTC().toString(Qt::ISODate).left(10), fileExtension(format));
}

} // namespace Orvinta
