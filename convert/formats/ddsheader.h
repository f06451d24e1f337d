// What the DDS reader and writer share: the file's header, its flags, and how
// many bytes a chain of levels takes.
#pragma once

#include "convert/formats/bytereader.h"
#include "convert/formats/format.h"

#include <QtGlobal>

#include <algorithm>
#include <bit>

namespace morvane::formats::ddsfile {


inline constexpr QByteArrayView Magic("DDS ", 4);
constexpr quint32 HeaderBytes = 124;
constexpr quint32 PixelFormatBytes = 32;
constexpr qint64 FileHeaderBytes = 4 + HeaderBytes;

// Which header fields are given (DDSD_*).
constexpr quint32 HasCaps = 0x1;
constexpr quint32 HasHeight = 0x2;
constexpr quint32 HasWidth = 0x4;
constexpr quint32 HasPixelFormat = 0x1000;
constexpr quint32 HasMipmapCount = 0x20000;
constexpr quint32 HasLinearSize = 0x80000;
// What the pixel format holds (DDPF_*).
constexpr quint32 AlphaPixels = 0x1;
constexpr quint32 FourCc = 0x4;
constexpr quint32 Rgb = 0x40;
// What the file holds (DDSCAPS_*).
constexpr quint32 Complex = 0x8;
constexpr quint32 Texture = 0x1000;
constexpr quint32 Mipmaps = 0x400000;

constexpr quint32 fourCc(const char (&code)[5])
{
    return quint32(uchar(code[0])) | quint32(uchar(code[1])) << 8 | quint32(uchar(code[2])) << 16
           | quint32(uchar(code[3])) << 24;
}

struct Header {
    quint32 size = 0;
    quint32 height = 0;
    quint32 width = 0;
    quint32 depth = 0;
    quint32 mipmapCount = 0;
    quint32 formatSize = 0;
    quint32 formatFlags = 0;
    quint32 fourCc = 0;
    quint32 rgbBits = 0;
    quint32 masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    quint32 caps2 = 0;                // cube map faces, volume
};

inline Header readHeader(ByteReader &r)
{
    Header h;
    r.skip(4); // the magic
    h.size = r.u32();
    r.skip(4); // which fields are given: many writers leave some out, so all are read
    h.height = r.u32();
    h.width = r.u32();
    r.skip(4); // pitch or linear size: computed from the width, as readers must
    h.depth = r.u32(); // of a volume texture
    h.mipmapCount = r.u32();
    r.skip(11 * 4);
    h.formatSize = r.u32();
    h.formatFlags = r.u32();
    h.fourCc = r.u32();
    h.rgbBits = r.u32();
    for (quint32 &mask : h.masks)
        mask = r.u32();
    r.skip(4); // capabilities
    h.caps2 = r.u32();
    r.skip(3 * 4); // reserved
    return h;
}

// How a surface's pixels are stored.
struct Storage {
    int squishFlags = 0; // for blocks; 0 for uncompressed pixels
    int blockBytes = 0;  // bytes of a 4 x 4 block
    int pixelBytes = 0;  // bytes of an uncompressed pixel

    qint64 levelBytes(qint64 width, qint64 height) const
    {
        if (squishFlags)
            return std::max<qint64>(1, (width + 3) / 4) * std::max<qint64>(1, (height + 3) / 4) * blockBytes;
        return width * height * pixelBytes;
    }
};

// The number of levels in a full chain, halving the longer side down to 1.
inline int fullChain(qint64 width, qint64 height)
{
    return std::bit_width(quint64(std::max(width, height)));
}

// Bytes of levels levels, the first width x height.
inline qint64 chainBytes(const Storage &storage, qint64 width, qint64 height, int levels)
{
    qint64 total = 0;
    for (int i = 0; i < levels; ++i) {
        total += storage.levelBytes(width, height);
        width = std::max<qint64>(1, width / 2);
        height = std::max<qint64>(1, height / 2);
    }
    return total;
}

// The whole DDS file for picture, written as options say (ddswrite.cpp).
Encoded encode(const QImage &picture, const WriteOptions &options);

} // namespace morvane::formats::ddsfile
