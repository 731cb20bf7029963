#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace Orvinta {

class PreferencesStore;

/// The notes of each release, read from the appcast inside the program, and
/// the rule that shows them once after an upgrade.
class ReleaseNotes {
public:
    /// The preference holding the short version whose notes were last shown
    /// (or that was running at first launch).
    static inline const QString lastSeenVersionKey = QStringLiteral("whatsNewLastSeenVersion");
    /// The appcast bundled with the program.
    static inline const QString bundledAppcast = QStringLiteral(":/orvinta/appcast.xml");

    /// `runningVersion` nothing: the program does not know its version.
    ReleaseNotes(std::shared_ptr<PreferencesStore> store, std::optional<QString> runningVersion,
                 QString appcastPath = bundledAppcast);
    /// The running program's notes, with its own version.
    explicit ReleaseNotes(std::shared_ptr<PreferencesStore> store);

    const std::optional<QString> &shortVersion() const { return m_runningVersion; }

    /// The notes fragment of the item whose short version equals `version`
    /// exactly, trimmed; nothing when the feed, the item or its description
    /// is missing or unreadable.
    std::optional<QString> releaseNotesHTML(const QString &version) const;

    /// Whether the running version's notes are due. At first launch it
    /// stores the running version and answers false.
    bool shouldShowWhatsNew();

    /// The start-up job: when the notes are due, marks the running version
    /// as seen and returns its notes; otherwise nothing, and the stored
    /// version stays as it was (except at first launch).
    std::optional<QString> takeNotesToShow();

private:
    std::shared_ptr<PreferencesStore> m_store;
    std::optional<QString> m_runningVersion;
    QString m_appcastPath;
};

} // namespace Orvinta
