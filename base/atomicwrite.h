// Replacing a file whole or not at all, clearing up after writes that were
// cut short, and making a run's writes durable.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <chrono>

namespace morvane::base {

// Writes bytes to a new temporary file in path's folder and renames it over
// path, so that path holds either its old content or all of bytes, never a
// part. On failure the temporary file is removed, a file already at path is
// left as it was, and *error says why. A replaced file keeps its permissions;
// a new one gets the usual ones (umask applied). The temporary file has a
// short hidden name of its own (isTemporaryFileName) whatever the length of
// path's name, and is locked while it is written. The data is handed to the
// system, which is asked to start writing it out, but not waited for: a run
// does that once (flushFileSystem), and finds little left to write then.
bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error);

// True when name is one that writeFileAtomically gives its temporary files:
// ".morvane-", sixteen lowercase hexadecimal digits and ".tmp".
bool isTemporaryFileName(QStringView name);

// Removes the temporary files that writes cut short (a killed program) left
// in folder: regular files with our temporary names only, owned by this
// user, last written at least olderThan ago, and not locked by a write under
// way. Returns how many were removed; anything it cannot check is left alone.
int removeLeftTemporaryFiles(const QString &folder,
                             std::chrono::seconds olderThan = std::chrono::minutes(10));

// Forces everything written to folder's file system onto the disk, renames
// included: one durable point for a whole run. False and *error set when the
// system reports that it could not.
bool flushFileSystem(const QString &folder, QString *error);

} // namespace morvane::base
