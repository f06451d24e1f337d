#include "convert/probe.h"

#include <climits>
#include <cstdint>
#include <cstring>

using namespace Qt::StringLiterals;

namespace morvane::convert {

namespace {

bool startsWith(QByteArrayView data, const char *magic, qsizetype length, qsizetype at = 0)
{
    return data.size() >= at + length && std::memcmp(data.data() + at, magic, size_t(length)) == 0;
}

// Bounded little- and big-endian reads; out-of-range reads give 0 and the
// callers check sizes before they trust a value.
quint32 byteAt(QByteArrayView d, qint64 i)
{
    return i >= 0 && i < d.size() ? quint8(d[i]) : 0u;
}

quint32 le16(QByteArrayView d, qint64 i)
{
    return byteAt(d, i) | byteAt(d, i + 1) << 8;
}

quint32 le32(QByteArrayView d, qint64 i)
{
    return le16(d, i) | le16(d, i + 2) << 16;
}

quint32 be32(QByteArrayView d, qint64 i)
{
    return byteAt(d, i) << 24 | byteAt(d, i + 1) << 16 | byteAt(d, i + 2) << 8 | byteAt(d, i + 3);
}

// A declared width and height as a QSize, values past an int made the largest int.
QSize sizeOf(qint64 width, qint64 height)
{
    return QSize(int(qMin<qint64>(qAbs(width), INT_MAX)), int(qMin<qint64>(qAbs(height), INT_MAX)));
}

// PNG: chunks of length, type, data and CRC up to IEND.
Layout pngLayout(QByteArrayView d)
{
    QSize declared;
    if (d.size() >= 24 && startsWith(d, "IHDR", 4, 12))
        declared = sizeOf(be32(d, 16), be32(d, 20));
    qint64 pos = 8;
    for (;;) {
        if (pos + 8 > d.size())
            return {true, declared};
        const quint32 length = be32(d, pos);
        if (length > 0x7fffffffu)
            return {false, declared};
        const qint64 end = pos + 12 + qint64(length);
        if (end > d.size())
            return {true, declared};
        if (startsWith(d, "IEND", 4, pos + 4))
            return {false, declared};
        pos = end;
    }
}

// Skips GIF data sub-blocks from pos; false when the data ends first.
bool skipSubBlocks(QByteArrayView d, qint64 &pos)
{
    for (;;) {
        if (pos >= d.size())
            return false;
        const quint32 n = byteAt(d, pos++);
        if (n == 0)
            return true;
        pos += n;
    }
}

// GIF: header, colour table, then extensions up to the first image's data.
Layout gifLayout(QByteArrayView d)
{
    if (d.size() < 13)
        return {true, {}};
    const QSize screen(int(le16(d, 6)), int(le16(d, 8)));
    const quint32 screenFlags = byteAt(d, 10);
    qint64 pos = 13;
    if (screenFlags & 0x80)
        pos += 3 << ((screenFlags & 7) + 1);
    for (;;) {
        if (pos >= d.size())
            return {true, screen};
        switch (byteAt(d, pos++)) {
        case 0x21: // extension: label, sub-blocks
            ++pos;
            if (!skipSubBlocks(d, pos))
                return {true, screen};
            break;
        case 0x2c: { // image: descriptor, local colour table, code size, sub-blocks
            if (pos + 9 > d.size())
                return {true, screen};
            // The picture covers the screen and the frame, whichever is larger.
            const QSize frame(int(le16(d, pos + 4)), int(le16(d, pos + 6)));
            const quint32 flags = byteAt(d, pos + 8);
            pos += 9;
            if (flags & 0x80)
                pos += 3 << ((flags & 7) + 1);
            ++pos; // LZW minimum code size
            return {!skipSubBlocks(d, pos), screen.expandedTo(frame)};
        }
        default: // trailer before any image, or not a block at all
            return {false, screen};
        }
    }
}

// BMP run-length data (RLE8 or RLE4) from pos up to its end-of-bitmap code.
bool bmpRunsComplete(QByteArrayView d, qint64 pos, bool fourBit)
{
    for (;;) {
        if (pos + 2 > d.size())
            return false;
        const quint32 count = byteAt(d, pos);
        const quint32 code = byteAt(d, pos + 1);
        pos += 2;
        if (count != 0 || code == 0)
            continue; // encoded run, or end of line
        if (code == 1)
            return true; // end of bitmap
        if (code == 2) { // delta
            pos += 2;
            continue;
        }
        qint64 bytes = fourBit ? (code + 1) / 2 : code; // absolute run
        bytes += bytes & 1;                             // padded to 16 bits
        pos += bytes;
        if (pos > d.size())
            return false;
    }
}

// BMP: the file header's pixel offset plus the rows the info header declares.
Layout bmpLayout(QByteArrayView d)
{
    if (d.size() < 18)
        return {true, {}};
    const qint64 offset = le32(d, 10);
    const quint32 headerSize = le32(d, 14);
    qint64 width = 0;
    qint64 height = 0;
    quint32 bits = 0;
    quint32 compression = 0;
    if (headerSize == 12) {
        width = le16(d, 18);
        height = le16(d, 20);
        bits = le16(d, 24);
    } else if (headerSize >= 40 && headerSize <= 124) {
        width = qint32(le32(d, 18));
        height = qint32(le32(d, 22));
        bits = le16(d, 28);
        compression = le32(d, 30);
    } else {
        return {};
    }
    const QSize declared = sizeOf(width, height);
    if (d.size() < 14 + qint64(headerSize))
        return {true, declared};
    if (headerSize == 64 && compression > 2)
        return {false, declared}; // OS/2 codes differ from Windows ones past RLE4
    switch (compression) {
    case 0: // plain rows
    case 3: // bit fields
    case 6: { // bit fields with alpha
        const qint64 rowBytes = (qAbs(width) * bits + 31) / 32 * 4; // < 2^48
        if (height != 0 && rowBytes > d.size())
            return {true, declared};
        return {offset + rowBytes * qAbs(height) > d.size(), declared}; // < 2^63
    }
    case 1:
    case 2:
        return {!bmpRunsComplete(d, offset, compression == 2), declared};
    default:
        return {false, declared};
    }
}

// TIFF: the first directory, the out-of-line values it points to, and the
// strips or tiles of the first picture.
Layout tiffLayout(QByteArrayView d)
{
    const bool big = startsWith(d, "MM", 2);
    const auto u16 = [&](qint64 i) { return big ? (byteAt(d, i) << 8 | byteAt(d, i + 1)) : le16(d, i); };
    const auto u32 = [&](qint64 i) { return big ? be32(d, i) : le32(d, i); };
    const qint64 ifd = u32(4);
    if (ifd + 2 > d.size())
        return {true, {}};
    const qint64 entries = u16(ifd);
    if (ifd + 2 + 12 * entries > d.size())
        return {true, {}};
    // Where each of the four arrays lies: its offset, element size and count.
    struct Array {
        qint64 at = 0;
        int size = 0;
        qint64 count = 0;
    } arrays[4];
    qint64 width = -1;
    qint64 height = -1;
    for (qint64 i = 0; i < entries; ++i) {
        const qint64 e = ifd + 2 + 12 * i;
        const quint32 tag = u16(e);
        const quint32 type = u16(e + 2);
        const qint64 count = u32(e + 4);
        int elementSize = 0;
        switch (type) {
        case 1: case 2: case 6: case 7: elementSize = 1; break;
        case 3: case 8: elementSize = 2; break;
        case 4: case 9: case 11: elementSize = 4; break;
        case 5: case 10: case 12: elementSize = 8; break;
        default: continue;
        }
        const qint64 bytes = count * elementSize; // < 2^35
        const qint64 at = bytes <= 4 ? e + 8 : qint64(u32(e + 8));
        if ((tag == 256 || tag == 257) && count == 1 && (elementSize == 2 || elementSize == 4))
            (tag == 256 ? width : height) = elementSize == 2 ? u16(at) : u32(at);
        if (at + bytes > d.size())
            return {true, {}};
        const int slot = tag == 273 ? 0 : tag == 279 ? 1 : tag == 324 ? 2 : tag == 325 ? 3 : -1;
        if (slot >= 0 && (elementSize == 2 || elementSize == 4))
            arrays[slot] = {at, elementSize, count};
    }
    const QSize declared = width >= 0 && height >= 0 ? sizeOf(width, height) : QSize();
    const auto element = [&](const Array &a, qint64 i) -> qint64 {
        return a.size == 2 ? u16(a.at + 2 * i) : u32(a.at + 4 * i);
    };
    for (int pair = 0; pair < 4; pair += 2) {
        const Array &offsets = arrays[pair];
        const Array &counts = arrays[pair + 1];
        const qint64 n = qMin(offsets.count, counts.count);
        for (qint64 i = 0; i < n; ++i) {
            if (element(offsets, i) + element(counts, i) > d.size())
                return {true, declared};
        }
    }
    return {false, declared};
}

// TGA: header, identification field, colour map and, when not run-length
// encoded, the pixels, all before the 26-byte footer.
Layout tgaLayout(QByteArrayView d)
{
    const QSize declared(int(le16(d, 12)), int(le16(d, 14)));
    const quint32 type = byteAt(d, 2);
    if (type > 3)
        return {false, declared};
    const qint64 mapBytes = byteAt(d, 1) ? qint64(le16(d, 5)) * ((byteAt(d, 7) + 7) / 8) : 0;
    const qint64 pixelBytes = qint64(declared.width()) * declared.height() * ((byteAt(d, 16) + 7) / 8);
    return {18 + byteAt(d, 0) + mapBytes + pixelBytes > d.size() - 26, declared};
}

// WebP: the RIFF container's declared length.
Layout webpLayout(QByteArrayView d)
{
    return {qint64(le32(d, 4)) + 8 > d.size(), {}};
}

} // namespace

Kind sniffKind(QByteArrayView d)
{
    if (startsWith(d, "\x89PNG\r\n\x1a\n", 8))
        return Kind::Png;
    if (startsWith(d, "\xff\xd8\xff", 3))
        return Kind::Jpeg;
    if (startsWith(d, "GIF87a", 6) || startsWith(d, "GIF89a", 6))
        return Kind::Gif;
    if (startsWith(d, "BM", 2))
        return Kind::Bmp;
    if (startsWith(d, "II*\0", 4) || startsWith(d, "MM\0*", 4))
        return Kind::Tiff;
    if (startsWith(d, "RIFF", 4) && startsWith(d, "WEBP", 4, 8))
        return Kind::WebP;
    // TGA: colour map type 0 or 1, a known image type, and the footer.
    if (d.size() >= 18 + 26 && startsWith(d, "TRUEVISION-XFILE.\0", 18, d.size() - 18) && byteAt(d, 1) <= 1) {
        switch (byteAt(d, 2)) {
        case 1: case 2: case 3: case 9: case 10: case 11: return Kind::Tga;
        default: break;
        }
    }
    return Kind::Unknown;
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Bmp: return u"BMP"_s;
    case Kind::Gif: return u"GIF"_s;
    case Kind::Jpeg: return u"JPEG"_s;
    case Kind::Png: return u"PNG"_s;
    case Kind::Tiff: return u"TIFF"_s;
    case Kind::WebP: return u"WebP"_s;
    case Kind::Tga: return u"TGA"_s;
    case Kind::Unknown: break;
    }
    return u"image"_s;
}

Layout inspectLayout(Kind kind, QByteArrayView data)
{
    switch (kind) {
    case Kind::Png: return pngLayout(data);
    case Kind::Gif: return gifLayout(data);
    case Kind::Bmp: return bmpLayout(data);
    case Kind::WebP: return webpLayout(data);
    case Kind::Tiff: return tiffLayout(data);
    case Kind::Tga: return tgaLayout(data);
    default: return {};
    }
}

} // namespace morvane::convert
