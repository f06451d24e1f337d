// DDS: DirectDraw surfaces, as game engines load textures. Read at the top
// level of the first face, array layer or volume slice, from the old header
// or the DX10 one: BC1 to BC7 blocks and uncompressed pixels described by
// masks or by their DXGI format. Written by ddswrite.cpp.
#include "convert/formats/bptc.h"
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

// More of what the pixel format holds (DDPF_*).
constexpr quint32 AlphaOnly = 0x2;
constexpr quint32 Yuv = 0x200;
constexpr quint32 Luminance = 0x20000;
constexpr quint32 BumpDuDv = 0x80000;
// What the second capabilities field says (DDSCAPS2_*).
constexpr quint32 CubeMap = 0x200;
constexpr quint32 CubeFaces = 0xfc00;
constexpr quint32 Volume = 0x200000;
// The DX10 header's resource dimensions and its cube flag.
constexpr quint32 Texture1D = 2;
constexpr quint32 Texture2D = 3;
constexpr quint32 Texture3D = 4;
constexpr quint32 TextureCube = 0x4;
constexpr qint64 Dx10HeaderBytes = 20;

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

using BlockDecoder = void (*)(const uchar *block, uchar *rgba);

// How the top surface's texels are stored and what they mean.
struct Surface {
    enum Colours { Rgb, Grey, AlphaAsGrey };
    BlockDecoder unpack = nullptr; // for blocks, else null
    int blockBytes = 0;
    int pixelBytes = 0;             // for uncompressed pixels
    quint32 masks[4] = {0, 0, 0, 0}; // red (or grey), green, blue, alpha
    Colours colours = Rgb;
    bool signedValues = false;      // 8-bit channels from -1 to 1
    bool premultiplied = false;     // colours multiplied by their opacity
    bool alpha = false;             // whether the picture may have clear texels

    qint64 levelBytes(qint64 width, qint64 height) const
    {
        if (unpack)
            return std::max<qint64>(1, (width + 3) / 4) * std::max<qint64>(1, (height + 3) / 4) * blockBytes;
        return width * height * pixelBytes;
    }
};

// A signed 8-bit value from -1 (-127 and -128) to 1 as a level from 0 to 255.
uchar fromSigned(int v)
{
    return uchar((std::max(v, -127) + 127) * 255 / 254);
}

// The 16 values of a BC4 block (the alpha block of BC3), into every fourth
// byte from out. libsquish in Debian unpacks only BC1 to BC3, and has no
// signed form, so these blocks are unpacked here.
void unpackValues(const uchar *block, bool isSigned, uchar *out)
{
    const auto endpoint = [&](int i) { return isSigned ? int(qint8(block[i])) : int(block[i]); };
    const int a = endpoint(0);
    const int b = endpoint(1);
    int values[8] = {a, b};
    if (a > b) {
        for (int i = 1; i < 7; ++i)
            values[i + 1] = ((7 - i) * a + i * b) / 7;
    } else {
        for (int i = 1; i < 5; ++i)
            values[i + 1] = ((5 - i) * a + i * b) / 5;
        values[6] = isSigned ? -127 : 0;
        values[7] = isSigned ? 127 : 255;
    }
    quint64 indices = 0;
    for (int i = 7; i >= 2; --i)
        indices = indices << 8 | block[i];
    for (int i = 0; i < 16; ++i, indices >>= 3) {
        const int v = values[indices & 7];
        out[i * 4] = isSigned ? fromSigned(v) : uchar(v);
    }
}

void greyBlock(uchar *rgba)
{
    for (int i = 0; i < 16; ++i) {
        rgba[i * 4 + 1] = rgba[i * 4 + 2] = rgba[i * 4];
        rgba[i * 4 + 3] = 255;
    }
}

void redGreenBlock(uchar *rgba)
{
    for (int i = 0; i < 16; ++i) {
        rgba[i * 4 + 2] = 0;
        rgba[i * 4 + 3] = 255;
    }
}

void bc1(const uchar *block, uchar *rgba) { squish::Decompress(rgba, block, squish::kDxt1); }
void bc2(const uchar *block, uchar *rgba) { squish::Decompress(rgba, block, squish::kDxt3); }
void bc3(const uchar *block, uchar *rgba) { squish::Decompress(rgba, block, squish::kDxt5); }
void bc4(const uchar *block, uchar *rgba) { unpackValues(block, false, rgba); greyBlock(rgba); }
void bc4s(const uchar *block, uchar *rgba) { unpackValues(block, true, rgba); greyBlock(rgba); }
void bc5(const uchar *block, uchar *rgba)
{
    unpackValues(block, false, rgba);
    unpackValues(block + 8, false, rgba + 1);
    redGreenBlock(rgba);
}
void bc5s(const uchar *block, uchar *rgba)
{
    unpackValues(block, true, rgba);
    unpackValues(block + 8, true, rgba + 1);
    redGreenBlock(rgba);
}
void bc6h(const uchar *block, uchar *rgba) { bptc::decodeBc6h(block, false, rgba); }
void bc6hs(const uchar *block, uchar *rgba) { bptc::decodeBc6h(block, true, rgba); }
void bc7(const uchar *block, uchar *rgba) { bptc::decodeBc7(block, rgba); }

constexpr Surface blocks(BlockDecoder unpack, int bytes, bool alpha, bool premultiplied = false)
{
    Surface s;
    s.unpack = unpack;
    s.blockBytes = bytes;
    s.alpha = alpha;
    s.premultiplied = premultiplied;
    return s;
}

constexpr Surface pixels(int bytes, quint32 r, quint32 g, quint32 b, quint32 a,
                         Surface::Colours colours = Surface::Rgb, bool isSigned = false)
{
    Surface s;
    s.pixelBytes = bytes;
    s.masks[0] = r;
    s.masks[1] = g;
    s.masks[2] = b;
    s.masks[3] = a;
    s.colours = colours;
    s.signedValues = isSigned;
    s.alpha = a != 0;
    return s;
}

// The DXGI formats read, their TYPELESS, UNORM, UNORM_SRGB and SNORM forms
// each a row.
struct DxgiFormat {
    quint32 code;
    Surface surface;
};

constexpr quint32 Rgba = 0xff000000;
const DxgiFormat dxgiFormats[] = {
    {23, pixels(4, 0x3ff, 0xffc00, 0x3ff00000, 0xc0000000)}, // R10G10B10A2
    {24, pixels(4, 0x3ff, 0xffc00, 0x3ff00000, 0xc0000000)},
    {27, pixels(4, 0xff, 0xff00, 0xff0000, Rgba)}, // R8G8B8A8
    {28, pixels(4, 0xff, 0xff00, 0xff0000, Rgba)},
    {29, pixels(4, 0xff, 0xff00, 0xff0000, Rgba)},
    {31, pixels(4, 0xff, 0xff00, 0xff0000, Rgba, Surface::Rgb, true)},
    {48, pixels(2, 0xff, 0xff00, 0, 0)}, // R8G8
    {49, pixels(2, 0xff, 0xff00, 0, 0)},
    {51, pixels(2, 0xff, 0xff00, 0, 0, Surface::Rgb, true)},
    {60, pixels(1, 0xff, 0, 0, 0, Surface::Grey)}, // R8
    {61, pixels(1, 0xff, 0, 0, 0, Surface::Grey)},
    {63, pixels(1, 0xff, 0, 0, 0, Surface::Grey, true)},
    {65, pixels(1, 0, 0, 0, 0xff, Surface::AlphaAsGrey)}, // A8
    {70, blocks(bc1, 8, true)}, // BC1
    {71, blocks(bc1, 8, true)},
    {72, blocks(bc1, 8, true)},
    {73, blocks(bc2, 16, true)}, // BC2
    {74, blocks(bc2, 16, true)},
    {75, blocks(bc2, 16, true)},
    {76, blocks(bc3, 16, true)}, // BC3
    {77, blocks(bc3, 16, true)},
    {78, blocks(bc3, 16, true)},
    {79, blocks(bc4, 8, false)}, // BC4
    {80, blocks(bc4, 8, false)},
    {81, blocks(bc4s, 8, false)},
    {82, blocks(bc5, 16, false)}, // BC5
    {83, blocks(bc5, 16, false)},
    {84, blocks(bc5s, 16, false)},
    {85, pixels(2, 0xf800, 0x7e0, 0x1f, 0)},      // B5G6R5
    {86, pixels(2, 0x7c00, 0x3e0, 0x1f, 0x8000)}, // B5G5R5A1
    {87, pixels(4, 0xff0000, 0xff00, 0xff, Rgba)}, // B8G8R8A8
    {88, pixels(4, 0xff0000, 0xff00, 0xff, 0)},    // B8G8R8X8
    {90, pixels(4, 0xff0000, 0xff00, 0xff, Rgba)},
    {91, pixels(4, 0xff0000, 0xff00, 0xff, Rgba)},
    {92, pixels(4, 0xff0000, 0xff00, 0xff, 0)},
    {93, pixels(4, 0xff0000, 0xff00, 0xff, 0)},
    {94, blocks(bc6h, 16, false)}, // BC6H
    {95, blocks(bc6h, 16, false)},
    {96, blocks(bc6hs, 16, false)},
    {97, blocks(bc7, 16, true)}, // BC7
    {98, blocks(bc7, 16, true)},
    {99, blocks(bc7, 16, true)},
    {115, pixels(2, 0xf00, 0xf0, 0xf, 0xf000)}, // B4G4R4A4
};

// The names of the DXGI formats up to B4G4R4A4, for the refusals of those not read.
constexpr const char *dxgiNames[] = {
    "UNKNOWN", "R32G32B32A32_TYPELESS", "R32G32B32A32_FLOAT", "R32G32B32A32_UINT", "R32G32B32A32_SINT",
    "R32G32B32_TYPELESS", "R32G32B32_FLOAT", "R32G32B32_UINT", "R32G32B32_SINT", "R16G16B16A16_TYPELESS",
    "R16G16B16A16_FLOAT", "R16G16B16A16_UNORM", "R16G16B16A16_UINT", "R16G16B16A16_SNORM", "R16G16B16A16_SINT",
    "R32G32_TYPELESS", "R32G32_FLOAT", "R32G32_UINT", "R32G32_SINT", "R32G8X24_TYPELESS",
    "D32_FLOAT_S8X24_UINT", "R32_FLOAT_X8X24_TYPELESS", "X32_TYPELESS_G8X24_UINT", "R10G10B10A2_TYPELESS",
    "R10G10B10A2_UNORM", "R10G10B10A2_UINT", "R11G11B10_FLOAT", "R8G8B8A8_TYPELESS", "R8G8B8A8_UNORM",
    "R8G8B8A8_UNORM_SRGB", "R8G8B8A8_UINT", "R8G8B8A8_SNORM", "R8G8B8A8_SINT", "R16G16_TYPELESS",
    "R16G16_FLOAT", "R16G16_UNORM", "R16G16_UINT", "R16G16_SNORM", "R16G16_SINT", "R32_TYPELESS",
    "D32_FLOAT", "R32_FLOAT", "R32_UINT", "R32_SINT", "R24G8_TYPELESS", "D24_UNORM_S8_UINT",
    "R24_UNORM_X8_TYPELESS", "X24_TYPELESS_G8_UINT", "R8G8_TYPELESS", "R8G8_UNORM", "R8G8_UINT",
    "R8G8_SNORM", "R8G8_SINT", "R16_TYPELESS", "R16_FLOAT", "D16_UNORM", "R16_UNORM", "R16_UINT",
    "R16_SNORM", "R16_SINT", "R8_TYPELESS", "R8_UNORM", "R8_UINT", "R8_SNORM", "R8_SINT", "A8_UNORM",
    "R1_UNORM", "R9G9B9E5_SHAREDEXP", "R8G8_B8G8_UNORM", "G8R8_G8B8_UNORM", "BC1_TYPELESS", "BC1_UNORM",
    "BC1_UNORM_SRGB", "BC2_TYPELESS", "BC2_UNORM", "BC2_UNORM_SRGB", "BC3_TYPELESS", "BC3_UNORM",
    "BC3_UNORM_SRGB", "BC4_TYPELESS", "BC4_UNORM", "BC4_SNORM", "BC5_TYPELESS", "BC5_UNORM", "BC5_SNORM",
    "B5G6R5_UNORM", "B5G5R5A1_UNORM", "B8G8R8A8_UNORM", "B8G8R8X8_UNORM", "R10G10B10_XR_BIAS_A2_UNORM",
    "B8G8R8A8_TYPELESS", "B8G8R8A8_UNORM_SRGB", "B8G8R8X8_TYPELESS", "B8G8R8X8_UNORM_SRGB",
    "BC6H_TYPELESS", "BC6H_UF16", "BC6H_SF16", "BC7_TYPELESS", "BC7_UNORM", "BC7_UNORM_SRGB", "AYUV",
    "Y410", "Y416", "NV12", "P010", "P016", "420_OPAQUE", "YUY2", "Y210", "Y216", "NV11", "AI44", "IA44",
    "P8", "A8P8", "B4G4R4A4_UNORM"};

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

// The Direct3D 9 formats some writers give as a number in place of a FourCC.
QString d3dFormatName(quint32 code)
{
    switch (code) {
    case 36: return u"A16B16G16R16"_s;
    case 110: return u"Q16W16V16U16"_s;
    case 111: return u"R16F"_s;
    case 112: return u"G16R16F"_s;
    case 113: return u"A16B16G16R16F"_s;
    case 114: return u"R32F"_s;
    case 115: return u"G32R32F"_s;
    case 116: return u"A32B32G32R32F"_s;
    case 117: return u"CxV8U8"_s;
    default: return {};
    }
}

// Masks that stay inside the pixel, no two sharing a bit, and the ones the
// pixel's kind needs present.
bool masksFit(const Surface &s)
{
    const quint64 all = s.pixelBytes == 4 ? 0xffffffffu : (quint64(1) << (8 * s.pixelBytes)) - 1;
    quint32 seen = 0;
    for (const quint32 mask : s.masks) {
        if ((mask & ~all) != 0 || (mask & seen) != 0)
            return false;
        seen |= mask;
    }
    switch (s.colours) {
    case Surface::Rgb: return (s.masks[0] | s.masks[1] | s.masks[2]) != 0;
    case Surface::Grey: return s.masks[0] != 0;
    case Surface::AlphaAsGrey: return s.masks[3] != 0;
    }
    return false;
}

// The old header's FourCCs.
Surface fourCcSurface(quint32 code, QString *error)
{
    switch (code) {
    case fourCc("DXT1"): return blocks(bc1, 8, true);
    case fourCc("DXT2"): return blocks(bc2, 16, true, true);
    case fourCc("DXT3"): return blocks(bc2, 16, true);
    case fourCc("DXT4"): return blocks(bc3, 16, true, true);
    case fourCc("DXT5"): return blocks(bc3, 16, true);
    case fourCc("ATI1"):
    case fourCc("BC4U"): return blocks(bc4, 8, false);
    case fourCc("BC4S"): return blocks(bc4s, 8, false);
    case fourCc("ATI2"):
    case fourCc("BC5U"): return blocks(bc5, 16, false);
    case fourCc("BC5S"): return blocks(bc5s, 16, false);
    default: break;
    }
    if (const QString name = d3dFormatName(code); !name.isEmpty())
        *error = u"DDS files in the Direct3D format %1 are not supported"_s.arg(name);
    else if (const QString text = fourCcText(code); !text.isEmpty())
        *error = u"DDS files compressed as %1 are not supported"_s.arg(text);
    else
        *error = damagedError(dds().name);
    return {};
}

// The surface the old header's pixel format describes, or the reason it cannot be read.
Surface oldSurface(const Header &h, QString *error)
{
    if (h.formatFlags & FourCc)
        return fourCcSurface(h.fourCc, error);
    if (h.formatFlags & (Yuv | BumpDuDv)) {
        *error = (h.formatFlags & Yuv) ? u"DDS files with YUV pixels are not supported"_s
                                       : u"DDS files with bump-map (DuDv) pixels are not supported"_s;
        return {};
    }
    if (h.rgbBits != 8 && h.rgbBits != 16 && h.rgbBits != 24 && h.rgbBits != 32) {
        *error = h.rgbBits == 0 || h.rgbBits > 32 ? damagedError(dds().name)
                                                  : u"DDS files with %1-bit pixels are not supported"_s.arg(h.rgbBits);
        return {};
    }
    const quint32 alpha = (h.formatFlags & (AlphaPixels | AlphaOnly)) ? h.masks[3] : 0;
    Surface s;
    if (h.formatFlags & Rgb)
        s = pixels(int(h.rgbBits / 8), h.masks[0], h.masks[1], h.masks[2], alpha);
    else if (h.formatFlags & Luminance)
        s = pixels(int(h.rgbBits / 8), h.masks[0], 0, 0, alpha, Surface::Grey);
    else if (h.formatFlags & AlphaOnly)
        s = pixels(int(h.rgbBits / 8), 0, 0, 0, alpha, Surface::AlphaAsGrey);
    else {
        *error = damagedError(dds().name);
        return {};
    }
    if (!masksFit(s))
        *error = damagedError(dds().name);
    return s;
}

Surface dx10Surface(quint32 dxgi, QString *error)
{
    for (const DxgiFormat &format : dxgiFormats) {
        if (format.code == dxgi)
            return format.surface;
    }
    *error = dxgi < std::size(dxgiNames)
                 ? u"DDS files in the DXGI format %1 are not supported"_s.arg(QLatin1StringView(dxgiNames[dxgi]))
                 : u"DDS files in the DXGI format %1 are not supported"_s.arg(dxgi);
    return {};
}

// How many surfaces of the top level's size the file holds (cube faces,
// array layers), and the depth of a volume; false when they contradict.
struct Extent {
    qint64 surfaces = 1;
    qint64 depth = 1;
};

bool extentOf(const Header &h, ByteReader *dx10, quint32 *dxgi, Extent *extent)
{
    if (dx10) {
        *dxgi = dx10->u32();
        const quint32 dimension = dx10->u32();
        const quint32 misc = dx10->u32();
        const quint32 arraySize = dx10->u32();
        if (arraySize == 0)
            return false;
        if (dimension == Texture3D) {
            if (arraySize != 1 || (misc & TextureCube))
                return false;
            extent->depth = std::max<quint32>(1, h.depth);
        } else if (dimension == Texture2D || dimension == Texture1D) {
            extent->surfaces = qint64(arraySize) * ((misc & TextureCube) ? 6 : 1);
        } else {
            return false;
        }
        return true;
    }
    if (h.caps2 & Volume)
        extent->depth = std::max<quint32>(1, h.depth);
    else if (h.caps2 & CubeMap)
        extent->surfaces = std::popcount(h.caps2 & CubeFaces);
    return extent->surfaces > 0;
}

// Bytes of the levels levels of every surface and slice, or -1 when they
// pass available.
qint64 promisedBytes(const Surface &s, qint64 width, qint64 height, int levels, const Extent &e, qint64 available)
{
    if (e.depth > available || e.surfaces > available)
        return -1;
    qint64 chain = 0;
    for (int i = 0; i < levels; ++i) {
        chain += s.levelBytes(width, height) * std::max<qint64>(1, e.depth >> i);
        if (chain > available)
            return -1;
        width = std::max<qint64>(1, width / 2);
        height = std::max<qint64>(1, height / 2);
    }
    return chain > available / e.surfaces ? -1 : chain * e.surfaces;
}

// Colours multiplied by their opacity made straight again.
void unpremultiply(uchar *rgba)
{
    const int a = rgba[3];
    for (int c = 0; c < 3; ++c)
        rgba[c] = uchar(a == 0 ? 0 : std::min(255, (rgba[c] * 255 + a / 2) / a));
}

// Unpacks the blocks of a width x height level into an RGBA8888 picture.
QImage unpackBlocks(const uchar *data, int width, int height, const Surface &s)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    if (image.isNull())
        return image;
    uchar rgba[16 * 4];
    bool opaque = true;
    for (int by = 0; by < height; by += 4) {
        for (int bx = 0; bx < width; bx += 4) {
            s.unpack(data, rgba);
            data += s.blockBytes;
            for (int y = by; y < std::min(by + 4, height); ++y) {
                uchar *from = rgba + ((y - by) * 4) * 4;
                const int n = std::min(4, width - bx);
                for (int i = 0; i < n; ++i) {
                    if (s.premultiplied)
                        unpremultiply(from + i * 4);
                    opaque = opaque && from[i * 4 + 3] == 255;
                }
                std::memcpy(image.scanLine(y) + bx * 4, from, size_t(n) * 4);
            }
        }
    }
    // BC1 blocks are opaque unless a block says otherwise, and BC4 to BC6H
    // hold no opacity; BC2, BC3 and BC7 pictures keep their alpha channel.
    if (opaque && (s.unpack == bc1 || !s.alpha))
        image.reinterpretAsFormat(QImage::Format_RGBX8888);
    return image;
}

QImage unpackPixels(const uchar *data, int width, int height, const Surface &s)
{
    QImage image(width, height, s.alpha && s.colours != Surface::AlphaAsGrey ? QImage::Format_ARGB32
                                                                             : QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const Channel red(s.masks[0]), green(s.masks[1]), blue(s.masks[2]), opacity(s.masks[3]);
    const auto level = [&](const Channel &channel, quint32 p, uint absent) {
        if (!channel.present())
            return absent;
        const uint v = channel.value(p);
        return s.signedValues ? uint(fromSigned(qint8(uchar(v)))) : v;
    };
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x, data += s.pixelBytes) {
            quint32 p = 0;
            for (int i = s.pixelBytes - 1; i >= 0; --i)
                p = p << 8 | data[i];
            const int a = int(level(opacity, p, 255));
            switch (s.colours) {
            case Surface::Rgb:
                line[x] = qRgba(int(level(red, p, 0)), int(level(green, p, 0)), int(level(blue, p, 0)), a);
                break;
            case Surface::Grey: {
                const int v = int(level(red, p, 0));
                line[x] = qRgba(v, v, v, a);
                break;
            }
            case Surface::AlphaAsGrey:
                line[x] = qRgb(a, a, a);
                break;
            }
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

    const bool hasDx10 = (h.formatFlags & FourCc) && h.fourCc == fourCc("DX10");
    ByteReader dx10 = r.at(FileHeaderBytes);
    quint32 dxgi = 0;
    Extent extent;
    const bool extentFits = extentOf(h, hasDx10 ? &dx10 : nullptr, &dxgi, &extent);
    if (!dx10.ok())
        return {QImage(), truncatedError()};
    if (!extentFits)
        return {QImage(), damagedError(dds().name)};
    QString error;
    const Surface surface = hasDx10 ? dx10Surface(dxgi, &error) : oldSurface(h, &error);
    if (!error.isEmpty())
        return {QImage(), error};

    const int levels = h.mipmapCount == 0 ? 1 : int(std::min<quint32>(h.mipmapCount, 64));
    if (levels > fullChain(h.width, std::max<qint64>(h.height, extent.depth)))
        return {QImage(), damagedError(dds().name)};
    // Every level of every face, layer and slice must be there: a file cut
    // anywhere is a cut file.
    const qint64 start = FileHeaderBytes + (hasDx10 ? Dx10HeaderBytes : 0);
    if (promisedBytes(surface, h.width, h.height, levels, extent, data.size() - start) < 0)
        return {QImage(), truncatedError()};

    const int width = int(h.width);
    const int height = int(h.height);
    const auto *top = reinterpret_cast<const uchar *>(data.data()) + start;
    QImage image = surface.unpack ? unpackBlocks(top, width, height, surface)
                                  : unpackPixels(top, width, height, surface);
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
