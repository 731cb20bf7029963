#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace Orvinta {

/// Writes `bytes` through a temporary file in the same folder that then
/// replaces `path`, so a reader never sees half a file. With `ownerOnly` the
/// new file is readable by its owner alone before any byte is written. Where
/// `path` names something other than a regular file (a pipe, a terminal, a
/// device), the bytes are written through to it instead of replacing it.
/// Returns the error description on failure; the old file is then untouched.
std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes,
                                           bool ownerOnly = false);

/// Reads a regular file of at most `maxBytes`. Anything else (a folder, a
/// pipe, a device, a file that is too large) is refused without blocking.
/// Returns the bytes or the error description.
std::variant<QByteArray, QString> readRegularFile(const QString &path, qint64 maxBytes);

/// Writes all of `bytes` to a file descriptor, however many calls it takes.
/// Returns 0, or the errno of the failure.
int writeAll(int descriptor, const QByteArray &bytes);

} // namespace Orvinta
