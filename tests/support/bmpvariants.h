// BMP files in the variants other programs write, built field by field,
// each with the picture it holds worked out here, apart from any reader.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

#include <array>

namespace fixtures {

// The fields of a BMP file that the variants differ in.
struct BmpLayout {
    quint32 headerSize = 40;   // 12 core, 16..64 OS/2 2.x, 40, 52, 56, 108, 124
    int bits = 24;
    quint32 compression = 0;
    bool topDown = false;
    // Red, green, blue and alpha masks: in the header when it has room for
    // them (52 bytes and more), else the first `masksAfterHeader` of them
    // right after it.
    std::array<quint32, 4> masks {};
    int masksAfterHeader = 0;
    QList<QRgb> palette;      // 3-byte entries under a core header, else 4-byte
    quint32 coloursUsed = 0;  // as declared; 0 declares none
    QByteArray iccProfile;    // embedded after the pixels (124-byte header only)
};

// A file of layout around pixels (rows as stored, padding included).
QByteArray bmpFile(const BmpLayout &layout, int width, int height, const QByteArray &pixels);

// channel (0..255) stored in a field of max + 1 levels, rounded to nearest.
quint32 quantized(int channel, quint32 max);
// A stored field value back to 0..255, rounded to nearest.
int widened(quint32 value, quint32 max);

struct BmpVariant {
    QByteArray name;
    QByteArray file;
    QImage expected; // ARGB32
};

// One file of each variant: bit fields of unusual widths and places, with
// and without alpha; every header size; 2-bit and over-long palettes;
// 64-bit; OS/2 RLE24; RLE4 and RLE8 with delta escapes and an early end.
QList<BmpVariant> bmpVariants();

} // namespace fixtures
