// TGA: read and written by a codec of our own; written as run-length
// encoded true colour with the top-left origin.
#include "convert/formats/bytereader.h"
#include "convert/formats/channel.h"
#include "convert/formats/formats.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

constexpr qint64 HeaderBytes = 18;
constexpr qint64 FooterBytes = 26;
constexpr QByteArrayView FooterSignature("TRUEVISION-XFILE.\0", 18);

// The image types: the low bits say what a pixel holds, 8 says run-length encoded.
enum Kind { ColourMapped = 1, TrueColour = 2, Grey = 3 };
constexpr int RunLength = 8;
constexpr int TopDownBit = 0x20;
constexpr int RightToLeftBit = 0x10;

struct Header {
    quint8 idLength = 0;
    quint8 mapType = 0;
    quint8 type = 0;
    quint16 mapFirst = 0;
    quint16 mapLength = 0;
    quint8 mapBits = 0;
    quint16 width = 0;
    quint16 height = 0;
    quint8 bits = 0;
    quint8 descriptor = 0;

    int kind() const { return type & 7; }
    bool runLength() const { return type & RunLength; }
    int alphaBits() const { return descriptor & 0x0f; }
    qint64 mapBytes() const { return mapType == 1 ? qint64(mapLength) * ((mapBits + 7) / 8) : 0; }
};

Header readHeader(ByteReader &r)
{
    Header h;
    h.idLength = r.u8();
    h.mapType = r.u8();
    h.type = r.u8();
    h.mapFirst = r.u16();
    h.mapLength = r.u16();
    h.mapBits = r.u8();
    r.skip(4); // where the picture goes on a screen
    h.width = r.u16();
    h.height = r.u16();
    h.bits = r.u8();
    h.descriptor = r.u8();
    return h;
}

bool knownType(int type)
{
    const int kind = type & ~RunLength;
    return (type & ~(RunLength | 7)) == 0 && kind >= ColourMapped && kind <= Grey;
}

bool colourBits(int bits)
{
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// What decoding needs of a header: a known type, a size, a depth the type
// has, and for colour-mapped pictures a map to look colours up in.
bool decodable(const Header &h)
{
    if (h.mapType > 1 || !knownType(h.type) || h.width == 0 || h.height == 0)
        return false;
    switch (h.kind()) {
    case ColourMapped:
        return h.mapType == 1 && h.mapLength > 0 && colourBits(h.mapBits) && (h.bits == 8 || h.bits == 16);
    case TrueColour:
        return colourBits(h.bits);
    default:
        return h.bits == 8 || h.bits == 16;
    }
}

// Files without the footer have no signature: every field of the header
// must be one a writer makes, and the file must hold the header, the
// identification, the colour map and some pixel data.
bool consistent(const Header &h, qint64 size)
{
    if (!decodable(h) || (h.descriptor & 0xc0) != 0 || h.alphaBits() > 8)
        return false;
    if (h.mapType == 0 && (h.mapFirst != 0 || h.mapLength != 0))
        return false;
    if (h.mapType == 1 && (h.mapLength == 0 || !colourBits(h.mapBits) || h.mapFirst + h.mapLength > 65536))
        return false;
    return size > HeaderBytes + h.idLength + h.mapBytes();
}

bool matches(QByteArrayView data)
{
    if (data.size() < HeaderBytes)
        return false;
    ByteReader r(data);
    const Header h = readHeader(r);
    const bool footer = data.size() >= HeaderBytes + FooterBytes && data.last(18) == FooterSignature;
    if (footer)
        return h.mapType <= 1 && knownType(h.type);
    return consistent(h, data.size());
}

QSize declared(QByteArrayView head)
{
    ByteReader r(head);
    const Header h = readHeader(r);
    return r.ok() ? QSize(h.width, h.height) : QSize();
}

// A 15- or 16-bit pixel: 5 bits each of red, green and blue, and the top bit
// for opacity when the header gives the picture an attribute bit.
QRgb rgb16(const uchar *p, bool alpha)
{
    constexpr Channel red(0x7c00), green(0x03e0), blue(0x001f);
    const quint32 v = quint32(p[0]) | quint32(p[1]) << 8;
    return qRgba(int(red.value(v)), int(green.value(v)), int(blue.value(v)), !alpha || (v & 0x8000) ? 255 : 0);
}

// A colour of the given depth, as pixels and colour map entries store it.
// 32-bit colours always carry their opacity, as other readers take them.
QRgb colour(const uchar *p, int bits, bool alpha)
{
    switch (bits) {
    case 15: return rgb16(p, false);
    case 16: return rgb16(p, alpha);
    case 24: return qRgb(p[2], p[1], p[0]);
    default: return qRgba(p[2], p[1], p[0], p[3]);
    }
}

// Whether the data holds every pixel, stored or in packets: a walk that
// decodes nothing, so that a cut file is told before a picture is allocated.
bool pixelsPresent(ByteReader r, const Header &h, int pixelBytes)
{
    const qint64 pixels = qint64(h.width) * h.height;
    if (!h.runLength())
        return r.remaining() >= pixels * pixelBytes;
    for (qint64 done = 0; done < pixels;) {
        const quint8 packet = r.u8();
        const qint64 count = std::min<qint64>((packet & 0x7f) + 1, pixels - done);
        r.skip(packet & 0x80 ? pixelBytes : count * pixelBytes);
        if (!r.ok())
            return false;
        done += count;
    }
    return true;
}

// Reads width x height pixels of pixelBytes each, stored or run-length
// encoded, into image in the order of the file (rows from the first stored,
// each from its first pixel), convert making each one. Runs that go past the
// last pixel are cut there. False when the data ends before the last pixel.
template <typename Pixel, typename Convert>
bool readPixels(ByteReader &r, const Header &h, int pixelBytes, QImage &image, Convert convert)
{
    const int width = h.width;
    const int height = h.height;
    if (!h.runLength()) {
        for (int y = 0; y < height; ++y) {
            const QByteArrayView row = r.bytes(qint64(width) * pixelBytes);
            if (!r.ok())
                return false;
            const auto *p = reinterpret_cast<const uchar *>(row.data());
            auto *line = reinterpret_cast<Pixel *>(image.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = convert(p + qsizetype(x) * pixelBytes);
        }
        return true;
    }
    int x = 0;
    int y = 0;
    auto *line = reinterpret_cast<Pixel *>(image.scanLine(0));
    const auto advance = [&] {
        if (++x == width) {
            x = 0;
            if (++y < height)
                line = reinterpret_cast<Pixel *>(image.scanLine(y));
        }
    };
    while (y < height) {
        const quint8 packet = r.u8();
        const qint64 left = qint64(height - y) * width - x;
        const int count = int(std::min<qint64>((packet & 0x7f) + 1, left));
        if (packet & 0x80) {
            const QByteArrayView one = r.bytes(pixelBytes);
            if (!r.ok())
                return false;
            const Pixel value = convert(reinterpret_cast<const uchar *>(one.data()));
            for (int i = 0; i < count; ++i) {
                line[x] = value;
                advance();
            }
        } else {
            const QByteArrayView many = r.bytes(qint64(count) * pixelBytes);
            if (!r.ok())
                return false;
            const auto *p = reinterpret_cast<const uchar *>(many.data());
            for (int i = 0; i < count; ++i) {
                line[x] = convert(p + qsizetype(i) * pixelBytes);
                advance();
            }
        }
    }
    return true;
}

// Turns a picture read in the order of the file into the one it stores:
// rows stored bottom first unless the header says the top comes first,
// pixels stored right to left when it says so.
void orient(QImage &image, quint8 descriptor)
{
    const int height = image.height();
    if (!(descriptor & TopDownBit)) {
        for (int y = 0; y < height / 2; ++y) {
            uchar *top = image.scanLine(y);
            std::swap_ranges(top, top + image.bytesPerLine(), image.scanLine(height - 1 - y));
        }
    }
    if (descriptor & RightToLeftBit) {
        for (int y = 0; y < height; ++y) {
            if (image.depth() == 8)
                std::reverse(image.scanLine(y), image.scanLine(y) + image.width());
            else
                std::reverse(reinterpret_cast<QRgb *>(image.scanLine(y)),
                             reinterpret_cast<QRgb *>(image.scanLine(y)) + image.width());
        }
    }
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    ByteReader r(data);
    const Header h = readHeader(r);
    if (!r.ok())
        return {QImage(), truncatedError()};
    if (!decodable(h))
        return {QImage(), damagedError(tga().name)};
    const QString tooLarge = sizeLimitError(QSize(h.width, h.height), 32, limits);
    if (!tooLarge.isEmpty())
        return {QImage(), tooLarge};

    r.skip(h.idLength);
    const bool alphaBit = h.alphaBits() > 0;
    QList<QRgb> map;
    if (h.mapType == 1) {
        const int entryBytes = (h.mapBits + 7) / 8;
        const QByteArrayView entries = r.bytes(qint64(h.mapLength) * entryBytes);
        if (!r.ok())
            return {QImage(), truncatedError()};
        if (h.kind() == ColourMapped) {
            map.resize(h.mapLength);
            for (int i = 0; i < h.mapLength; ++i)
                map[i] = colour(reinterpret_cast<const uchar *>(entries.data()) + qsizetype(i) * entryBytes, h.mapBits,
                                alphaBit);
        }
    }

    const int pixelBytes = (h.bits + 7) / 8;
    if (!pixelsPresent(r, h, pixelBytes))
        return {QImage(), truncatedError()};

    const int colourDepth = h.kind() == ColourMapped ? h.mapBits : h.bits;
    const bool alpha = h.kind() == Grey ? h.bits == 16 : colourDepth == 32 || (colourDepth == 16 && alphaBit);
    const QImage::Format format = h.kind() == Grey && h.bits == 8 ? QImage::Format_Grayscale8
                                  : alpha                         ? QImage::Format_ARGB32
                                                                  : QImage::Format_RGB32;
    QImage image(h.width, h.height, format);
    if (image.isNull())
        return {QImage(), outOfMemoryError()};

    bool complete = false;
    if (h.kind() == ColourMapped) {
        // Pixels name map entries from the first one the map holds; others
        // take the first entry.
        const int first = h.mapFirst;
        const QList<QRgb> &entries = map;
        complete = readPixels<QRgb>(r, h, pixelBytes, image, [&](const uchar *p) {
            const int index = (pixelBytes == 1 ? p[0] : p[0] | p[1] << 8) - first;
            return index >= 0 && index < entries.size() ? entries[index] : entries[0];
        });
    } else if (h.kind() == Grey && h.bits == 8) {
        complete = readPixels<uchar>(r, h, 1, image, [](const uchar *p) { return p[0]; });
    } else if (h.kind() == Grey) {
        complete = readPixels<QRgb>(r, h, 2, image, [](const uchar *p) { return qRgba(p[0], p[0], p[0], p[1]); });
    } else {
        const int bits = h.bits;
        complete = readPixels<QRgb>(r, h, pixelBytes, image,
                                    [bits, alphaBit](const uchar *p) { return colour(p, bits, alphaBit); });
    }
    if (!complete)
        return {QImage(), truncatedError()};
    orient(image, h.descriptor);
    return {std::move(image), QString()};
}

// Run-length encodes one row of pixels at out, the TGA way: a run packet
// (a count byte of 128 + n - 1, then the pixel) for n = 2 to 128 equal
// pixels, a raw packet (n - 1, then the n pixels) for the others, none
// crossing into the next row; pixels are stored blue, green, red (and
// opacity when channels is 4). Colours are compared under mask (the opacity
// is left out of 24-bit files). Returns the end of what was written, which
// is at most width * channels + (width + 127) / 128 bytes on, plus one byte
// scribbled past that end.
template<int channels>
uchar *encodeRow(const QRgb *line, int width, uchar *out)
{
    constexpr QRgb mask = channels == 4 ? 0xffffffffu : 0x00ffffffu;
    const auto same = [](QRgb a, QRgb b) { return ((a ^ b) & mask) == 0; };
    const auto put = [](uchar *at, QRgb c) {
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
            std::memcpy(at, &c, 4); // blue, green, red, opacity in memory
        } else {
            at[0] = uchar(qBlue(c));
            at[1] = uchar(qGreen(c));
            at[2] = uchar(qRed(c));
            at[3] = uchar(qAlpha(c));
        }
        return at + channels;
    };
    int x = 0;
    while (x < width) {
        const QRgb first = line[x];
        int n = 1;
        if (x + 1 < width && same(line[x + 1], first)) {
            while (n < 128 && x + n < width && same(line[x + n], first))
                ++n;
            *out++ = uchar(0x80 | (n - 1));
            out = put(out, first);
        } else {
            // Up to a pixel that starts a run of its own.
            while (n < 128 && x + n < width && !(x + n + 1 < width && same(line[x + n + 1], line[x + n])))
                ++n;
            *out++ = uchar(n - 1);
            for (int i = 0; i < n; ++i)
                out = put(out, line[x + i]);
        }
        x += n;
    }
    return out;
}

void putU16(uchar *at, int value)
{
    at[0] = uchar(value);
    at[1] = uchar(value >> 8);
}

// 32 bits with opacity when any pixel is less than opaque, else 24; each row
// run-length encoded on its own; the top row first, as the header says.
Encoded encode(const QImage &picture, const WriteOptions &)
{
    if (picture.isNull())
        return {QByteArray(), noPictureError()};
    const int width = picture.width();
    const int height = picture.height();
    if (width > 65535 || height > 65535)
        return {QByteArray(), u"picture too large for TGA (%1 x %2)"_s.arg(width).arg(height)};
    // The rows are read in place when the picture is RGB32 or ARGB32.
    const QImage source = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
        ? picture
        : picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (source.isNull())
        return {QByteArray(), outOfMemoryError()};
    bool opaque = true;
    if (source.format() == QImage::Format_ARGB32) {
        for (int y = 0; y < height && opaque; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(source.constScanLine(y));
            opaque = std::all_of(line, line + width, [](QRgb c) { return qAlpha(c) == 255; });
        }
    }
    const int channels = opaque ? 3 : 4;

    // The most a row can take: all raw packets of 128 pixels or fewer.
    const qint64 rowBytes = qint64(width) * channels + (width + 127) / 128;
    const qint64 most = HeaderBytes + rowBytes * height + FooterBytes + 1;
    if (most > std::numeric_limits<qsizetype>::max() / 2)
        return {QByteArray(), outOfMemoryError()};
    QByteArray file(qsizetype(most), Qt::Uninitialized);
    auto *const start = reinterpret_cast<uchar *>(file.data());
    std::memset(start, 0, size_t(HeaderBytes));
    start[2] = uchar(TrueColour | RunLength);
    putU16(start + 12, width);
    putU16(start + 14, height);
    start[16] = uchar(channels * 8);
    start[17] = uchar(TopDownBit | (channels == 4 ? 8 : 0));
    uchar *out = start + HeaderBytes;
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        out = channels == 4 ? encodeRow<4>(line, width, out) : encodeRow<3>(line, width, out);
    }
    std::memset(out, 0, 8); // no extension area, no developer area
    std::memcpy(out + 8, FooterSignature.data(), size_t(FooterSignature.size()));
    out += FooterBytes;
    file.truncate(qsizetype(out - start));
    file.squeeze();
    return {std::move(file), QString()};
}

} // namespace

const Format &tga()
{
    static const Format format{u"TGA"_s, {u"tga"_s}, matches, declared, decode, encode, false};
    return format;
}

} // namespace morvane::formats
