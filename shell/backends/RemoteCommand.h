#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace Orvinta {

/// One line of orvinta-cli hold or toggle as it crosses the local socket:
/// "hold press STAMP", "hold release STAMP" or "toggle NAME". Any program of
/// the user can write to the socket, so a line is read strictly.
struct RemoteCommand {
    enum class Kind { holdPress, holdRelease, toggle };
    Kind kind = Kind::toggle;
    /// Hold: when the command started (see processStartStamp).
    std::uint64_t stamp = 0;
    /// Toggle: recording, auto-copy, auto-paste, overlay or dictation.
    QString toggle;

    friend bool operator==(const RemoteCommand &, const RemoteCommand &) = default;

    QByteArray line() const;
    /// Nothing for a line that is none of the above; a stamp is decimal digits.
    static std::optional<RemoteCommand> parse(const QByteArray &line);
    /// Whether `name` is something `toggle` switches.
    static bool isToggle(const QString &name);
};

} // namespace Orvinta
