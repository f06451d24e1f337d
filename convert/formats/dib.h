// Device-independent bitmaps: the pixels of BMP files and of metafile bitmap
// records. One codec reads every header, depth and compression these carry,
// and writes the 24-bit kind.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QList>
#include <QString>

namespace morvane::formats {

// What the colour table of a bitmap holds.
enum class DibColours {
    Rgb,            // colours, as in every BMP file
    PaletteIndexes, // 16-bit indexes into a logical palette given beside the bitmap
    SystemPalette,  // no table: the pixels index the system palette, drawn as greys
};

struct DibOptions {
    DibColours colours = DibColours::Rgb;
    QList<QRgb> palette; // the logical palette, for PaletteIndexes
    // Where the pixels start, counted from the start of the header; -1 when
    // they follow the colour table, as in a packed bitmap.
    qint64 pixelOffset = -1;
    int maxSide = 16384;
    qint64 maxBytes = qint64(1) << 30; // of the decoded bitmap, checked before allocating
    // Keep the transparency the bitmap carries; without it (as metafiles
    // draw bitmaps) alpha is ignored and the bitmap comes out opaque.
    bool alpha = false;
    // Fail when the pixel data ends early; without it the pixels the data
    // does not reach stay at colour 0 of the table.
    bool whole = false;
};

enum class DibFailure { None, Damaged, Truncated, TooLarge, Unsupported, OutOfMemory };

struct DibImage {
    // RGB32, ARGB32 when transparency was kept, BGR888 for plain 24-bit
    // rows; top row first. Every
    // pixel is defined: pixels that compressed data skips or never reaches
    // are colour 0 of the table. Null on failure.
    QImage image;
    DibFailure failure = DibFailure::None;
    // With Unsupported, the variant ("Huffman 1D compression"); with
    // Damaged, what is wrong; in words a user understands.
    QString detail;
    bool bottomUp = true;  // the rows were stored bottom row first
    QByteArray iccProfile; // a colour profile embedded in the header's data, if any
};

// Decodes the bitmap whose header starts dib: core (12 bytes), OS/2 2.x (16
// to 64), Windows info (40) and its extensions (52, 56, 108, 124); 1, 2, 4,
// 8, 16, 24, 32 and 64 bits per pixel; RLE4, RLE8, RLE24, bit fields with
// and without alpha; top-down or bottom-up rows. Channels of any width are
// scaled to 8 bits exactly; 64-bit pixels are linear fixed point, made sRGB.
DibImage decodeDib(QByteArrayView dib, const DibOptions &options);

// Bytes of the 40-byte header and 24-bit rows of a width x height bitmap.
qint64 dib24Size(int width, int height);

// Writes the 24-bit bottom-up bitmap of picture (in a row format, see
// inRowFormat) to out, which holds dib24Size() bytes: header, then rows
// padded to four bytes, composited onto white where transparent.
void writeDib24(const QImage &picture, int dotsPerMeterX, int dotsPerMeterY, char *out);

} // namespace morvane::formats
