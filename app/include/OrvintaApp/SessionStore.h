#pragma once

#include <OrvintaApp/ConfirmedLine.h>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <stdexcept>

namespace Orvinta {

/// The saved transcript as it is kept on disk.
struct SessionData {
    QList<ConfirmedLine> lines;
    QHash<QString, QString> translations; // by line id text
    QString targetLanguage;

    /// The translations whose key is a UUID.
    QHash<QUuid, QString> uuidTranslations() const;
};

class SessionFormatError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// One compact JSON object: "lines", "translations", "targetLanguage"; a
/// line is "id", "text", "timestamp" and, where it has one, "speaker".
QByteArray encodeSession(const SessionData &session);
/// Throws SessionFormatError when a member is missing or has the wrong type.
/// Members it does not know are ignored.
SessionData decodeSession(const QByteArray &json);

/// What became of one save.
struct SessionSaveResult {
    /// Why the file could not be written (the path and the reason); the file
    /// on disk is then the previous one.
    std::optional<QString> error;
    /// Where the previous file was kept before this save replaced it.
    std::optional<QString> keptAside;
};

/// The session file, session.json in the Orvinta folder of the XDG data
/// home. Written atomically and readable by its owner only.
class SessionStore {
public:
    /// Larger files are not read: a session of 5,000 lines is about 1 MB.
    static constexpr qint64 maxFileSize = 64 * 1024 * 1024;

    /// `dataHome` replaces the XDG data home (tests, other tools).
    explicit SessionStore(std::optional<QString> dataHome = std::nullopt);

    /// The Orvinta folder that holds the transcript (and its writer's lock).
    QString folder() const;
    /// The file's path, creating its folder; nothing when that fails, with
    /// the reason in `error`.
    std::optional<QString> sessionFileURL(QString *error = nullptr) const;
    /// Nothing when there is no file; throws SessionFormatError (or a read
    /// error as one) when it cannot be used. The file is then kept and
    /// kept aside before the next save replaces it.
    std::optional<SessionData> read();
    /// The file holds more than will be kept: before the next save replaces
    /// it, it is kept aside as an archive, so nothing said is lost.
    void archiveBeforeNextSave();
    /// Writes the session, or removes the file when there are no lines.
    SessionSaveResult save(const SessionData &session);

private:
    /// Keeps the file aside as session.<kind>-<date>.json while it stays in
    /// place (a hard link, else a copy; something other than a file is
    /// moved); the new path, or nothing.
    std::optional<QString> keepAside(const QString &path, const QString &kind);

    std::optional<QString> m_dataHome;
    std::optional<QString> m_unreadableFile;
    bool m_archiveBeforeSave = false;
};

} // namespace Orvinta
