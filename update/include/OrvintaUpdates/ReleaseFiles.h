#pragma once

#include <OrvintaUpdates/Appcast.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/// The release notes of the appcast written again for the installed
/// package: AppStream's releases (the software centre) and a Debian
/// changelog. The appcast stays the one place release notes are written.
namespace Orvinta::ReleaseFiles {

/// A piece of release notes in plain text: a paragraph (a heading is one
/// too) or a list of items. Inline markup keeps only its words.
struct NotesBlock {
    QString paragraph;
    QStringList items;

    bool isList() const { return paragraph.isEmpty(); }
    bool operator==(const NotesBlock &) const = default;
};

QList<NotesBlock> notesBlocks(const QString &html);

/// AppStream's `<releases>` element, newest release first, each indented by
/// `indent` spaces more than the element. Nothing and a one-line reason in
/// `error` when an item has no version or no date.
std::optional<QString> appStreamReleases(const QList<AppcastItem> &items, int indent,
                                         QString *error = nullptr);

/// A Debian changelog of `source`, newest release first: each heading a
/// starred line, each list item a dashed one under it, wrapped to 80 columns.
/// Fails like appStreamReleases().
std::optional<QString> debianChangelog(const QList<AppcastItem> &items, const QString &source,
                                       const QString &maintainer, QString *error = nullptr);

} // namespace Orvinta::ReleaseFiles
