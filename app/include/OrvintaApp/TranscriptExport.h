#pragma once

#include <OrvintaApp/AppEnums.h>
#include <OrvintaApp/ConfirmedLine.h>

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <optional>

namespace Orvinta {

/// "[HH:mm:ss] text" per line in the given time zone ("[HH:mm:ss] SPEAKER:
/// text" for a line with a speaker), joined with line feeds.
QString plainTextTranscript(const QList<ConfirmedLine> &lines,
                            const QTimeZone &zone = QTimeZone::systemTimeZone());

/// One subtitle: seconds from the start of the transcript or recording, what
/// is said and, where known, who said it.
struct SubtitleCue {
    double start = 0;
    double end = 0;
    QString text;
    QString speaker = {};
};

/// The lines as cues timed from the first line, each ending at the next
/// line's start or after 15 characters per second (at least 2 s).
QList<SubtitleCue> transcriptCues(const QList<ConfirmedLine> &lines);
/// Numbered cues apart by blank lines; a speaker begins the text as "SPEAKER: ".
QString srtDocument(const QList<SubtitleCue> &cues);
/// "WEBVTT", a blank line, then the cues apart by blank lines.
QString webVttDocument(const QList<SubtitleCue> &cues);
/// The cue's text as a WebVTT payload: &, < and > escaped, no blank line
/// (which would end the cue early), one line per line of text; with a
/// speaker, within a voice span "<v SPEAKER>…</v>" (the name escaped alike).
QString webVttCueText(const SubtitleCue &cue);

QString srtTranscript(const QList<ConfirmedLine> &lines);
QString webVttTranscript(const QList<ConfirmedLine> &lines);
/// "HH:MM:SS,mmm"; offsets before the start read as zero, those beyond a
/// million hours as 999999:59:59,999.
QString srtTime(double seconds);
/// As srtTime(), with WebVTT's "HH:MM:SS.mmm".
QString webVttTime(double seconds);
QString exportContent(const QList<ConfirmedLine> &lines, ExportFormat format);

/// A word of a recording, in seconds from the recording's start.
struct TimedWord {
    QString text;
    double start = 0;
    double end = 0;
};

/// A sentence heard in a recording, with its words where the recogniser
/// timed them (none where it did not).
struct HeardSentence {
    QString text;
    QList<TimedWord> words;
};

/// Longest cue of a recording's subtitles, in seconds and in characters.
inline constexpr double maxCueSeconds = 7;
inline constexpr int maxCueCharacters = 84;

/// One cue per sentence, from its first word's start to its last word's end;
/// a longer sentence is cut between words into cues of about equal length,
/// each within maxCueSeconds and maxCueCharacters (a single longer word
/// stays whole). An untimed sentence follows the previous cue for its
/// reading time. Cues never overlap (one running into the next ends where
/// that one starts) and none ends after `length` seconds.
QList<SubtitleCue> recordingCues(const QList<HeardSentence> &sentences, double length);
/// The recording's sentences in `format`: subtitles as recordingCues(), or
/// "[HH:MM:SS] sentence" lines timed from the recording's start.
QString recordingContent(const QList<HeardSentence> &sentences, double length, ExportFormat format);

/// "orvinta-" plus the UTC date and the extension.
QString suggestedExportFileName(ExportFormat format,
                                const QDateTime &now = QDateTime::currentDateTimeUtc());

/// The save dialog, behind an interface so tests can answer it.
class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    /// Calls `done` later with the chosen path, or nothing when cancelled.
    virtual void askForLocation(const QString &suggestedName, ExportFormat format,
                                std::function<void(std::optional<QString> path)> done) = 0;
};

} // namespace Orvinta
