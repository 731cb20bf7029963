#pragma once

#include <OrvintaApp/AppEnums.h>
#include <OrvintaApp/ConfirmedLine.h>

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

#include <memory>

namespace Orvinta {

class Clipboard;
class SaveDialog;

/// The confirmed lines, oldest first, with their translations and the
/// interim text. A new line inserts one row; nothing resets the list but a
/// restore.
class Transcript : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The transcript belongs to AppState")
    Q_PROPERTY(int lineCount READ lineCount NOTIFY lineCountChanged)
    Q_PROPERTY(int totalWordCount READ totalWordCount NOTIFY lineCountChanged)
    Q_PROPERTY(QString interimText READ interimText NOTIFY interimTextChanged)

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        TextRole,
        TimeRole,
        TranslationRole,
        SpeakerRole,
        /// The speaker is the microphone's of a two-sided run.
        FromMicrophoneRole
    };
    Q_ENUM(Role)

    Transcript(std::shared_ptr<Clipboard> clipboard, std::shared_ptr<SaveDialog> saveDialog,
               QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QList<ConfirmedLine> &confirmedLines() const { return m_lines; }
    int lineCount() const { return static_cast<int>(m_lines.size()); }
    int totalWordCount() const { return m_wordCount; }
    const QHash<QUuid, QString> &translations() const { return m_translations; }
    QString interimText() const { return m_interimText; }

    void setInterimText(const QString &text);
    /// Appends a line of already trimmed, non-empty text and clears the
    /// interim text.
    const ConfirmedLine &append(const QString &text, const QString &speaker = {});
    Q_INVOKABLE void deleteLine(QUuid id);
    /// Puts a deleted line back at `row` (clamped to the lines there are now),
    /// with its translation when it had one; a line still present stays once.
    void restoreLine(int row, const ConfirmedLine &line, const QString &translation);
    Q_INVOKABLE void clearAll();
    /// Stores a line's translation; true when the line had none before.
    bool setTranslation(const QString &text, const QUuid &id);
    /// Replaces everything with a restored session.
    void restore(QList<ConfirmedLine> lines, QHash<QUuid, QString> translations);

    /// One piece of text on the clipboard (a line, a translation).
    Q_INVOKABLE void copyText(const QString &text);
    /// Every line on the clipboard, one per line, with its speaker.
    Q_INVOKABLE void copyAllTranscript();
    /// Asks for a place and writes the transcript there.
    void exportTranscript(Orvinta::ExportFormat format);
    /// The same for QML, by file extension: "txt", "srt" or "vtt"; others are ignored.
    Q_INVOKABLE void exportAs(const QString &extension);

Q_SIGNALS:
    void lineCountChanged();
    void interimTextChanged();
    void translationsChanged();
    /// Lines were added, deleted or cleared: the session is saved now.
    void linesEdited();
    /// A translation was stored: the session is saved a little later.
    void translationStored();
    void exportFailed(const QString &description);

private:
    int rowOf(const QUuid &id) const;

    std::shared_ptr<Clipboard> m_clipboard;
    std::shared_ptr<SaveDialog> m_saveDialog;
    QList<ConfirmedLine> m_lines;
    QHash<QUuid, QString> m_translations;
    QString m_interimText;
    int m_wordCount = 0;
};

/// Words separated by white space.
int wordCount(const QString &text);

/// Clears the clipboard, then puts the text on it.
void copyToClipboard(Clipboard *clipboard, const QString &text);

} // namespace Orvinta
