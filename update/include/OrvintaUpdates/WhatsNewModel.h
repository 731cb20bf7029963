#pragma once

#include <OrvintaUpdates/NotesHtml.h>

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

class ReleaseNotes;

/// What the "What's New" window shows, and whether it is up. The window
/// binds to the properties, calls dismiss() from its "Continue" button and
/// its close button, and comes to the front on raiseRequested().
class WhatsNewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell makes the release notes model")
    Q_PROPERTY(QString version READ version NOTIFY contentChanged)
    /// "What's New in " + version.
    Q_PROPERTY(QString title READ title NOTIFY contentChanged)
    /// The whole notes document, for a Text item in rich-text format.
    Q_PROPERTY(QString html READ html NOTIFY contentChanged)
    Q_PROPERTY(bool visible READ isVisible NOTIFY visibleChanged)
    Q_PROPERTY(
        bool darkColorScheme READ darkColorScheme WRITE setDarkColorScheme NOTIFY contentChanged)

public:
    explicit WhatsNewModel(QObject *parent = nullptr);

    QString version() const { return m_version; }
    QString title() const;
    QString html() const;
    bool isVisible() const { return m_visible; }
    bool darkColorScheme() const { return m_scheme == NotesHtml::ColorScheme::dark; }
    void setDarkColorScheme(bool dark);

    /// Shows the notes of `version`. While the window is up it only comes to
    /// the front and keeps what it shows.
    Q_INVOKABLE void show(const QString &version, const QString &notesHtml);
    Q_INVOKABLE void dismiss();
    /// The start-up job: shows the running version's notes when they are
    /// due (marking them seen); true when it did.
    bool showNotesIfNew(ReleaseNotes &notes);

Q_SIGNALS:
    void contentChanged();
    void visibleChanged();
    void raiseRequested();

private:
    QString m_version;
    QString m_notes;
    bool m_visible = false;
    NotesHtml::ColorScheme m_scheme = NotesHtml::ColorScheme::light;
};

} // namespace Orvinta
