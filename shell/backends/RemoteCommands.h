#pragma once

// What orvinta-cli hold and toggle ask of a running Orvinta (the tray
// application, or orvinta-cli dictate) through its local socket: the keys
// the desktop's own bindings report where Orvinta cannot watch them itself.

#include "RemoteCommand.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace Orvinta {

class AppState;
class RemoteHoldKey;

/// The commands one running program answers.
struct RemoteCommands {
    AppState *state = nullptr;
    std::shared_ptr<RemoteHoldKey> holdKey;
    /// orvinta-cli dictate: only the hold key and toggle dictation.
    bool dictationOnly = false;

    /// Runs one command line: "hold press STAMP", "hold release STAMP" (the
    /// stamp: when the command started, see processStartStamp) or "toggle
    /// recording|auto-copy|auto-paste|overlay|dictation". Empty once done,
    /// else why not.
    QString run(const QByteArray &command) const;
};

/// The line orvinta-cli sends for its arguments ("hold", "press"); empty
/// with `error` set for arguments that are no command.
QByteArray remoteCommandLine(const QStringList &arguments, QString *error);

/// The socket of a running orvinta-cli dictate, beside the application's.
inline const QString dictateSocketName = QStringLiteral("orvinta-dictate.socket");

} // namespace Orvinta
