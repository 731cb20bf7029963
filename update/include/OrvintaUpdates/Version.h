#pragma once

#include <QString>

#include <compare>
#include <optional>

namespace Orvinta {

/// Compares two versions by their numeric parts ("1.10" > "1.9", "1.4" ==
/// "1.4.0"). Nothing when either is not a version: one or more runs of
/// digits joined by single dots, white space around it allowed.
std::optional<std::strong_ordering> compareVersions(const QString &a, const QString &b);

/// Whether `candidate` is a later version than `current`; a string that is
/// not a version is never newer, and nothing is newer than one.
bool isNewerVersion(const QString &candidate, const QString &current);

} // namespace Orvinta
