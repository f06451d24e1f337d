#include "bmpvariants.h"

#include "bitmaps.h"

#include <QRandomGenerator>

#include <cmath>
#include <functional>

namespace fixtures {

namespace {

constexpr quint32 ProfileEmbedded = 0x4D424544; // "MBED"
constexpr quint32 SrgbSpace = 0x73524742;       // "sRGB"

// Rows bottom row first (top row first when topDown), each value of bits
// bits little-endian or packed high bits first, padded to four bytes.
QByteArray rows(int width, int height, int bits, bool topDown, const std::function<quint64(int, int)> &value)
{
    QByteArray out;
    const int stride = (width * bits + 31) / 32 * 4;
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        QByteArray row(stride, '\0');
        for (int x = 0; x < width; ++x) {
            const quint64 v = value(x, y);
            if (bits < 8) {
                const int bit = x * bits;
                row[bit / 8] = char(uchar(row[bit / 8]) | uchar(v << (8 - bits - bit % 8)));
            } else {
                for (int b = 0; b < bits / 8; ++b)
                    row[x * bits / 8 + b] = char((v >> (8 * b)) & 0xFF);
            }
        }
        out += row;
    }
    return out;
}

int shiftOf(quint32 mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// A small picture of random colours and opacities.
QImage source()
{
    QRandomGenerator rng(20261207);
    QImage picture(7, 5, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, rng.generate());
    return picture;
}

struct FieldCase {
    const char *name;
    int bits;
    std::array<quint32, 4> masks;
    quint32 headerSize;
    quint32 compression;
    int masksAfterHeader;
    bool clearAlpha; // every alpha field stored as zero
};

BmpVariant bitFields(const QImage &picture, const FieldCase &c)
{
    BmpLayout layout;
    layout.headerSize = c.headerSize;
    layout.bits = c.bits;
    layout.compression = c.compression;
    layout.masks = c.masks;
    layout.masksAfterHeader = c.masksAfterHeader;
    QImage expected(picture.size(), QImage::Format_ARGB32);
    const auto pixel = [&](int x, int y) -> quint64 {
        const QRgb p = picture.pixel(x, y);
        const int channels[4] = {qRed(p), qGreen(p), qBlue(p), c.clearAlpha ? 0 : qAlpha(p)};
        quint64 v = 0;
        int out[4] = {0, 0, 0, 255};
        for (int i = 0; i < 4; ++i) {
            if (!c.masks[i])
                continue;
            const int shift = shiftOf(c.masks[i]);
            const quint32 max = c.masks[i] >> shift;
            const quint32 q = quantized(channels[i], max);
            v |= quint64(q) << shift;
            out[i] = widened(q, max);
        }
        // A picture whose every alpha is zero is shown opaque.
        expected.setPixel(x, y, qRgba(out[0], out[1], out[2], c.clearAlpha ? 255 : out[3]));
        return v;
    };
    const QByteArray pixels = rows(picture.width(), picture.height(), c.bits, false, pixel);
    return {c.name, bmpFile(layout, picture.width(), picture.height(), pixels), expected};
}

// A palette picture: index (x, y) of palette.
BmpVariant indexed(const char *name, BmpLayout layout, const QSize &size, const std::function<int(int, int)> &index)
{
    QImage expected(size, QImage::Format_ARGB32);
    const QByteArray pixels = rows(size.width(), size.height(), layout.bits, false, [&](int x, int y) {
        expected.setPixel(x, y, layout.palette[index(x, y)] | 0xFF000000u);
        return quint64(index(x, y));
    });
    return {name, bmpFile(layout, size.width(), size.height(), pixels), expected};
}

double srgbToLinear(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double linearToSrgb(double c)
{
    return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}

// 64 bits: blue, green, red, alpha as signed 2.13 fixed point, linear light.
BmpVariant fixedPoint(const QImage &picture)
{
    BmpLayout layout;
    layout.bits = 64;
    QImage expected(picture.size(), QImage::Format_ARGB32);
    const auto sample = [](int v) { return quint64(quint16(qint16(v))); };
    const QByteArray pixels = rows(picture.width(), picture.height(), 64, false, [&](int x, int y) {
        const QRgb p = picture.pixel(x, y);
        int v[4];
        for (int i = 0; i < 3; ++i) {
            const int c = i == 0 ? qRed(p) : i == 1 ? qGreen(p) : qBlue(p);
            v[i] = int(std::lround(srgbToLinear(c / 255.0) * 8192));
        }
        v[3] = int(std::lround(qAlpha(p) * 8192 / 255.0));
        if (x == 0 && y == 0) {
            // Out of range one way and the other, and half of full light.
            v[0] = -100;
            v[1] = 0x2400;
            v[2] = 0x1000;
        }
        int out[4];
        for (int i = 0; i < 3; ++i)
            out[i] = int(std::lround(linearToSrgb(std::clamp(v[i], 0, 8192) / 8192.0) * 255));
        out[3] = int(std::lround(v[3] * 255 / 8192.0));
        expected.setPixel(x, y, qRgba(out[0], out[1], out[2], out[3]));
        return sample(v[2]) | sample(v[1]) << 16 | sample(v[0]) << 32 | sample(v[3]) << 48;
    });
    return {"64-bit linear fixed point", bmpFile(layout, picture.width(), picture.height(), pixels), expected};
}

// Expected pictures of run-length files, given top row first.
QImage picture(int width, const QList<QRgb> &pixels)
{
    QImage out(width, int(pixels.size()) / width, QImage::Format_ARGB32);
    for (int i = 0; i < pixels.size(); ++i)
        out.setPixel(i % width, i / width, pixels[i]);
    return out;
}

QList<BmpVariant> runLength()
{
    constexpr QRgb C = 0xFF00FFFF, R = 0xFFFF0000, G = 0xFF00FF00, Y = 0xFFFFFF00, K = 0xFF000000,
                   A = 0xFF102030, B = 0xFFA0B0C0, P = 0xFF405060, Q = 0xFF708090;
    QList<BmpVariant> out;
    BmpLayout rle8;
    rle8.bits = 8;
    rle8.compression = 1;
    rle8.palette = {C, R, G, Y};
    // Bottom row: 3 x red; a delta one right and one up to x 4; green;
    // end of line; literal red, green, yellow; end of bitmap before the top row.
    out.append({"RLE8 delta and early end",
                bmpFile(rle8, 5, 4, QByteArray::fromHex("0301" "00020101" "0102" "0000" "000301020300" "0001")),
                picture(5, {C, C, C, C, C, /**/ R, G, Y, C, C, /**/ C, C, C, C, G, /**/ R, R, R, C, C})});
    BmpLayout rle4 = rle8;
    rle4.bits = 4;
    rle4.compression = 2;
    // Bottom row: 3 pixels alternating red, green; end of line; a delta
    // over the middle row and two pixels; literal yellow, red, green; end
    // of bitmap before the top row.
    out.append({"RLE4 delta and early end",
                bmpFile(rle4, 5, 4, QByteArray::fromHex("0312" "0000" "00020201" "00033120" "0001")),
                picture(5, {C, C, C, C, C, /**/ C, C, Y, R, G, /**/ C, C, C, C, C, /**/ R, G, R, C, C})});
    BmpLayout rle24;
    rle24.headerSize = 64;
    rle24.compression = 4;
    // Bottom row: 2 x A, literal P, Q, P (padded), end of line; a delta to
    // x 2 two rows up; one B; end of bitmap.
    out.append({"OS/2 RLE24",
                bmpFile(rle24, 5, 3,
                        QByteArray::fromHex("02302010" "0003" "605040" "908070" "605040" "00" "0000" "00020201"
                                            "01c0b0a0" "0001")),
                picture(5, {K, K, B, K, K, /**/ K, K, K, K, K, /**/ A, A, P, Q, P})});
    return out;
}

} // namespace

quint32 quantized(int channel, quint32 max)
{
    return quint32((quint64(channel) * max + 127) / 255);
}

int widened(quint32 value, quint32 max)
{
    return int((quint64(value) * 255 + max / 2) / max);
}

QByteArray bmpFile(const BmpLayout &layout, int width, int height, const QByteArray &pixels)
{
    QByteArray header;
    const int entryBytes = layout.headerSize == 12 ? 3 : 4;
    const qsizetype afterHeader = 4 * layout.masksAfterHeader + entryBytes * layout.palette.size();
    if (layout.headerSize == 12) {
        header = dword(12) + words({width, height, 1, layout.bits});
    } else {
        header = dword(layout.headerSize) + dword(quint32(width)) + dword(quint32(layout.topDown ? -height : height))
                 + words({1, layout.bits}) + dword(layout.compression) + dword(quint32(pixels.size())) + dword(2835)
                 + dword(2835) + dword(layout.coloursUsed) + dword(0);
        const bool windows = layout.headerSize == 52 || layout.headerSize == 56 || layout.headerSize >= 108;
        for (int i = 0; i < 4; ++i)
            header += dword(windows ? layout.masks[size_t(i)] : 0);
        if (layout.headerSize >= 108) {
            header += dword(layout.iccProfile.isEmpty() ? SrgbSpace : ProfileEmbedded) + QByteArray(48, '\0');
            const qsizetype profileAt = layout.headerSize + afterHeader + pixels.size();
            header += dword(4) + dword(layout.iccProfile.isEmpty() ? 0 : quint32(profileAt))
                      + dword(quint32(layout.iccProfile.size())) + dword(0);
        }
        header.resize(layout.headerSize, '\0');
    }
    for (int i = 0; i < layout.masksAfterHeader; ++i)
        header += dword(layout.masks[size_t(i)]);
    for (const QRgb c : layout.palette) {
        header += QByteArray(1, char(qBlue(c))) + char(qGreen(c)) + char(qRed(c));
        if (entryBytes == 4)
            header += char(0);
    }
    const QByteArray body = header + pixels + layout.iccProfile;
    return QByteArray("BM") + dword(quint32(14 + body.size())) + dword(0) + dword(quint32(14 + header.size())) + body;
}

QList<BmpVariant> bmpVariants()
{
    const QImage picture = source();
    QList<BmpVariant> out;
    const FieldCase fields[] = {
        {"16-bit 3-10-3", 16, {0xE000, 0x1FF8, 0x0007, 0}, 40, 3, 3, false},
        {"16-bit 4-4-4-4 alpha, V5 header", 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, 124, 3, 0, false},
        {"16-bit 5-5-5-1 alpha, 56-byte header", 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, 56, 3, 0, false},
        {"16-bit 1-9-2-4 alpha bit fields", 16, {0x8000, 0x7FC0, 0x0030, 0x000F}, 40, 6, 4, false},
        {"32-bit 11-11-10, 52-byte header", 32, {0xFFE00000, 0x001FFC00, 0x000003FF, 0}, 52, 3, 0, false},
        {"32-bit 10-10-10-2 alpha, V4 header", 32, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, 108, 3, 0,
         false},
        {"32-bit 7-18-7", 32, {0xFE000000, 0x01FFFF80, 0x0000007F, 0}, 40, 3, 3, false},
        {"32-bit 8-8-8-8 alpha, V5 header", 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 124, 3, 0, false},
        {"32-bit alpha all clear", 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 124, 3, 0, true},
    };
    for (const FieldCase &c : fields)
        out.append(bitFields(picture, c));

    QList<QRgb> colours;
    for (int i = 0; i < 256; ++i)
        colours.append(qRgb(i, 255 - i, (i * 37) & 0xFF));
    BmpLayout twoBits;
    twoBits.bits = 2;
    twoBits.palette = colours.first(4);
    out.append(indexed("2-bit palette", twoBits, {7, 3}, [](int x, int y) { return (x + y) % 4; }));
    BmpLayout longPalette;
    longPalette.bits = 4;
    longPalette.palette = colours.first(40);
    longPalette.coloursUsed = 40;
    out.append(indexed("4-bit, 40 colours declared", longPalette, {5, 4}, [](int x, int y) { return (x * 3 + y) % 16; }));
    BmpLayout os2Palette;
    os2Palette.headerSize = 64;
    os2Palette.bits = 8;
    os2Palette.palette = colours;
    out.append(indexed("8-bit, OS/2 64-byte header", os2Palette, {6, 3}, [](int x, int y) { return x * 40 + y; }));

    BmpLayout os2Short;
    os2Short.headerSize = 16;
    const QByteArray bgr = rows(picture.width(), picture.height(), 24, false, [&](int x, int y) {
        const QRgb p = picture.pixel(x, y);
        return quint64(qBlue(p)) | quint64(qGreen(p)) << 8 | quint64(qRed(p)) << 16;
    });
    out.append({"24-bit, OS/2 16-byte header", bmpFile(os2Short, picture.width(), picture.height(), bgr),
                picture.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32)});
    BmpLayout topDown;
    topDown.headerSize = 108;
    topDown.bits = 24;
    topDown.topDown = true;
    out.append({"24-bit top-down, V4 header",
                bmpFile(topDown, picture.width(), picture.height(),
                        rows(picture.width(), picture.height(), 24, true,
                             [&](int x, int y) {
                                 const QRgb p = picture.pixel(x, y);
                                 return quint64(qBlue(p)) | quint64(qGreen(p)) << 8 | quint64(qRed(p)) << 16;
                             })),
                picture.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32)});
    out.append(fixedPoint(picture));
    out.append(runLength());
    return out;
}

} // namespace fixtures
