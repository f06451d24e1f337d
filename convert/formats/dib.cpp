#include "convert/formats/dib.h"

#include "convert/formats/bytereader.h"
#include "convert/formats/bytewriter.h"
#include "convert/formats/channel.h"
#include "convert/formats/rows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

constexpr quint32 CoreHeaderBytes = 12;
constexpr quint32 SmallestOs2HeaderBytes = 16;
constexpr quint32 InfoHeaderBytes = 40;
constexpr quint32 LargestOs2HeaderBytes = 64;
constexpr quint32 V5HeaderBytes = 124;
constexpr quint32 ProfileEmbedded = 0x4D424544; // "MBED"
constexpr int FixedPointOne = 0x2000;           // 1.0 in the s2.13 samples of 64-bit bitmaps

// How the pixel data is laid out, whichever header named it.
enum class Coding { Plain, Rle8, Rle4, Rle24, BitFields };

struct Header {
    quint32 size = 0;
    bool core = false; // 12-byte header: three-byte colour table entries
    qint64 width = 0;
    qint64 height = 0; // rows, always positive
    bool topDown = false;
    int bits = 0;
    Coding coding = Coding::Plain;
    quint32 colorsUsed = 0;
    quint32 masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    qint64 tableOffset = 0;          // where the colour table starts
    qint64 profileOffset = 0;        // an embedded colour profile, from the header's start
    qint64 profileSize = 0;
};

bool failed(DibImage *out, DibFailure failure, const QString &detail = QString())
{
    out->failure = failure;
    out->detail = detail;
    return false;
}

// Windows headers are 40 bytes and its extensions; any other size up to 64
// is an OS/2 2.x header, which may stop after any of its fields.
bool isWindowsHeader(quint32 size)
{
    return size == InfoHeaderBytes || size == 52 || size == 56 || size > LargestOs2HeaderBytes;
}

bool readCompression(quint32 compression, bool os2, Header *h, DibImage *out)
{
    if (os2) {
        switch (compression) {
        case 0: h->coding = Coding::Plain; return true;
        case 1: h->coding = Coding::Rle8; return true;
        case 2: h->coding = Coding::Rle4; return true;
        case 3: return failed(out, DibFailure::Unsupported, u"Huffman 1D compression"_s);
        case 4: h->coding = Coding::Rle24; return true;
        default: return failed(out, DibFailure::Damaged, u"unknown compression %1"_s.arg(compression));
        }
    }
    switch (compression) {
    case 0: h->coding = Coding::Plain; return true;
    case 1: h->coding = Coding::Rle8; return true;
    case 2: h->coding = Coding::Rle4; return true;
    case 3: // bit fields
    case 6: // bit fields with alpha
        h->coding = Coding::BitFields;
        return true;
    case 4: return failed(out, DibFailure::Unsupported, u"an embedded JPEG picture"_s);
    case 5: return failed(out, DibFailure::Unsupported, u"an embedded PNG picture"_s);
    case 11: case 12: case 13: return failed(out, DibFailure::Unsupported, u"CMYK colours"_s);
    default: return failed(out, DibFailure::Damaged, u"unknown compression %1"_s.arg(compression));
    }
}

bool readHeader(QByteArrayView dib, Header *h, DibImage *out)
{
    ByteReader r(dib);
    h->size = r.u32();
    if (!r.ok())
        return failed(out, DibFailure::Truncated);
    if (h->size == CoreHeaderBytes) {
        h->core = true;
        h->width = r.u16();
        h->height = r.u16();
        r.u16(); // planes
        h->bits = r.u16();
        h->tableOffset = CoreHeaderBytes;
        return r.ok() || failed(out, DibFailure::Truncated);
    }
    if (h->size < SmallestOs2HeaderBytes || h->size > V5HeaderBytes)
        return failed(out, DibFailure::Damaged, u"header size %1"_s.arg(h->size));
    if (h->size > dib.size())
        return failed(out, DibFailure::Truncated);

    // Fields a shorter header leaves out read as zero.
    std::array<char, V5HeaderBytes> fields {};
    std::memcpy(fields.data(), dib.data(), h->size);
    ByteReader f(QByteArrayView(fields.data(), fields.size()));
    f.skip(4);
    h->width = f.i32();
    const qint64 height = f.i32();
    f.u16(); // planes
    h->bits = f.u16();
    const quint32 compression = f.u32();
    f.skip(12); // image size, resolution (read by the callers that keep it)
    h->colorsUsed = f.u32();
    f.u32(); // important colours
    for (quint32 &mask : h->masks)
        mask = f.u32();
    const quint32 colourSpace = f.u32();
    f.skip(36 + 12 + 4); // end points, gamma, intent
    const quint32 profileOffset = f.u32();
    const quint32 profileSize = f.u32();

    h->topDown = height < 0;
    h->height = height < 0 ? -height : height;
    const bool os2 = !isWindowsHeader(h->size);
    if (!readCompression(compression, os2, h, out))
        return false;
    h->tableOffset = h->size;
    if (os2 || h->coding != Coding::BitFields)
        std::fill(std::begin(h->masks), std::end(h->masks), 0u);
    if (os2)
        return true;
    if (h->coding == Coding::BitFields) {
        // The masks a header does not hold follow it.
        const int wanted = compression == 6 ? 4 : 3;
        const int inHeader = std::clamp(int(h->size - InfoHeaderBytes) / 4, 0, 4);
        ByteReader after(dib);
        after.seek(h->size);
        for (int i = inHeader; i < wanted; ++i)
            h->masks[i] = after.u32();
        if (!after.ok())
            return failed(out, DibFailure::Truncated);
        h->tableOffset = h->size + 4 * std::max(0, wanted - inHeader);
    }
    if (h->size >= V5HeaderBytes && colourSpace == ProfileEmbedded) {
        h->profileOffset = profileOffset;
        h->profileSize = profileSize;
    }
    return true;
}

bool checkHeader(const Header &h, const DibOptions &options, DibImage *out)
{
    if (h.width <= 0 || h.height <= 0)
        return failed(out, DibFailure::Damaged, u"no pixels (%1 x %2)"_s.arg(h.width).arg(h.height));
    if (h.width > options.maxSide || h.height > options.maxSide || h.width > options.maxBytes / 4 / h.height)
        return failed(out, DibFailure::TooLarge, u"image too large (%1 x %2)"_s.arg(h.width).arg(h.height));
    bool depthFits = false;
    switch (h.coding) {
    case Coding::Plain:
        depthFits = h.bits == 1 || h.bits == 2 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24
                    || h.bits == 32 || h.bits == 64;
        break;
    case Coding::Rle8: depthFits = h.bits == 8; break;
    case Coding::Rle4: depthFits = h.bits == 4; break;
    case Coding::Rle24: depthFits = h.bits == 24; break;
    case Coding::BitFields: depthFits = h.bits == 16 || h.bits == 32; break;
    }
    if (!depthFits)
        return failed(out, DibFailure::Damaged, u"%1 bits per pixel"_s.arg(h.bits));
    const bool runLength = h.coding == Coding::Rle8 || h.coding == Coding::Rle4 || h.coding == Coding::Rle24;
    if (runLength && h.topDown)
        return failed(out, DibFailure::Damaged, u"run-length rows stored top-down"_s);
    return true;
}

// Reads the colour table into table (256 entries, black where the bitmap
// gives none) and sets *pixelStart to where the pixels begin.
bool readColourTable(QByteArrayView dib, const Header &h, const DibOptions &options, QList<QRgb> *table,
                     qint64 *pixelStart, DibImage *out)
{
    table->fill(qRgb(0, 0, 0), 256);
    if (options.colours == DibColours::SystemPalette) {
        for (int i = 0; i < 256; ++i)
            (*table)[i] = qRgb(i, i, i);
    }
    const int entryBytes = options.colours == DibColours::PaletteIndexes ? 2 : h.core ? 3 : 4;
    qint64 entries = 0;
    if (options.colours != DibColours::SystemPalette)
        entries = h.colorsUsed != 0 ? qint64(h.colorsUsed) : h.bits <= 8 ? qint64(1) << h.bits : 0;
    if (options.pixelOffset >= 0) {
        // A file says where its pixels are; a table that would run into them is cut there.
        if (options.pixelOffset < h.tableOffset || options.pixelOffset > dib.size())
            return failed(out, DibFailure::Damaged, u"pixel offset %1"_s.arg(options.pixelOffset));
        entries = std::min(entries, (options.pixelOffset - h.tableOffset) / entryBytes);
        *pixelStart = options.pixelOffset;
    } else {
        *pixelStart = h.tableOffset + entries * entryBytes;
        if (*pixelStart > dib.size())
            return failed(out, DibFailure::Truncated);
    }
    ByteReader r(dib);
    r.seek(h.tableOffset);
    // Only as many entries as the pixels can index are ever looked up.
    const qint64 used = std::min<qint64>(entries, 256);
    for (qint64 i = 0; i < used; ++i) {
        QRgb c;
        if (options.colours == DibColours::PaletteIndexes) {
            const quint16 index = r.u16();
            c = index < options.palette.size() ? options.palette[index] : qRgb(0, 0, 0);
        } else {
            const int b = r.u8(), g = r.u8(), red = r.u8();
            if (!h.core)
                r.u8();
            c = qRgb(red, g, b);
        }
        (*table)[int(i)] = c;
    }
    return r.ok() || failed(out, DibFailure::Truncated);
}

// The 8-bit sRGB value of each linear s2.13 sample from 0 to 1.0.
const std::array<uchar, FixedPointOne + 1> &linearToSrgb()
{
    static const std::array<uchar, FixedPointOne + 1> table = [] {
        std::array<uchar, FixedPointOne + 1> t {};
        for (int i = 0; i <= FixedPointOne; ++i) {
            const double c = double(i) / FixedPointOne;
            const double s = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
            t[size_t(i)] = uchar(std::lround(std::clamp(s, 0.0, 1.0) * 255));
        }
        return t;
    }();
    return table;
}

int fixedPointSample(const uchar *p)
{
    return std::clamp(int(qint16(quint16(p[0] | p[1] << 8))), 0, FixedPointOne);
}

void decodeRows(QByteArrayView data, const Header &h, const QList<QRgb> &table, bool alpha, QImage *image)
{
    const qint64 stride = (h.width * h.bits + 31) / 32 * 4;
    const int w = int(h.width);
    const int bits = h.bits;
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), opacity(alpha ? h.masks[3] : 0u);
    const auto &srgb = linearToSrgb();
    const auto *base = reinterpret_cast<const uchar *>(data.data());
    for (int y = 0; y < image->height(); ++y) {
        const uchar *src = base + stride * (h.topDown ? y : image->height() - 1 - y);
        auto *dst = reinterpret_cast<QRgb *>(image->scanLine(y)); // BGR888 for 24 bits
        switch (bits) {
        case 1: case 2: case 4: case 8: {
            const int perByte = 8 / bits;
            const uint mask = (1u << bits) - 1;
            for (int x = 0; x < w; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                dst[x] = table[int((src[x / perByte] >> shift) & mask)];
            }
            break;
        }
        case 16:
        case 32:
            for (int x = 0; x < w; ++x) {
                const uchar *s = src + x * (bits / 8);
                quint32 p = quint32(s[0]) | quint32(s[1]) << 8;
                if (bits == 32)
                    p |= quint32(s[2]) << 16 | quint32(s[3]) << 24;
                const uint a = opacity.present() ? opacity.value(p) : 255u;
                dst[x] = qRgba(int(red.value(p)), int(green.value(p)), int(blue.value(p)), int(a));
            }
            break;
        case 24: // stored as the picture holds them: blue, green, red
            std::memcpy(dst, src, size_t(w) * 3);
            break;
        case 64:
            for (int x = 0; x < w; ++x) {
                const uchar *s = src + 8 * x;
                const int a = alpha ? (fixedPointSample(s + 6) * 255 + FixedPointOne / 2) / FixedPointOne : 255;
                dst[x] = qRgba(srgb[size_t(fixedPointSample(s + 4))], srgb[size_t(fixedPointSample(s + 2))],
                               srgb[size_t(fixedPointSample(s))], a);
            }
            break;
        }
    }
}

// Plays RLE8, RLE4 or RLE24 codes onto image, whose pixels start as colour
// 0: pixels the codes skip or never reach keep it. True when the codes end
// with an end-of-bitmap code before the data does.
bool decodeRunLength(QByteArrayView data, const Header &h, const QList<QRgb> &table, QImage *image)
{
    image->fill(table[0]);
    const qint64 w = h.width, rows = h.height;
    qint64 x = 0, y = 0; // y counts from the bottom row
    auto put = [&](QRgb colour) {
        if (x < w && y < rows)
            reinterpret_cast<QRgb *>(image->scanLine(int(rows - 1 - y)))[x] = colour;
        ++x;
    };
    const auto *d = reinterpret_cast<const uchar *>(data.data());
    const qsizetype n = data.size();
    qsizetype pos = 0;
    while (pos + 2 <= n) {
        const int count = d[pos];
        const int value = d[pos + 1];
        pos += 2;
        if (count > 0) { // a run of one value; pixels past the row's end are dropped
            const int visible = int(std::clamp<qint64>(w - x, 0, count));
            if (h.coding == Coding::Rle24) {
                if (pos + 2 > n)
                    return false;
                const QRgb colour = qRgb(d[pos + 1], d[pos], value);
                pos += 2;
                for (int i = 0; i < visible; ++i)
                    put(colour);
            } else if (h.coding == Coding::Rle4) {
                for (int i = 0; i < visible; ++i)
                    put(table[(i & 1) ? value & 0x0F : value >> 4]);
            } else {
                for (int i = 0; i < visible; ++i)
                    put(table[value]);
            }
            x += count - visible;
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            return true;
        } else if (value == 2) { // move by a delta
            if (pos + 2 > n)
                return false;
            x += d[pos];
            y += d[pos + 1];
            pos += 2;
        } else { // literal pixels, padded to a 16-bit boundary
            const qsizetype bytes = h.coding == Coding::Rle4 ? (value + 1) / 2
                                    : h.coding == Coding::Rle24 ? 3 * value
                                                                : value;
            if (pos + bytes > n)
                return false;
            for (int i = 0; i < value; ++i) {
                if (h.coding == Coding::Rle24) {
                    const uchar *p = d + pos + 3 * i;
                    put(qRgb(p[2], p[1], p[0]));
                } else if (h.coding == Coding::Rle4) {
                    const int b = d[pos + i / 2];
                    put(table[(i & 1) ? b & 0x0F : b >> 4]);
                } else {
                    put(table[d[pos + i]]);
                }
            }
            pos += bytes + (bytes & 1);
        }
    }
    return false;
}

// The transparency kept: none when every pixel is opaque, and none either
// when every pixel is clear, which writers that leave the alpha bits at zero
// produce; such a picture is shown opaque, as other readers show it.
void settleAlpha(QImage *image)
{
    bool anyVisible = false;
    bool allOpaque = true;
    for (int y = 0; y < image->height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image->constScanLine(y));
        for (int x = 0; x < image->width(); ++x) {
            const uint a = qAlpha(line[x]);
            anyVisible = anyVisible || a != 0;
            allOpaque = allOpaque && a == 255;
        }
    }
    if (anyVisible && !allOpaque)
        return;
    if (!anyVisible) {
        for (int y = 0; y < image->height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image->scanLine(y));
            for (int x = 0; x < image->width(); ++x)
                line[x] |= 0xFF000000u;
        }
    }
    image->reinterpretAsFormat(QImage::Format_RGB32);
}

} // namespace

DibImage decodeDib(QByteArrayView dib, const DibOptions &options)
{
    DibImage out;
    Header h;
    if (!readHeader(dib, &h, &out) || !checkHeader(h, options, &out))
        return out;
    if (h.coding == Coding::Plain && h.bits == 16) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F; // 5-5-5
    } else if (h.coding == Coding::Plain && h.bits == 32) {
        h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF; // the fourth byte is unused
    }
    QList<QRgb> table;
    qint64 pixelStart = 0;
    if (!readColourTable(dib, h, options, &table, &pixelStart, &out))
        return out;
    const QByteArrayView data = dib.sliced(qsizetype(pixelStart));

    const bool runLength = h.coding == Coding::Rle8 || h.coding == Coding::Rle4 || h.coding == Coding::Rle24;
    if (!runLength) {
        // The last row's padding may be missing.
        const qint64 stride = (h.width * h.bits + 31) / 32 * 4;
        if (stride * (h.height - 1) + (h.width * h.bits + 7) / 8 > data.size()) {
            failed(&out, DibFailure::Truncated);
            return out;
        }
    }
    const bool alpha = options.alpha && !runLength && (h.masks[3] != 0 || h.bits == 64);
    // Plain 24-bit rows are kept as they are stored, three bytes a pixel.
    const QImage::Format format = alpha                                         ? QImage::Format_ARGB32
                                  : h.bits == 24 && h.coding == Coding::Plain ? QImage::Format_BGR888
                                                                              : QImage::Format_RGB32;
    QImage image(int(h.width), int(h.height), format);
    if (image.isNull()) {
        failed(&out, DibFailure::OutOfMemory);
        return out;
    }
    if (runLength) {
        if (!decodeRunLength(data, h, table, &image) && options.whole) {
            failed(&out, DibFailure::Truncated);
            return out;
        }
    } else {
        decodeRows(data, h, table, alpha, &image);
        if (alpha)
            settleAlpha(&image);
    }
    if (h.profileSize > 0 && h.profileOffset >= h.size && h.profileOffset <= dib.size()
        && h.profileSize <= dib.size() - h.profileOffset)
        out.iccProfile = dib.sliced(qsizetype(h.profileOffset), qsizetype(h.profileSize)).toByteArray();
    out.image = std::move(image);
    out.bottomUp = !h.topDown;
    return out;
}

qint64 dib24Size(int width, int height)
{
    return InfoHeaderBytes + (qint64(width) * 3 + 3) / 4 * 4 * height;
}

void writeDib24(const QImage &picture, int dotsPerMeterX, int dotsPerMeterY, char *out)
{
    const int w = picture.width(), h = picture.height();
    const qint64 stride = (qint64(w) * 3 + 3) / 4 * 4;
    ByteWriter header(out);
    header.u32(InfoHeaderBytes);
    header.u32(quint32(w));
    header.u32(quint32(h)); // positive: bottom row first
    header.u16(1);          // planes
    header.u16(24);         // bits per pixel
    header.u32(0);          // no compression
    header.u32(quint32(stride * h));
    header.u32(quint32(std::max(0, dotsPerMeterX)));
    header.u32(quint32(std::max(0, dotsPerMeterY)));
    header.zeros(8); // colours used, important colours
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<uchar *>(out + InfoHeaderBytes + stride * (h - 1 - y));
        bgrRowOnWhite(picture, y, row);
        std::memset(row + 3 * qint64(w), 0, size_t(stride - 3 * qint64(w)));
    }
}

} // namespace morvane::formats
