// Telling a picture's format from its first bytes, and finding where its
// data stops short, without decoding it.
#pragma once

#include <QByteArrayView>
#include <QSize>
#include <QString>

namespace morvane::convert {

enum class Kind { Unknown, Bmp, Gif, Jpeg, Png, Tiff, WebP, Tga };

// The format whose signature data starts with (for TGA, ends with: only
// files with the version 2 footer are told); Unknown for anything else.
Kind sniffKind(QByteArrayView data);

// The format's usual name, as shown to users ("PNG").
QString kindName(Kind kind);

struct Layout {
    bool truncated = false; // the data ends before the first picture's last byte
    QSize declaredSize;     // all but WebP: the size the headers declare, if read
};

// Walks the container structure of data (chunks, blocks, rows or run-length
// codes) up to the end of the first picture. Data whose structure is broken
// rather than cut short is not reported as truncated: the decoder judges it.
Layout inspectLayout(Kind kind, QByteArrayView data);

} // namespace morvane::convert
