#include "convert/wmf/dib.h"

#include "convert/wmf/recordreader.h"
#include "convert/wmf/records.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace morvane::wmf {

namespace {

enum Compression : quint32 { CompressRgb = 0, CompressRle8 = 1, CompressRle4 = 2, CompressBitFields = 3, CompressAlphaBitFields = 6 };

constexpr quint32 CoreHeaderBytes = 12;
constexpr quint32 InfoHeaderBytes = 40;
constexpr quint32 LargestHeaderBytes = 124;
constexpr qint64 MaxSide = 0x7FFFFFFF;

struct DibHeader {
    qint64 width = 0;
    qint64 height = 0; // rows, always positive
    bool topDown = false;
    int bits = 0;
    quint32 compression = CompressRgb;
    quint32 colorsUsed = 0;
    quint32 masks[3] = {0, 0, 0};
    bool core = false;
};

DibImage failure(const QString &text)
{
    return {QImage(), true, text};
}

// One colour channel of a bit-field pixel, scaled to eight bits.
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint64 max = 0;

    explicit Channel(quint32 m) : mask(m)
    {
        if (m != 0) {
            shift = std::countr_zero(m);
            max = (quint64(1) << (32 - std::countl_zero(m >> shift))) - 1;
        }
    }
    int value(quint32 pixel) const
    {
        return max == 0 ? 0 : int(quint64((pixel & mask) >> shift) * 255 / max);
    }
};

QString readHeader(RecordReader &r, DibHeader *h)
{
    const quint32 size = r.u32();
    if (!r.ok())
        return QStringLiteral("bitmap is truncated");
    if (size == CoreHeaderBytes) {
        h->core = true;
        h->width = r.u16();
        h->height = r.u16();
        r.u16(); // planes
        h->bits = r.u16();
        return r.ok() ? QString() : QStringLiteral("bitmap is truncated");
    }
    if (size < InfoHeaderBytes || size > LargestHeaderBytes)
        return QStringLiteral("bitmap header is damaged");
    h->width = r.i32();
    const qint64 height = r.i32();
    r.u16(); // planes
    h->bits = r.u16();
    h->compression = r.u32();
    r.u32(); // image size
    r.u32(); // horizontal resolution
    r.u32(); // vertical resolution
    h->colorsUsed = r.u32();
    r.u32(); // important colours
    h->topDown = height < 0;
    h->height = height < 0 ? -height : height;
    const bool fields = h->compression == CompressBitFields || h->compression == CompressAlphaBitFields;
    if (size >= InfoHeaderBytes + 12) {
        for (quint32 &m : h->masks)
            m = r.u32();
        r.skip(size - InfoHeaderBytes - 12);
    } else {
        r.skip(size - InfoHeaderBytes);
        if (fields) {
            for (quint32 &m : h->masks)
                m = r.u32();
            if (h->compression == CompressAlphaBitFields)
                r.u32();
        }
    }
    return r.ok() ? QString() : QStringLiteral("bitmap is truncated");
}

QString checkHeader(const DibHeader &h, qint64 maxBytes)
{
    if (h.width <= 0 || h.height <= 0)
        return QStringLiteral("bitmap has no pixels (%1 x %2)").arg(h.width).arg(h.height);
    if (h.width > MaxSide || h.height > MaxSide || h.width * h.height > maxBytes / 4)
        return QStringLiteral("bitmap too large (%1 x %2)").arg(h.width).arg(h.height);
    switch (h.bits) {
    case 1: case 4: case 8: case 16: case 24: case 32:
        break;
    default:
        return QStringLiteral("unsupported bitmap (%1 bits per pixel)").arg(h.bits);
    }
    switch (h.compression) {
    case CompressRgb:
        return {};
    case CompressRle8:
    case CompressRle4:
        if (h.bits != (h.compression == CompressRle8 ? 8 : 4) || h.topDown)
            return QStringLiteral("bitmap header is damaged");
        return {};
    case CompressBitFields:
    case CompressAlphaBitFields:
        if (h.bits != 16 && h.bits != 32)
            return QStringLiteral("bitmap header is damaged");
        return {};
    default:
        return QStringLiteral("unsupported bitmap compression (%1)").arg(h.compression);
    }
}

// The colour table, always 256 entries; entries the bitmap does not give are black.
QString readColorTable(RecordReader &r, const DibHeader &h, int colorUsage, const QList<QRgb> &palette,
                       QList<QRgb> *table)
{
    table->fill(qRgb(0, 0, 0), 256);
    qint64 entries = h.colorsUsed;
    if (entries == 0 && h.bits <= 8)
        entries = qint64(1) << h.bits;
    if (colorUsage == DibPalIndices) {
        for (int i = 0; i < 256; ++i)
            (*table)[i] = qRgb(i, i, i);
        return {};
    }
    const int entryBytes = colorUsage == DibPalColors ? 2 : (h.core ? 3 : 4);
    if (entries * entryBytes > r.remaining())
        return QStringLiteral("bitmap is truncated");
    for (qint64 i = 0; i < entries; ++i) {
        QRgb c;
        if (colorUsage == DibPalColors) {
            const quint16 index = r.u16();
            c = index < palette.size() ? palette[index] : qRgb(0, 0, 0);
        } else {
            const int b = r.u8(), g = r.u8(), red = r.u8();
            if (!h.core)
                r.u8();
            c = qRgb(red, g, b);
        }
        if (i < 256)
            (*table)[int(i)] = c;
    }
    return r.ok() ? QString() : QStringLiteral("bitmap is truncated");
}

void decodeRows(const uchar *bits, qint64 stride, const DibHeader &h, const QList<QRgb> &table, QImage *out)
{
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    const int w = int(h.width);
    for (int y = 0; y < out->height(); ++y) {
        const uchar *src = bits + stride * (h.topDown ? y : out->height() - 1 - y);
        auto *dst = reinterpret_cast<QRgb *>(out->scanLine(y));
        switch (h.bits) {
        case 1:
            for (int x = 0; x < w; ++x)
                dst[x] = table[(src[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (int x = 0; x < w; ++x)
                dst[x] = table[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
            break;
        case 8:
            for (int x = 0; x < w; ++x)
                dst[x] = table[src[x]];
            break;
        case 16:
            for (int x = 0; x < w; ++x) {
                const quint32 p = quint32(src[2 * x]) | quint32(src[2 * x + 1]) << 8;
                dst[x] = qRgb(red.value(p), green.value(p), blue.value(p));
            }
            break;
        case 24:
            for (int x = 0; x < w; ++x)
                dst[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
            break;
        case 32:
            for (int x = 0; x < w; ++x) {
                const uchar *s = src + 4 * x;
                const quint32 p = quint32(s[0]) | quint32(s[1]) << 8 | quint32(s[2]) << 16 | quint32(s[3]) << 24;
                dst[x] = qRgb(red.value(p), green.value(p), blue.value(p));
            }
            break;
        }
    }
}

// Plays RLE4 or RLE8 codes onto out, whose pixels start as colour 0; codes
// that run past the data or the bitmap end the decoding there.
void decodeRle(QByteArrayView data, const DibHeader &h, const QList<QRgb> &table, QImage *out)
{
    out->fill(table[0]);
    const bool four = h.bits == 4;
    const qint64 w = h.width, rows = h.height;
    qint64 x = 0, y = 0;
    auto put = [&](int index) {
        if (x < w && y < rows)
            reinterpret_cast<QRgb *>(out->scanLine(int(rows - 1 - y)))[x] = table[index];
        ++x;
    };
    qsizetype pos = 0;
    const qsizetype n = data.size();
    while (pos + 2 <= n && y < rows) {
        const int count = quint8(data[pos]);
        const int value = quint8(data[pos + 1]);
        pos += 2;
        if (count > 0) {
            const qint64 visible = std::min<qint64>(count, std::max<qint64>(0, w - x));
            for (qint64 i = 0; i < visible; ++i)
                put(four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            x += count - visible;
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            return;
        } else if (value == 2) { // move by a delta
            if (pos + 2 > n)
                return;
            x += quint8(data[pos]);
            y += quint8(data[pos + 1]);
            pos += 2;
        } else { // a run of literal pixels, padded to a word
            const qsizetype bytes = four ? (value + 1) / 2 : value;
            if (pos + bytes > n)
                return;
            for (int i = 0; i < value; ++i) {
                const int b = quint8(data[pos + (four ? i / 2 : i)]);
                put(four ? ((i & 1) ? b & 0x0F : b >> 4) : b);
            }
            pos += bytes + (bytes & 1);
        }
    }
}

} // namespace

DibImage decodeDib(QByteArrayView bytes, int colorUsage, const QList<QRgb> &palette, qint64 maxBytes)
{
    RecordReader r(bytes);
    DibHeader h;
    QString error = readHeader(r, &h);
    if (error.isEmpty())
        error = checkHeader(h, maxBytes);
    if (!error.isEmpty())
        return failure(error);
    if (h.compression == CompressRgb) {
        if (h.bits == 16)
            h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
        else if (h.bits == 32)
            h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
    }
    QList<QRgb> table;
    error = readColorTable(r, h, colorUsage, palette, &table);
    if (!error.isEmpty())
        return failure(error);

    const qint64 stride = (h.width * h.bits + 31) / 32 * 4;
    const bool rle = h.compression == CompressRle4 || h.compression == CompressRle8;
    if (!rle && stride * h.height > r.remaining())
        return failure(QStringLiteral("bitmap is truncated"));

    QImage out(int(h.width), int(h.height), QImage::Format_RGB32);
    if (out.isNull())
        return failure(QStringLiteral("not enough memory for a %1 x %2 bitmap").arg(h.width).arg(h.height));
    const QByteArrayView data = r.rest();
    if (rle)
        decodeRle(data, h, table, &out);
    else
        decodeRows(reinterpret_cast<const uchar *>(data.data()), stride, h, table, &out);
    return {out, !h.topDown, QString()};
}

qint64 dib24Size(int width, int height)
{
    return InfoHeaderBytes + (qint64(width) * 3 + 3) / 4 * 4 * height;
}

void writeDib24(const QImage &picture, char *out)
{
    const int w = picture.width(), h = picture.height();
    const qint64 stride = (qint64(w) * 3 + 3) / 4 * 4;
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    std::memset(out, 0, InfoHeaderBytes);
    put32(0, InfoHeaderBytes);
    put32(4, quint32(w));
    put32(8, quint32(h)); // positive: bottom row first
    out[12] = 1;          // planes
    out[14] = 24;         // bits per pixel
    put32(16, CompressRgb);
    put32(20, quint32(stride * h));
    put32(24, 3780); // 96 dots per inch, in dots per metre
    put32(28, 3780);
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<uchar *>(out + InfoHeaderBytes + stride * (h - 1 - y));
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            row[3 * x] = uchar(qBlue(line[x]));
            row[3 * x + 1] = uchar(qGreen(line[x]));
            row[3 * x + 2] = uchar(qRed(line[x]));
        }
        std::memset(row + 3 * qint64(w), 0, size_t(stride - 3 * qint64(w)));
    }
}

} // namespace morvane::wmf
