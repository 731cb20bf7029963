#include <OrvintaApp/Transcript.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/AtomicFile.h>
#include <OrvintaApp/Clipboard.h>
#include <OrvintaApp/Observable.h>
#include <OrvintaApp/TranscriptExport.h>

#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <numeric>

namespace Orvinta {

int wordCount(const QString &text) {
    int total = 0;
    bool inWord = false;
    for (const QChar c : text) {
        const bool space = c.isSpace();
        if (!space && !inWord)
            ++total;
        inWord = !space;
    }
    return total;
}

void copyToClipboard(Clipboard *clipboard, const QString &text) {
    if (!clipboard)
        return;
    clipboard->clear();
    clipboard->writeText(text);
}

Transcript::Transcript(std::shared_ptr<Clipboard> clipboard, std::shared_ptr<SaveDialog> saveDialog,
                       QObject *parent)
    : QAbstractListModel(parent)
    , m_clipboard(std::move(clipboard))
    , m_saveDialog(std::move(saveDialog)) {}

int Transcript::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : lineCount();
}

QVariant Transcript::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ConfirmedLine &line = m_lines.at(index.row());
    switch (role) {
    case IdRole:
        return line.id;
    case Qt::DisplayRole:
    case TextRole:
        return line.text;
    case TimeRole:
        return line.time();
    case TranslationRole:
        return m_translations.value(line.id);
    case SpeakerRole:
        return line.speaker;
    case FromMicrophoneRole:
        return !line.speaker.isEmpty() && line.speaker == microphoneSpeaker();
    default:
        return {};
    }
}

QHash<int, QByteArray> Transcript::roleNames() const {
    return {{IdRole, "lineId"},       {TextRole, "text"},
            {TimeRole, "time"},       {TranslationRole, "translation"},
            {SpeakerRole, "speaker"}, {FromMicrophoneRole, "fromMicrophone"}};
}

int Transcript::rowOf(const QUuid &id) const {
    for (qsizetype row = m_lines.size() - 1; row >= 0; --row)
        if (m_lines[row].id == id)
            return static_cast<int>(row);
    return -1;
}

void Transcript::setInterimText(const QString &text) {
    assignNotifying(this, m_interimText, text, &Transcript::interimTextChanged);
}

const ConfirmedLine &Transcript::append(const QString &text, const QString &speaker) {
    const int row = lineCount();
    beginInsertRows({}, row, row);
    m_lines.append(ConfirmedLine::create(text, currentTimestamp(), speaker));
    m_wordCount += wordCount(text);
    endInsertRows();
    Q_EMIT lineCountChanged();
    setInterimText(QString());
    Q_EMIT linesEdited();
    return m_lines.back();
}

void Transcript::deleteLine(QUuid id) {
    for (int row = rowOf(id); row >= 0; row = rowOf(id)) {
        beginRemoveRows({}, row, row);
        m_wordCount -= wordCount(m_lines[row].text);
        m_lines.removeAt(row);
        endRemoveRows();
        Q_EMIT lineCountChanged();
    }
    if (m_translations.remove(id) > 0)
        Q_EMIT translationsChanged();
    Q_EMIT linesEdited();
}

void Transcript::restoreLine(int row, const ConfirmedLine &line, const QString &translation) {
    if (line.id.isNull() || rowOf(line.id) >= 0)
        return;
    row = std::clamp(row, 0, lineCount());
    beginInsertRows({}, row, row);
    m_lines.insert(row, line);
    m_wordCount += wordCount(line.text);
    endInsertRows();
    Q_EMIT lineCountChanged();
    if (!translation.isEmpty()) {
        m_translations.insert(line.id, translation);
        Q_EMIT translationsChanged();
    }
    Q_EMIT linesEdited();
}

void Transcript::clearAll() {
    setInterimText(QString());
    if (!m_lines.isEmpty()) {
        beginResetModel();
        m_lines.clear();
        m_wordCount = 0;
        endResetModel();
        Q_EMIT lineCountChanged();
    }
    if (!m_translations.isEmpty()) {
        m_translations.clear();
        Q_EMIT translationsChanged();
    }
    Q_EMIT linesEdited();
}

bool Transcript::setTranslation(const QString &text, const QUuid &id) {
    const bool isNew = !m_translations.contains(id);
    m_translations.insert(id, text);
    if (const int row = rowOf(id); row >= 0)
        Q_EMIT dataChanged(index(row), index(row), {TranslationRole});
    Q_EMIT translationsChanged();
    Q_EMIT translationStored();
    return isNew;
}

void Transcript::restore(QList<ConfirmedLine> lines, QHash<QUuid, QString> translations) {
    beginResetModel();
    m_lines = std::move(lines);
    m_translations = std::move(translations);
    m_wordCount =
        std::accumulate(m_lines.cbegin(), m_lines.cend(), 0,
                        [](int sum, const ConfirmedLine &l) { return sum + wordCount(l.text); });
    endResetModel();
    Q_EMIT lineCountChanged();
    Q_EMIT translationsChanged();
}

void Transcript::copyText(const QString &text) {
    copyToClipboard(m_clipboard.get(), text);
}

void Transcript::copyAllTranscript() {
    if (m_lines.isEmpty())
        return;
    QStringList texts;
    for (const ConfirmedLine &line : m_lines)
        texts << labelledText(line);
    copyToClipboard(m_clipboard.get(), texts.join(QLatin1Char('\n')));
}

void Transcript::exportAs(const QString &extension) {
    if (const std::optional<ExportFormat> format = exportFormatFromExtension(extension))
        exportTranscript(*format);
}

void Transcript::exportTranscript(ExportFormat format) {
    if (m_lines.isEmpty() || !m_saveDialog)
        return;
    const QString content = exportContent(m_lines, format);
    QPointer<Transcript> self(this);
    m_saveDialog->askForLocation(
        suggestedExportFileName(format), format, [self, content](std::optional<QString> path) {
            if (!path)
                return;
            if (const std::optional<QString> error = writeFileAtomically(*path, content.toUtf8())) {
                qCCritical(lcAppState, "Export failed: %s", qUtf8Printable(*error));
                if (self)
                    Q_EMIT self->exportFailed(QStringLiteral("Export failed: ") + *error);
            }
        });
}

} // namespace Orvinta
