// Replacing a file whole or not at all.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace morvane::convert {

// Writes bytes to a new temporary file in path's folder and renames it over
// path, so that path holds either its old content or all of bytes, never a
// part. On failure the temporary file is removed, a file already at path is
// left as it was, and *error says why. A replaced file keeps its permissions;
// a new one gets the usual ones (umask applied). The data is handed to the
// system but not forced to disk (no fsync): that would cost more than
// converting a picture.
bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error);

} // namespace morvane::convert
