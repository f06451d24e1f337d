// Little-endian bytes, device-independent bitmaps of every kind the readers
// take, and BMP files around them: shared by the picture and metafile tests.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QtEndian>

#include <initializer_list>

namespace fixtures {

inline void put16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}

inline void put32(QByteArray &out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// 16-bit words in the order given.
inline QByteArray words(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        put16(out, quint32(v));
    return out;
}

inline QByteArray dword(quint32 v)
{
    QByteArray out;
    put32(out, v);
    return out;
}

inline QByteArray colorRef(QRgb c)
{
    return dword(quint32(qRed(c)) | quint32(qGreen(c)) << 8 | quint32(qBlue(c)) << 16);
}

// A packed DIB with a 40-byte header: the colour table and the pixel bytes
// (bit masks first when there are any, rows as stored, padding included)
// given as they are; the header counts the colours given.
inline QByteArray dib(int width, int height, int bits, int compression, const QList<QRgb> &table,
                      const QByteArray &pixels)
{
    QByteArray out = dword(40) + dword(quint32(width)) + dword(quint32(height)) + words({1, bits})
                     + dword(quint32(compression)) + dword(quint32(pixels.size())) + dword(3780) + dword(3780)
                     + dword(quint32(table.size())) + dword(0);
    for (const QRgb c : table)
        out += QByteArray(1, char(qBlue(c))) + char(qGreen(c)) + char(qRed(c)) + char(0);
    return out + pixels;
}

// dib behind a BMP file header that points at its pixels.
inline QByteArray bmpFile(const QByteArray &dib)
{
    const auto at = [&](qsizetype pos) { return reinterpret_cast<const uchar *>(dib.constData()) + pos; };
    const quint32 header = qFromLittleEndian<quint32>(at(0));
    const bool core = header == 12;
    const int bits = qFromLittleEndian<quint16>(at(core ? 10 : 14));
    quint32 colours = core ? 0 : qFromLittleEndian<quint32>(at(32));
    if (colours == 0 && bits <= 8)
        colours = 1u << bits;
    const quint32 masks = !core && qFromLittleEndian<quint32>(at(16)) == 3 ? 12 : 0;
    const quint32 offset = 14 + header + colours * (core ? 3 : 4) + masks;
    return QByteArray("BM") + dword(quint32(14 + dib.size())) + dword(0) + dword(offset) + dib;
}

// A bitmap and the pixels it holds, top row first.
struct DibCase {
    const char *name;
    QByteArray dib;
    int width;
    QList<QRgb> pixels;
};

// A 2 x 2 24-bit bitmap: red, green on top; blue, yellow below.
inline QByteArray quadrantsDib()
{
    // Bottom row first, each row padded to 8 bytes.
    return dib(2, 2, 24, 0, {}, QByteArray::fromHex("ff0000" "00ffff" "0000" "0000ff" "00ff00" "0000"));
}

// One bitmap of each depth, compression and header the readers take.
inline QList<DibCase> dibCases()
{
    constexpr QRgb W = 0xFFFFFFFF, K = 0xFF000000, R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF,
                   Y = 0xFFFFFF00, C = 0xFF00FFFF;
    return {
        {"1 bit", dib(4, 2, 1, 0, {R, B}, QByteArray::fromHex("50000000" "a0000000")), 4, {B, R, B, R, R, B, R, B}},
        {"4 bits", dib(3, 2, 4, 0, {W, R, G, B}, QByteArray::fromHex("30100000" "12300000")), 3, {R, G, B, B, W, R}},
        {"8 bits, colours used", dib(3, 1, 8, 0, {Y, C, K}, QByteArray::fromHex("02000100")), 3, {K, Y, C}},
        {"16 bits, 5-5-5", dib(2, 1, 16, 0, {}, QByteArray::fromHex("007ce003")), 2, {R, G}},
        {"16 bits, 5-6-5 fields",
         dib(2, 1, 16, 3, {}, dword(0xF800) + dword(0x07E0) + dword(0x001F) + QByteArray::fromHex("1f00e007")), 2,
         {B, G}},
        {"24 bits", quadrantsDib(), 2, {R, G, B, Y}},
        {"24 bits, top row first", dib(1, -2, 24, 0, {}, QByteArray::fromHex("0000ff00" "ff000000")), 1, {R, B}},
        {"32 bits, alpha byte ignored", dib(2, 1, 32, 0, {}, QByteArray::fromHex("0000ff00" "ff000080")), 2, {R, B}},
        {"32 bits, fields",
         dib(2, 1, 32, 3, {},
             dword(0xFF000000) + dword(0x00FF0000) + dword(0x0000FF00) + QByteArray::fromHex("000000ff" "00ffff00")),
         2, {R, C}},
        {"RLE8", dib(4, 2, 8, 1, {W, R, G}, QByteArray::fromHex("0401" "0000" "0003020001" "00" "0102" "0001")), 4,
         {G, W, R, G, R, R, R, R}},
        {"RLE8 delta", dib(3, 2, 8, 1, {W, R}, QByteArray::fromHex("00020101" "0101" "0001")), 3, {W, R, W, W, W, W}},
        {"RLE4", dib(5, 1, 4, 2, {W, R, G}, QByteArray::fromHex("0412" "0001" "0001")), 5, {R, G, R, G, W}},
        {"RLE4 literal run", dib(3, 1, 4, 2, {W, R, G}, QByteArray::fromHex("0003" "1210" "0001")), 3, {R, G, R}},
        {"core header", dword(12) + words({2, 1, 1, 1}) + QByteArray::fromHex("0000ff" "ff0000" "40000000"), 2, {R, B}},
    };
}

} // namespace fixtures
