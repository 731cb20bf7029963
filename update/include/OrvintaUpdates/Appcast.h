#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace Orvinta {

/// The update framework's namespace for the feed's own elements.
inline constexpr char sparkleNamespace[] = "http://www.andymatuschak.org/xml-namespaces/sparkle";

/// The largest feed read or parsed; a real appcast is a few kilobytes.
inline constexpr qsizetype maxAppcastBytes = 1024 * 1024;

/// One release in an appcast (an RSS 2.0 `item`).
struct AppcastItem {
    QString title;
    /// pubDate (RFC 2822); invalid when absent or not a date.
    QDateTime published;
    /// sparkle:version (element, else the enclosure's attribute).
    QString version;
    /// sparkle:shortVersionString (element, else the enclosure's attribute),
    /// exactly as written: the release notes match it without trimming.
    QString shortVersion;
    /// The first `description`'s text, white space around it removed: an HTML fragment.
    QString descriptionHtml;
    /// Whether the item has a `description` element at all.
    bool hasDescription = false;
    QUrl releaseNotesLink;
    /// The enclosure's url, else the item's `link`: where the user gets the release.
    QUrl downloadUrl;

    /// The version a user reads: the short version, else the build version.
    QString displayedVersion() const;
    /// Where the user gets this release: the download, else its notes page.
    QUrl downloadPage() const { return downloadUrl.isEmpty() ? releaseNotesLink : downloadUrl; }
};

/// Whether the program may fetch or open `url` for the feed: HTTPS, or plain
/// HTTP on this computer's loopback addresses (local testing).
bool isSecureWebAddress(const QUrl &url);

/// Parses an appcast. No network access, no document type, no entity
/// expansion, at most maxAppcastBytes: a hostile feed is an error, never a
/// crash or a hang. An address for download or notes that is not a secure
/// web address makes the feed invalid. On failure, nothing and a one-line reason in `error`.
std::optional<QList<AppcastItem>> parseAppcast(QByteArrayView xml, QString *error = nullptr);

/// The item that offers the newest version by numeric comparison of
/// displayed versions; items whose version is not a version are skipped.
std::optional<AppcastItem> newestItem(const QList<AppcastItem> &items);

} // namespace Orvinta
