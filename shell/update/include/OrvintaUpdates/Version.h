#pragma once

#include <QStringView>

#include <compare>
#include <optional>

namespace Orvinta {

/// Compares two versions by their numeric parts ("1.10" > "1.9", "1.4" ==
/// "1.4.0"). Nothing when either is not a version: one or more runs of
/// digits joined by single dots, white space around it allowed.
std::optional<std::strong_ordering> compareVersions(QStringView a, QStringView b);

/// Whether `candidate` is a later version than `current`; a string that is
/// not a version is never newer, and nothing is newer than one.
bool isNewerVersion(QStringView candidate, QStringView current);

} // namespace Orvinta
