// DDS: DirectDraw surfaces, as game engines load textures. Read back at the
// top level from BC1, BC2 and BC3 blocks and from uncompressed 24- and 32-bit
// pixels; written by ddswrite.cpp. libsquish unpacks the blocks.
#include "convert/formats/channel.h"
#include "convert/formats/ddsheader.h"
#include "convert/formats/formats.h"

#include <squish.h>

#include <algorithm>
#include <climits>
#include <cstring>

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

using namespace ddsfile;

bool matches(QByteArrayView data)
{
    return data.startsWith(Magic);
}

QSize declared(QByteArrayView head)
{
    ByteReader r(head);
    const Header h = readHeader(r);
    return r.ok() ? declaredSize(h.width, h.height) : QSize();
}

QString fourCcText(quint32 code)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char(code >> (8 * i));
        if (c < ' ' || c > '~')
            return {};
        text.append(QLatin1Char(c));
    }
    return text;
}

// Masks that each name a channel inside the pixel and no two sharing a bit.
bool masksFit(const Header &h, bool alpha)
{
    const quint64 all = h.rgbBits == 32 ? 0xffffffffu : (quint64(1) << h.rgbBits) - 1;
    quint32 seen = 0;
    for (int i = 0; i < 4; ++i) {
        const quint32 mask = i == 3 && !alpha ? 0 : h.masks[i];
        if ((i < 3 && mask == 0) || (mask & ~all) != 0 || (mask & seen) != 0)
            return false;
        seen |= mask;
    }
    return true;
}

// The storage the header describes, or the reason it cannot be read.
Storage storageOf(const Header &h, QString *error)
{
    Storage s;
    if (h.formatFlags & FourCc) {
        switch (h.fourCc) {
        case fourCc("DXT1"): s = {squish::kDxt1, 8, 0}; break;
        case fourCc("DXT3"): s = {squish::kDxt3, 16, 0}; break;
        case fourCc("DXT5"): s = {squish::kDxt5, 16, 0}; break;
        case fourCc("DX10"):
            *error = u"DDS files with the DX10 header are not supported"_s;
            break;
        default: {
            const QString code = fourCcText(h.fourCc);
            *error = code.isEmpty() ? damagedError(dds().name)
                                    : u"DDS files compressed as %1 are not supported"_s.arg(code);
            break;
        }
        }
    } else if (h.formatFlags & Rgb) {
        if (h.rgbBits != 24 && h.rgbBits != 32)
            *error = u"DDS files with %1-bit pixels are not supported"_s.arg(h.rgbBits);
        else if (!masksFit(h, h.formatFlags & AlphaPixels))
            *error = damagedError(dds().name);
        else
            s.pixelBytes = int(h.rgbBits / 8);
    } else {
        *error = u"DDS files without RGB pixels are not supported"_s;
    }
    return s;
}

// Unpacks the blocks of a width x height level into an RGBA8888 picture.
QImage unpackBlocks(const uchar *blocks, int width, int height, const Storage &s)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    if (image.isNull())
        return image;
    uchar rgba[16 * 4];
    bool opaque = true;
    for (int by = 0; by < height; by += 4) {
        for (int bx = 0; bx < width; bx += 4) {
            squish::Decompress(rgba, blocks, s.squishFlags);
            blocks += s.blockBytes;
            for (int y = by; y < std::min(by + 4, height); ++y) {
                const uchar *from = rgba + ((y - by) * 4) * 4;
                const int n = std::min(4, width - bx);
                std::memcpy(image.scanLine(y) + bx * 4, from, size_t(n) * 4);
                for (int i = 0; i < n; ++i)
                    opaque = opaque && from[i * 4 + 3] == 255;
            }
        }
    }
    // BC1 blocks are opaque unless a block says otherwise.
    if (opaque && s.squishFlags == squish::kDxt1)
        image.reinterpretAsFormat(QImage::Format_RGBX8888);
    return image;
}

QImage unpackPixels(const uchar *pixels, int width, int height, const Header &h, const Storage &s)
{
    const bool alpha = (h.formatFlags & AlphaPixels) && h.masks[3] != 0;
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), opacity(alpha ? h.masks[3] : 0u);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x, pixels += s.pixelBytes) {
            quint32 p = quint32(pixels[0]) | quint32(pixels[1]) << 8 | quint32(pixels[2]) << 16;
            if (s.pixelBytes == 4)
                p |= quint32(pixels[3]) << 24;
            line[x] = qRgba(int(red.value(p)), int(green.value(p)), int(blue.value(p)),
                            alpha ? int(opacity.value(p)) : 255);
        }
    }
    return image;
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    ByteReader r(data);
    const Header h = readHeader(r);
    if (!r.ok())
        return {QImage(), truncatedError()};
    if (h.size != HeaderBytes || h.formatSize != PixelFormatBytes || h.width == 0 || h.height == 0)
        return {QImage(), damagedError(dds().name)};
    const QString tooLarge = sizeLimitError(QSize(int(std::min<quint32>(h.width, INT_MAX)),
                                                  int(std::min<quint32>(h.height, INT_MAX))),
                                            32, limits);
    if (!tooLarge.isEmpty())
        return {QImage(), tooLarge};
    QString error;
    const Storage storage = storageOf(h, &error);
    if (!error.isEmpty())
        return {QImage(), error};
    const int levels = h.mipmapCount == 0 ? 1 : int(std::min<quint32>(h.mipmapCount, 64));
    if (levels > fullChain(h.width, h.height))
        return {QImage(), damagedError(dds().name)};
    // The whole chain must be there: a file cut anywhere is a cut file.
    if (chainBytes(storage, h.width, h.height, levels) > data.size() - FileHeaderBytes)
        return {QImage(), truncatedError()};

    const int width = int(h.width);
    const int height = int(h.height);
    const auto *top = reinterpret_cast<const uchar *>(data.data()) + FileHeaderBytes;
    QImage image = storage.squishFlags ? unpackBlocks(top, width, height, storage)
                                       : unpackPixels(top, width, height, h, storage);
    if (image.isNull())
        return {QImage(), outOfMemoryError()};
    return {std::move(image), QString()};
}

} // namespace

const Format &dds()
{
    static const Format format{u"DDS"_s, {u"dds"_s}, matches, declared, decode, ddsfile::encode, false};
    return format;
}

} // namespace morvane::formats
