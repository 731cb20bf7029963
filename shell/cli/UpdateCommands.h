#pragma once

class QCoreApplication;

namespace Orvinta {

/// `orvinta-cli check-update [--feed URL] [--ca-file PEM] [--timeout SECONDS]`:
/// 0 with the answer on standard output, 1 with one line on standard error
/// when the feed cannot be read or understood, 2 for a wrong command line.
int checkUpdateCommand(QCoreApplication &app);

} // namespace Orvinta
