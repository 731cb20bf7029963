#pragma once

// orvinta-cli's keyboard commands: dictate (hold a key, speak, release, the
// text is printed and pasted at the cursor), paste (a text at the cursor) and
// shortcuts (the five global shortcuts as this display registers them).

namespace Orvinta::Cli {

/// Whether `command` is one of the keyboard commands.
bool isInputCommand(const char *command);
/// Runs it with the whole command line; returns the exit status.
int runInputCommand(int argc, char **argv);

} // namespace Orvinta::Cli
