#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Orvinta {

/// Writes `bytes` through a temporary file in the same folder that then
/// replaces `path`, so a reader never sees half a file. With `ownerOnly` the
/// new file is readable by its owner alone before any byte is written.
/// Returns the error description on failure; the old file is then untouched.
std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes,
                                           bool ownerOnly = false);

} // namespace Orvinta
