#include <OrvintaApp/SessionStore.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/AtomicFile.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Orvinta {

namespace {

QString idText(const QUuid &id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonValue member(const QJsonObject &object, const char *name, QJsonValue::Type type,
                  const char *what) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isUndefined())
        throw SessionFormatError(std::string("missing member \"") + name + "\" in " + what);
    if (value.type() != type)
        throw SessionFormatError(std::string("member \"") + name + "\" of " + what +
                                 " has the wrong type");
    return value;
}

} // namespace

QHash<QUuid, QString> SessionData::uuidTranslations() const {
    QHash<QUuid, QString> result;
    for (auto it = translations.begin(); it != translations.end(); ++it) {
        const QUuid id = QUuid::fromString(it.key());
        if (!id.isNull())
            result.insert(id, it.value());
    }
    return result;
}

QByteArray encodeSession(const SessionData &session) {
    QJsonArray lines;
    for (const ConfirmedLine &line : session.lines) {
        QJsonObject stored{{QStringLiteral("id"), idText(line.id)},
                           {QStringLiteral("text"), line.text},
                           {QStringLiteral("timestamp"), line.timestamp}};
        // Only where there is one, so that files without speakers stay as they were.
        if (!line.speaker.isEmpty())
            stored.insert(QStringLiteral("speaker"), line.speaker);
        lines.append(stored);
    }
    QJsonObject translations;
    for (auto it = session.translations.begin(); it != session.translations.end(); ++it)
        translations.insert(it.key(), it.value());
    const QJsonObject root{{QStringLiteral("lines"), lines},
                           {QStringLiteral("translations"), translations},
                           {QStringLiteral("targetLanguage"), session.targetLanguage}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

SessionData decodeSession(const QByteArray &json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw SessionFormatError("malformed JSON: " + parseError.errorString().toStdString() +
                                 " at offset " + std::to_string(parseError.offset));
    if (!document.isObject())
        throw SessionFormatError("the file does not hold a JSON object");
    const QJsonObject root = document.object();

    SessionData session;
    for (const QJsonValue &value :
         member(root, "lines", QJsonValue::Array, "the session").toArray()) {
        if (!value.isObject())
            throw SessionFormatError("a line is not a JSON object");
        const QJsonObject line = value.toObject();
        const QString idString = member(line, "id", QJsonValue::String, "a line").toString();
        const QUuid id = QUuid::fromString(idString);
        if (id.isNull())
            throw SessionFormatError("line id \"" + idString.toStdString() + "\" is not a UUID");
        const double timestamp = member(line, "timestamp", QJsonValue::Double, "a line").toDouble();
        // A number beyond any double would load as infinity and never save back.
        if (!std::isfinite(timestamp))
            throw SessionFormatError("a line's timestamp is not a finite number");
        // Optional, and read only as text: older files have none, and a
        // newer form of it is left to the version that wrote it.
        session.lines.append({id, member(line, "text", QJsonValue::String, "a line").toString(),
                              timestamp, line.value(QLatin1String("speaker")).toString()});
    }
    const QJsonObject translations =
        member(root, "translations", QJsonValue::Object, "the session").toObject();
    for (auto it = translations.begin(); it != translations.end(); ++it) {
        if (!it.value().isString())
            throw SessionFormatError("the translation of " + it.key().toStdString() +
                                     " is not a string");
        session.translations.insert(it.key(), it.value().toString());
    }
    session.targetLanguage =
        member(root, "targetLanguage", QJsonValue::String, "the session").toString();
    return session;
}

SessionStore::SessionStore(std::optional<QString> dataHome)
    : m_dataHome(std::move(dataHome)) {}

QString SessionStore::folder() const {
    const QString dataHome =
        m_dataHome.value_or(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return dataHome.isEmpty() ? QString() : QDir(dataHome).filePath(QStringLiteral("Orvinta"));
}

std::optional<QString> SessionStore::sessionFileURL(QString *error) const {
    const QString dir = folder();
    if (dir.isEmpty()) {
        qCCritical(lcAppState) << "Cannot locate Application Support directory";
        if (error)
            *error = QStringLiteral("no data folder (HOME and XDG_DATA_HOME are not set)");
        return std::nullopt;
    }
    if (!QDir().mkpath(dir) || !QFileInfo(dir).isDir()) {
        const QString reason = QStringLiteral("cannot create the folder %1").arg(dir);
        qCCritical(lcAppState, "Cannot create session directory: %s", qUtf8Printable(reason));
        if (error)
            *error = reason;
        return std::nullopt;
    }
    return QDir(dir).filePath(QStringLiteral("session.json"));
}

std::optional<SessionData> SessionStore::read() {
    const QString path = QDir(folder()).filePath(QStringLiteral("session.json"));
    if (folder().isEmpty() || !QFileInfo::exists(path))
        return std::nullopt;
    const std::variant<QByteArray, QString> content = readRegularFile(path, maxFileSize);
    try {
        if (const auto *error = std::get_if<QString>(&content))
            throw SessionFormatError(error->toStdString());
        return decodeSession(std::get<QByteArray>(content));
    } catch (const SessionFormatError &) {
        m_unreadableFile = path;
        throw;
    }
}

void SessionStore::archiveBeforeNextSave() {
    m_archiveBeforeSave = true;
}

std::optional<QString> SessionStore::keepAside(const QString &path, const QString &kind) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir folder = QFileInfo(path).dir();
    QString aside = folder.filePath(QStringLiteral("session.%1-%2.json").arg(kind, stamp));
    for (int n = 2; QFileInfo(aside).exists() || QFileInfo(aside).isSymLink(); ++n) {
        if (n > 100)
            return std::nullopt;
        aside = folder.filePath(QStringLiteral("session.%1-%2-%3.json").arg(kind, stamp).arg(n));
    }
    const QByteArray from = QFile::encodeName(path);
    const QByteArray to = QFile::encodeName(aside);
    struct stat info {};
    if (::stat(from.constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        // A pipe, a device or a folder in the way is not written over but
        // replaced, so it is moved.
        if (!QFile::rename(path, aside))
            return std::nullopt;
        return aside;
    }
    // The file stays where it is until the new one has replaced it, so that
    // there is always a session file.
    if (::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), AT_SYMLINK_FOLLOW) != 0 &&
        !QFile::copy(path, aside))
        return std::nullopt;
    return aside;
}

SessionSaveResult SessionStore::save(const SessionData &session) {
    SessionSaveResult result;
    QString folderError;
    const std::optional<QString> path = sessionFileURL(&folderError);
    if (!path) {
        result.error = folderError;
        return result;
    }
    std::optional<QString> aside;
    const bool unreadable = m_unreadableFile && *m_unreadableFile == *path;
    if (unreadable && QFile::exists(*path)) {
        aside = keepAside(*path, QStringLiteral("unreadable"));
        if (!aside)
            qCWarning(lcAppState, "Could not keep the unreadable session file aside");
    } else if (m_archiveBeforeSave && QFile::exists(*path)) {
        aside = keepAside(*path, QStringLiteral("archive"));
    }
    // Until the old file is safe elsewhere, it is not replaced.
    if ((m_unreadableFile || m_archiveBeforeSave) && QFile::exists(*path) && !aside) {
        result.error = QStringLiteral("%1: the previous file could not be kept aside").arg(*path);
        qCCritical(lcAppState, "Failed to save session: %s", qUtf8Printable(*result.error));
        return result;
    }
    if (session.lines.isEmpty()) {
        if (QFile::exists(*path) && !QFile::remove(*path))
            result.error = QStringLiteral("%1: cannot be removed").arg(*path);
    } else {
        // Transcripts are private.
        result.error = writeFileAtomically(*path, encodeSession(session), /*ownerOnly=*/true);
    }
    if (result.error && aside && QFileInfo::exists(*path)) {
        // The previous file is still in place; the next save keeps it aside afresh.
        QFile::remove(*aside);
        aside.reset();
    }
    if (aside) {
        if (unreadable)
            qCInfo(lcAppState, "Kept the unreadable session file as %s", qUtf8Printable(*aside));
        else
            qCInfo(lcAppState, "Kept the whole session before the 500-line cut as %s",
                   qUtf8Printable(*aside));
    }
    result.keptAside = aside;
    if (result.error) {
        qCCritical(lcAppState, "Failed to save session: %s", qUtf8Printable(*result.error));
        return result;
    }
    m_unreadableFile.reset();
    m_archiveBeforeSave = false;
    return result;
}

} // namespace Orvinta
