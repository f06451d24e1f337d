// Replacing a file whole or not at all.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace morvane::convert {

// Writes bytes to a temporary file in path's folder, flushes it and renames
// it over path. On failure the temporary file is removed, a file already at
// path is left as it was, and *error says why.
bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error);

} // namespace morvane::convert
