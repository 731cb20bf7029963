#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/Appcast.h>
#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/UpdateLog.h>
#include <OrvintaUpdates/Version.h>

#include <OrvintaApp/PreferencesStore.h>

#include <QFile>

namespace Orvinta {

ReleaseNotes::ReleaseNotes(std::shared_ptr<PreferencesStore> store,
                           std::optional<QString> runningVersion, QString appcastPath)
    : m_store(std::move(store))
    , m_runningVersion(std::move(runningVersion))
    , m_appcastPath(std::move(appcastPath)) {}

ReleaseNotes::ReleaseNotes(std::shared_ptr<PreferencesStore> store)
    : ReleaseNotes(std::move(store), AppVersion::shortVersion()) {}

std::optional<QString> ReleaseNotes::releaseNotesHTML(const QString &version) const {
    QFile file(m_appcastPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUpdater) << "Release notes not found:" << m_appcastPath;
        return std::nullopt;
    }
    const QByteArray data = file.read(maxAppcastBytes + 1);
    QString error;
    const auto items = parseAppcast(data, &error);
    if (!items) {
        qCWarning(lcUpdater).noquote() << "Release notes cannot be read:" << error;
        return std::nullopt;
    }
    for (const AppcastItem &item : *items) {
        // Exactly as written: " 1.3" is not the notes of "1.3".
        if (item.shortVersion != version)
            continue;
        // An empty description is no notes: it would open an empty window.
        if (!item.hasDescription || item.descriptionHtml.isEmpty())
            return std::nullopt;
        return item.descriptionHtml;
    }
    return std::nullopt;
}

bool ReleaseNotes::shouldShowWhatsNew() {
    if (!m_runningVersion)
        return false;
    const std::optional<QString> lastSeen = m_store->stringValue(lastSeenVersionKey);
    if (!lastSeen) {
        // A fresh installation has nothing new to tell.
        m_store->setString(lastSeenVersionKey, *m_runningVersion);
        return false;
    }
    if (*lastSeen == *m_runningVersion)
        return false;
    // Going back to an older release is no news, and showing its notes would
    // show the newer release's notes a second time on the way forward again.
    if (isNewerVersion(*lastSeen, *m_runningVersion))
        return false;
    return releaseNotesHTML(*m_runningVersion).has_value();
}

std::optional<QString> ReleaseNotes::takeNotesToShow() {
    if (!shouldShowWhatsNew() || !m_runningVersion)
        return std::nullopt;
    std::optional<QString> notes = releaseNotesHTML(*m_runningVersion);
    if (notes)
        m_store->setString(lastSeenVersionKey, *m_runningVersion);
    return notes;
}

} // namespace Orvinta
