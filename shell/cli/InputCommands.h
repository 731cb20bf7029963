#pragma once

// orvinta-cli's keyboard and desktop commands: dictate (hold a key, speak,
// release, the text is printed and pasted at the cursor), paste (a text at
// the cursor), shortcuts (the five global shortcuts as this display
// registers them), hold and toggle (the desktop's key bindings reaching a
// running Orvinta) and doctor (what works on this desktop).

namespace Orvinta::Cli {

/// Whether `command` is one of the keyboard commands.
bool isInputCommand(const char *command);
/// Runs it with the whole command line; returns the exit status.
int runInputCommand(int argc, char **argv);

} // namespace Orvinta::Cli
