// Paths and file names as this platform's file systems take them.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace morvane::base {

// How this platform's file systems compare names: case-insensitively on
// Windows and macOS, case-sensitively elsewhere.
Qt::CaseSensitivity fileNameCaseSensitivity();

// True when path names a folder whose entries this process may list.
bool isReadableFolder(const QString &path);

// True when path names a folder or a place one can be made: the nearest
// part of it that exists is a folder. False for an empty path.
bool isFolderOrMakeable(const QString &path);

// The absolute, clean form of path with the platform's separators; at a
// drive's root it ends in a separator, elsewhere it does not; empty for an empty path.
QString normalFolderPath(const QString &path);

// folder, the platform's separator unless folder already ends in one, and name.
QString joinPath(const QString &folder, const QString &name);

// True when name, a file name's bytes, comes back unchanged from a QString
// (QFile::decodeName, then QFile::encodeName): Qt can then open the file it
// names. Quick for plain ASCII names, which always do.
bool isFaithfulName(QByteArrayView name);

// name's bytes as text a user can read and type back: printable ASCII as it
// is, every other byte as \xHH ("caf\xe9.jpg").
QString escapedName(QByteArrayView name);

} // namespace morvane::base
