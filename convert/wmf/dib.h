// Device-independent bitmaps as metafile records carry them: a header,
// optional bit masks, a colour table and the pixel rows, packed together.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QList>
#include <QString>

namespace morvane::wmf {

struct DibImage {
    QImage image;         // Format_RGB32, top row first; null on failure
    bool bottomUp = true; // the rows were stored bottom row first
    QString error;
};

// Decodes a packed DIB of 1, 4, 8, 16, 24 or 32 bits per pixel, with RLE4,
// RLE8 or bit-field compression. colorUsage says whether the colour table
// holds colours or indexes into palette. Refuses, before allocating, a
// bitmap of more than maxBytes once decoded.
DibImage decodeDib(QByteArrayView bytes, int colorUsage, const QList<QRgb> &palette, qint64 maxBytes);

// Bytes of the packed 24-bit DIB of a width x height picture.
qint64 dib24Size(int width, int height);

// Writes the packed 24-bit bottom-up DIB of picture, a Format_RGB32 image,
// to out, which holds dib24Size() bytes: rows padded to four bytes, 96 dots
// per inch.
void writeDib24(const QImage &picture, char *out);

} // namespace morvane::wmf
