#include <OrvintaApp/SessionStore.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/AtomicFile.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

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
        lines.append(QJsonObject{{QStringLiteral("id"), idText(line.id)},
                                 {QStringLiteral("text"), line.text},
                                 {QStringLiteral("timestamp"), line.timestamp}});
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
        session.lines.append({id, member(line, "text", QJsonValue::String, "a line").toString(),
                              member(line, "timestamp", QJsonValue::Double, "a line").toDouble()});
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

std::optional<QString> SessionStore::sessionFileURL() const {
    const QString dataHome =
        m_dataHome.value_or(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    if (dataHome.isEmpty()) {
        qCCritical(lcAppState) << "Cannot locate Application Support directory";
        return std::nullopt;
    }
    const QString folder = QDir(dataHome).filePath(QStringLiteral("Orvinta"));
    if (!QDir().mkpath(folder)) {
        qCCritical(lcAppState, "Cannot create session directory: %s",
                   qUtf8Printable(QStringLiteral("cannot create %1").arg(folder)));
        return std::nullopt;
    }
    return QDir(folder).filePath(QStringLiteral("session.json"));
}

std::optional<SessionData> SessionStore::read() {
    const std::optional<QString> path = sessionFileURL();
    if (!path || !QFile::exists(*path))
        return std::nullopt;
    QFile file(*path);
    try {
        if (!file.open(QIODevice::ReadOnly))
            throw SessionFormatError(file.errorString().toStdString());
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw SessionFormatError(file.errorString().toStdString());
        return decodeSession(bytes);
    } catch (const SessionFormatError &) {
        m_unreadableFile = *path;
        throw;
    }
}

void SessionStore::keepUnreadableFile(const QString &path) {
    if (!m_unreadableFile || *m_unreadableFile != path || !QFile::exists(path))
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString backup =
        QFileInfo(path).dir().filePath(QStringLiteral("session.unreadable-%1.json").arg(stamp));
    if (QFile::rename(path, backup))
        qCInfo(lcAppState, "Kept the unreadable session file as %s", qUtf8Printable(backup));
    else
        qCWarning(lcAppState, "Could not keep the unreadable session file as %s",
                  qUtf8Printable(backup));
    m_unreadableFile.reset();
}

void SessionStore::save(const SessionData &session) {
    const std::optional<QString> path = sessionFileURL();
    if (!path)
        return;
    keepUnreadableFile(*path);
    if (session.lines.isEmpty()) {
        QFile::remove(*path);
        return;
    }
    // Transcripts are private.
    if (const auto error = writeFileAtomically(*path, encodeSession(session), /*ownerOnly=*/true))
        qCCritical(lcAppState, "Failed to save session: %s", qUtf8Printable(*error));
}

} // namespace Orvinta
