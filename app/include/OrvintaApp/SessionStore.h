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

/// One compact JSON object: "lines", "translations", "targetLanguage".
QByteArray encodeSession(const SessionData &session);
/// Throws SessionFormatError when a member is missing or has the wrong type.
SessionData decodeSession(const QByteArray &json);

/// The session file, session.json in the Orvinta folder of the XDG data
/// home. Written atomically and readable by its owner only.
class SessionStore {
public:
    /// `dataHome` replaces the XDG data home (tests, other tools).
    explicit SessionStore(std::optional<QString> dataHome = std::nullopt);

    /// The file's path, creating its folder; nothing (logged) when that fails.
    std::optional<QString> sessionFileURL() const;

    /// Nothing when there is no file; throws SessionFormatError (or a read
    /// error as one) when it cannot be used. The file is then kept and
    /// moved aside before the next save replaces it.
    std::optional<SessionData> read();

    /// Writes the session, or removes the file when there are no lines.
    /// Failures are logged; the old file stays as it was.
    void save(const SessionData &session);

private:
    void keepUnreadableFile(const QString &path);

    std::optional<QString> m_dataHome;
    std::optional<QString> m_unreadableFile;
};

} // namespace Orvinta
