#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/WhatsNewModel.h>

namespace Orvinta {

WhatsNewModel::WhatsNewModel(QObject *parent)
    : QObject(parent) {}

QString WhatsNewModel::title() const {
    return QStringLiteral("What's New in ") + m_version;
}

QString WhatsNewModel::html() const {
    return NotesHtml::document(m_notes, m_scheme);
}

void WhatsNewModel::setDarkColorScheme(bool dark) {
    const auto scheme = dark ? NotesHtml::ColorScheme::dark : NotesHtml::ColorScheme::light;
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    Q_EMIT contentChanged();
}

void WhatsNewModel::show(const QString &version, const QString &notesHtml) {
    if (m_visible) {
        Q_EMIT raiseRequested();
        return;
    }
    m_version = version;
    m_notes = notesHtml;
    Q_EMIT contentChanged();
    m_visible = true;
    Q_EMIT visibleChanged();
    Q_EMIT raiseRequested();
}

bool WhatsNewModel::showNotesIfNew(ReleaseNotes &notes) {
    const std::optional<QString> html = notes.takeNotesToShow();
    if (!html || !notes.shortVersion())
        return false;
    show(*notes.shortVersion(), *html);
    return true;
}

void WhatsNewModel::dismiss() {
    if (!m_visible)
        return;
    m_visible = false;
    Q_EMIT visibleChanged();
}

} // namespace Orvinta
