#pragma once

// orvinta-cli and the application source: the applications playing sound
// (apps), and listening to one of them (listen --source app --app NAME).

#include <QString>

namespace Orvinta {
struct AppServices;
class ListeningController;
} // namespace Orvinta

namespace Orvinta::Cli {

/// Prints the applications playing now, one a line: the name to pass to
/// --app, a tab, and what it plays (or its program). Returns the exit status.
int listApplications();

/// Lays "listen from `application`" over the run's preferences; false,
/// with the usage error said, when no application is named.
bool chooseApplicationSource(AppServices &services, const QString &application);

/// Says on standard error each time the run starts waiting for its application.
void reportWaiting(ListeningController &listening);

} // namespace Orvinta::Cli
