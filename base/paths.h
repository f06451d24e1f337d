// Paths and file names as this platform's file systems take them.
#pragma once

#include <QString>

namespace morvane::base {

// How this platform's file systems compare names: case-insensitively on
// Windows and macOS, case-sensitively elsewhere.
Qt::CaseSensitivity fileNameCaseSensitivity();

// True when path names a folder whose entries this process may list.
bool isReadableFolder(const QString &path);

// The absolute, clean form of path with the platform's separators; at a
// drive's root it ends in a separator, elsewhere it does not; empty for an empty path.
QString normalFolderPath(const QString &path);

// folder, the platform's separator unless folder already ends in one, and name.
QString joinPath(const QString &folder, const QString &name);

} // namespace morvane::base
