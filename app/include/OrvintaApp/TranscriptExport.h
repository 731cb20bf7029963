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

/// "[HH:mm:ss] text" per line in the given time zone, joined with line feeds.
QString plainTextTranscript(const QList<ConfirmedLine> &lines,
                            const QTimeZone &zone = QTimeZone::systemTimeZone());
/// Numbered cues timed from the first line, ending at the next line's start
/// or after 15 characters per second (at least 2 s).
QString srtTranscript(const QList<ConfirmedLine> &lines);
/// "HH:MM:SS,mmm"; offsets before the start read as zero, those beyond a
/// million hours as 999999:59:59,999.
QString srtTime(double seconds);
QString exportContent(const QList<ConfirmedLine> &lines, ExportFormat format);
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
