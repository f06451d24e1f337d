// Reading and writing through Qt's image plugins, for the formats whose
// codecs come from them.
#pragma once

#include "convert/formats/format.h"

#include <QSize>

namespace morvane::formats {

// What a walk of a file's structure found, before any decoding.
struct Layout {
    bool truncated = false; // the data ends before the picture's last byte
    QSize declaredSize;     // the size the headers declare, when read
};

// Reads data with Qt's reader for qtFormat ("png"), after the layout found
// by the format's own walk: a declared size past limits or a cut file is
// refused before Qt decodes anything.
Decoded readWithQt(QByteArrayView data, const Layout &layout, const char *qtFormat, const QString &name,
                   const Limits &limits);

// Encodes picture with Qt's writer for qtFormat; quality -1 keeps Qt's default.
Encoded writeWithQt(const QImage &picture, const char *qtFormat, const QString &name, int quality = -1);

} // namespace morvane::formats
