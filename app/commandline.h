// The command line: the folder the main window opens in, and the main
// window's and the converter's jobs done without any window.
#pragma once

#include <QStringList>

#include <optional>

namespace morvane::app {

// Does what argv asks for that needs no window ("morvane cfg ...",
// "morvane convert ...", --help, --version) and returns the exit status;
// nullopt when the main window is to open.
std::optional<int> runWithoutWindow(int argc, char *argv[]);

// The folder the main window opens in, from the program's arguments once
// the application took its own: empty for none. Nullopt, with a message on
// standard error, when the arguments are wrong or the folder cannot be opened.
std::optional<QString> windowFolder(const QStringList &arguments);

} // namespace morvane::app
