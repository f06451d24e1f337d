// The command line: the folder the main window opens in, and the main
// window's and the converter's jobs done without any window.
#pragma once

#include <QByteArrayList>
#include <QString>

#include <optional>

namespace morvane::app {

// Does what argv asks for that needs no window ("morvane cfg ...",
// "morvane convert ...", --help, --version) and returns the exit status;
// nullopt when the main window is to open, with *folder set to the folder
// it opens in (empty for the current one). Arguments the window cannot take,
// and a window asked for where there is no display, get a one-line message
// and exit status 2 here, before any window system is touched.
std::optional<int> runWithoutWindow(int argc, char *argv[], QString *folder);

// The folder the main window opens in, from the program's arguments as
// bytes, the program first (the window system's own options, such as
// -platform NAME, are passed over): empty for none. Nullopt, with a message
// on standard error, when the arguments are wrong or the folder (the current
// one when none is given) cannot be opened.
std::optional<QString> windowFolder(const QByteArrayList &arguments);

} // namespace morvane::app
