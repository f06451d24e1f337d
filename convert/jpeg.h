// JPEG through libjpeg-turbo, both ways.
#pragma once

#include "convert/codec.h"

#include <QByteArrayView>

namespace morvane::convert {

// Decodes baseline, progressive, grayscale and CMYK JPEG data, with the
// EXIF orientation applied; refuses pictures beyond limits before decoding.
// Grayscale pictures come out as Grayscale8, all others as RGB32.
Decoded decodeJpeg(QByteArrayView data, const Limits &limits);

// Encodes picture, composited onto white, at quality (1..100) with full
// resolution chroma and optimised Huffman tables. Grayscale8 pictures give a
// one-component JPEG.
Encoded encodeJpeg(const QImage &picture, int quality);

// The EXIF orientation (1..8) found in the payload of an APP1 segment
// (starting with "Exif\0\0"), or 1 when there is none or it is unreadable.
int exifOrientation(QByteArrayView app1);

// picture turned as EXIF orientation (1..8) prescribes for display.
QImage orientedPicture(const QImage &picture, int orientation);

} // namespace morvane::convert
