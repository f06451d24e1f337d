// Writing DDS in the kinds old engines read: BC1 to BC5 blocks under their
// FourCCs (DXT1, DXT3, DXT5, ATI1, ATI2) and plain 24- and 32-bit pixels,
// with the whole chain of mipmaps or the top level alone. Colour mipmaps are
// made in linear light, normal maps as vectors, cut-outs keeping their
// coverage. stb_dxt packs the blocks, libsquish those of one-bit alpha.
#include "convert/formats/bytewriter.h"
#include "convert/formats/ddsheader.h"
#include "convert/formats/ddswrite.h"
#include "convert/formats/formats.h"

#include <squish.h>
#include <stb/stb_dxt.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace morvane::formats::ddsfile {

namespace {

using Kind = WriteOptions::DdsKind;

// The pitch of an uncompressed surface is given (DDSD_PITCH).
constexpr quint32 HasPitch = 0x8;

// sRGB levels in linear light, and back.
const std::array<float, 256> &srgbToLinear()
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t {};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[size_t(i)] = float(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table;
}

constexpr int LinearSteps = 65535;

const std::vector<uchar> &linearToSrgb()
{
    static const std::vector<uchar> table = [] {
        std::vector<uchar> t(LinearSteps + 1);
        for (int i = 0; i <= LinearSteps; ++i) {
            const double c = double(i) / LinearSteps;
            const double s = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
            t[size_t(i)] = uchar(std::lround(std::clamp(s, 0.0, 1.0) * 255));
        }
        return t;
    }();
    return table;
}

// The source pixels a destination pixel covers along one side, and how much
// of each: a box over exactly its share of the source, so that sides which
// do not halve evenly lose nothing.
struct Tap {
    int from = 0;
    int count = 0;
    float weights[3] = {0, 0, 0};
};

std::vector<Tap> boxTaps(int source, int destination)
{
    std::vector<Tap> taps(static_cast<size_t>(destination));
    const double scale = double(source) / destination;
    for (int d = 0; d < destination; ++d) {
        const double start = d * scale;
        const double end = (d + 1) * scale;
        Tap &tap = taps[size_t(d)];
        tap.from = int(start);
        const int last = std::min(source - 1, int(std::ceil(end)) - 1);
        tap.count = last - tap.from + 1;
        for (int i = 0; i < tap.count; ++i) {
            const double lo = std::max(start, double(tap.from + i));
            const double hi = std::min(end, double(tap.from + i + 1));
            tap.weights[i] = float((hi - lo) / scale);
        }
    }
    return taps;
}

// The next level of the chain: each side halved (down to 1), every pixel
// made by make from the means of the Sums values take gives each source
// pixel it covers.
template <int Sums, typename Take, typename Make>
QImage boxHalved(const QImage &level, Take take, Make make)
{
    const int sw = level.width();
    const int sh = level.height();
    const int dw = std::max(1, sw / 2);
    const int dh = std::max(1, sh / 2);
    QImage next(dw, dh, QImage::Format_ARGB32);
    if (next.isNull())
        return next;
    const std::vector<Tap> across = boxTaps(sw, dw);
    const std::vector<Tap> down = boxTaps(sh, dh);
    std::vector<float> row(size_t(dw) * Sums);
    std::vector<float> sums(size_t(dw) * Sums);
    float values[Sums];
    for (int y = 0; y < dh; ++y) {
        std::fill(sums.begin(), sums.end(), 0.0f);
        const Tap &vertical = down[size_t(y)];
        for (int j = 0; j < vertical.count; ++j) {
            const auto *line = reinterpret_cast<const QRgb *>(level.constScanLine(vertical.from + j));
            std::fill(row.begin(), row.end(), 0.0f);
            for (int x = 0; x < dw; ++x) {
                const Tap &horizontal = across[size_t(x)];
                float *out = row.data() + size_t(x) * Sums;
                for (int i = 0; i < horizontal.count; ++i) {
                    take(line[horizontal.from + i], values);
                    const float w = horizontal.weights[i];
                    for (int k = 0; k < Sums; ++k)
                        out[k] += w * values[k];
                }
            }
            const float w = vertical.weights[j];
            for (size_t k = 0; k < sums.size(); ++k)
                sums[k] += w * row[k];
        }
        auto *line = reinterpret_cast<QRgb *>(next.scanLine(y));
        for (int x = 0; x < dw; ++x)
            line[x] = make(sums.data() + size_t(x) * Sums);
    }
    return next;
}

// sRGB levels in linear light from 0 to LinearSteps, to the nearest step.
const std::array<quint32, 256> &srgbToLinearSteps()
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t {};
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = quint32(std::lround(srgbToLinear()[i] * LinearSteps));
        return t;
    }();
    return table;
}

// halvedColours() for a level whose sides are both even, each pixel the mean
// of two by two: in whole linear steps rather than floats, which is several
// times faster and comes within one step of them.
QImage halvedColoursEvenly(const QImage &level)
{
    const int dw = level.width() / 2;
    const int dh = level.height() / 2;
    QImage next(dw, dh, QImage::Format_ARGB32);
    if (next.isNull())
        return next;
    const auto &linear = srgbToLinearSteps();
    const uchar *srgb = linearToSrgb().data();
    for (int y = 0; y < dh; ++y) {
        const auto *upper = reinterpret_cast<const QRgb *>(level.constScanLine(2 * y));
        const auto *lower = reinterpret_cast<const QRgb *>(level.constScanLine(2 * y + 1));
        auto *line = reinterpret_cast<QRgb *>(next.scanLine(y));
        for (int x = 0; x < dw; ++x) {
            const QRgb c[4] = {upper[2 * x], upper[2 * x + 1], lower[2 * x], lower[2 * x + 1]};
            const quint32 a[4] = {quint32(qAlpha(c[0])), quint32(qAlpha(c[1])), quint32(qAlpha(c[2])),
                                  quint32(qAlpha(c[3]))};
            const quint32 opacity = a[0] + a[1] + a[2] + a[3];
            quint32 r = 0, g = 0, b = 0;
            if (opacity == 4 * 255 || opacity == 0) {
                // All opaque, or all clear (whose colours are then averaged plainly).
                for (const QRgb p : c) {
                    r += linear[size_t(qRed(p))];
                    g += linear[size_t(qGreen(p))];
                    b += linear[size_t(qBlue(p))];
                }
                r = (r + 2) / 4;
                g = (g + 2) / 4;
                b = (b + 2) / 4;
            } else {
                for (size_t i = 0; i < 4; ++i) {
                    r += a[i] * linear[size_t(qRed(c[i]))];
                    g += a[i] * linear[size_t(qGreen(c[i]))];
                    b += a[i] * linear[size_t(qBlue(c[i]))];
                }
                r = (r + opacity / 2) / opacity;
                g = (g + opacity / 2) / opacity;
                b = (b + opacity / 2) / opacity;
            }
            line[x] = qRgba(srgb[r], srgb[g], srgb[b], int((opacity + 2) / 4));
        }
    }
    return next;
}

// A colour level halved in linear light, the colours weighted by their
// opacity, so that clear pixels lend no colour.
QImage halvedColours(const QImage &level)
{
    if (level.width() % 2 == 0 && level.height() % 2 == 0)
        return halvedColoursEvenly(level);

    const auto &linear = srgbToLinear();
    const auto &srgb = linearToSrgb();
    // Opacity-weighted red, green, blue; opacity; plain red, green, blue
    // (for pixels that come out clear).
    const auto take = [&](QRgb c, float *v) {
        const float r = linear[size_t(qRed(c))], g = linear[size_t(qGreen(c))], b = linear[size_t(qBlue(c))];
        const float a = qAlpha(c) / 255.0f;
        v[0] = a * r;
        v[1] = a * g;
        v[2] = a * b;
        v[3] = a;
        v[4] = r;
        v[5] = g;
        v[6] = b;
    };
    const auto make = [&](const float *s) {
        const int alpha = int(std::lround(std::clamp(s[3], 0.0f, 1.0f) * 255));
        const bool clear = s[3] <= 0.0f;
        const auto level8 = [&](int channel) {
            const float value = clear ? s[4 + channel] : s[channel] / s[3];
            return int(srgb[size_t(std::lround(std::clamp(value, 0.0f, 1.0f) * LinearSteps))]);
        };
        return qRgba(level8(0), level8(1), level8(2), alpha);
    };
    return boxHalved<7>(level, take, make);
}

// A normal map's level halved: red, green and blue are the components of
// a vector from -1 to 1, averaged as they are and made unit length again
// (straight up where they cancel out); alpha is averaged plainly.
QImage halvedVectors(const QImage &level)
{
    const auto take = [](QRgb c, float *v) {
        v[0] = qRed(c) / 127.5f - 1;
        v[1] = qGreen(c) / 127.5f - 1;
        v[2] = qBlue(c) / 127.5f - 1;
        v[3] = float(qAlpha(c));
    };
    const auto make = [](const float *s) {
        float x = s[0], y = s[1], z = s[2];
        const float length = std::sqrt(x * x + y * y + z * z);
        if (length < 1e-6f) {
            x = y = 0;
            z = 1;
        } else {
            x /= length;
            y /= length;
            z /= length;
        }
        const auto level8 = [](float v) { return int(std::lround(std::clamp((v + 1) * 127.5f, 0.0f, 255.0f))); };
        return qRgba(level8(x), level8(y), level8(z), int(std::lround(std::clamp(s[3], 0.0f, 255.0f))));
    };
    return boxHalved<4>(level, take, make);
}

// The texels of a 256-entry alpha histogram whose alpha, scaled by scale,
// is above limit.
qint64 covered(const std::array<qint64, 256> &histogram, double scale, double limit)
{
    qint64 n = 0;
    for (int a = 0; a < 256; ++a) {
        if (std::min(255.0, std::round(a * scale)) > limit)
            n += histogram[size_t(a)];
    }
    return n;
}

std::array<qint64, 256> alphaHistogram(const QImage &level)
{
    std::array<qint64, 256> histogram {};
    for (int y = 0; y < level.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(level.constScanLine(y));
        for (int x = 0; x < level.width(); ++x)
            ++histogram[size_t(qAlpha(line[x]))];
    }
    return histogram;
}

// The share of level's texels whose alpha is above threshold (0 to 1).
double coverage(const QImage &level, double threshold)
{
    const qint64 texels = qint64(level.width()) * level.height();
    return double(covered(alphaHistogram(level), 1.0, threshold * 255)) / double(texels);
}

// level with its alpha scaled so that the share of texels above threshold
// comes as close to target as a scale can bring it, found by bisection.
QImage withCoverage(const QImage &level, double threshold, double target)
{
    const std::array<qint64, 256> histogram = alphaHistogram(level);
    const double texels = double(level.width()) * level.height();
    const double limit = threshold * 255;
    double low = 0, high = 256, scale = 1, best = 1, bestError = 2;
    for (int i = 0; i < 24; ++i) {
        const double share = double(covered(histogram, scale, limit)) / texels;
        const double error = std::abs(share - target);
        if (error < bestError) {
            bestError = error;
            best = scale;
        }
        if (share < target)
            low = scale;
        else if (share > target)
            high = scale;
        else
            break;
        scale = (low + high) / 2;
    }
    if (best == 1)
        return level;
    QImage scaled = level;
    if (scaled.isNull())
        return scaled;
    for (int y = 0; y < scaled.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(scaled.scanLine(y));
        for (int x = 0; x < scaled.width(); ++x) {
            const int a = int(std::min(255.0, std::round(qAlpha(line[x]) * best)));
            line[x] = (line[x] & 0x00FFFFFF) | QRgb(a) << 24;
        }
    }
    return scaled;
}

// How a kind is stored: its FourCC (0 for plain pixels) and its sizes.
struct Layout {
    quint32 fourCc = 0;
    Storage storage;
};

Layout layoutOf(Kind kind)
{
    switch (kind) {
    case Kind::Auto:
    case Kind::Bc1:
    case Kind::Bc1a: return {fourCc("DXT1"), {squish::kDxt1, 8, 0}};
    case Kind::Bc2: return {fourCc("DXT3"), {squish::kDxt3, 16, 0}};
    case Kind::Bc3: return {fourCc("DXT5"), {squish::kDxt5, 16, 0}};
    case Kind::Bc4: return {fourCc("ATI1"), {squish::kBc4, 8, 0}};
    case Kind::Bc5: return {fourCc("ATI2"), {squish::kBc5, 16, 0}};
    case Kind::Bgra: return {0, {0, 0, 4}};
    case Kind::Bgr: return {0, {0, 0, 3}};
    }
    return {};
}

// The colour half of a block (8 bytes) from 16 opaque RGBA texels; with
// fourColours, in the four-colour mode that BC2 and BC3 are read in.
void packColour(uchar *out, const uchar *rgba, ColourFit fit, bool fourColours)
{
    switch (fit) {
    case ColourFit::Stb:
    case ColourFit::StbHighQuality:
        // Its blocks are in four-colour mode, or all of their first colour.
        stb_compress_dxt_block(out, rgba, 0, fit == ColourFit::Stb ? STB_DXT_NORMAL : STB_DXT_HIGHQUAL);
        return;
    case ColourFit::SquishRange:
    case ColourFit::SquishCluster: {
        const int method = fit == ColourFit::SquishRange ? squish::kColourRangeFit : squish::kColourClusterFit;
        if (!fourColours) {
            squish::Compress(rgba, out, squish::kDxt1 | method);
            return;
        }
        uchar block[16];
        squish::Compress(rgba, block, squish::kDxt3 | method);
        std::memcpy(out, block + 8, 8);
        return;
    }
    }
}

// BC3's alpha half, or a BC4 channel: 16 values a stride apart.
void packChannel(uchar *out, const uchar *values, int stride)
{
    uchar channel[16];
    for (int i = 0; i < 16; ++i)
        channel[i] = values[i * stride];
    stb_compress_bc4_block(out, channel);
}

// True when a block's texels (RGBA) include one that one-bit alpha makes clear.
bool hasClearTexel(const uchar *rgba)
{
    for (int i = 0; i < 16; ++i) {
        if (rgba[i * 4 + 3] < 128)
            return true;
    }
    return false;
}

// One block of kind from 16 RGBA texels (a picture's edge repeated to fill it).
void packBlock(uchar *out, uchar *rgba, Kind kind, ColourFit fit)
{
    switch (kind) {
    case Kind::Bc1a:
        if (hasClearTexel(rgba)) {
            // Only libsquish packs the three-colour blocks that hold clear texels.
            squish::Compress(rgba, out, squish::kDxt1 | squish::kColourClusterFit);
            return;
        }
        [[fallthrough]];
    case Kind::Auto:
    case Kind::Bc1:
        for (int i = 0; i < 16; ++i)
            rgba[i * 4 + 3] = 255;
        packColour(out, rgba, fit, false);
        return;
    case Kind::Bc2:
        for (int i = 0; i < 16; i += 2) {
            const int low = (rgba[i * 4 + 3] * 15 + 127) / 255;
            const int high = (rgba[i * 4 + 7] * 15 + 127) / 255;
            out[i / 2] = uchar(low | high << 4);
        }
        for (int i = 0; i < 16; ++i)
            rgba[i * 4 + 3] = 255;
        packColour(out + 8, rgba, fit, true);
        return;
    case Kind::Bc3:
        packChannel(out, rgba + 3, 4);
        for (int i = 0; i < 16; ++i)
            rgba[i * 4 + 3] = 255;
        packColour(out + 8, rgba, fit, true);
        return;
    case Kind::Bc4:
        packChannel(out, rgba, 4);
        return;
    case Kind::Bc5:
        packChannel(out, rgba, 4);
        packChannel(out + 8, rgba + 1, 4);
        return;
    case Kind::Bgra:
    case Kind::Bgr:
        return;
    }
}

// Packs level (ARGB32) into its blocks at out.
void packBlocks(const QImage &level, Kind kind, int blockBytes, ColourFit fit, uchar *out)
{
    const int width = level.width();
    const int height = level.height();
    uchar rgba[16 * 4];
    for (int by = 0; by < height; by += 4) {
        const QRgb *lines[4];
        for (int j = 0; j < 4; ++j)
            lines[j] = reinterpret_cast<const QRgb *>(level.constScanLine(std::min(by + j, height - 1)));
        for (int bx = 0; bx < width; bx += 4) {
            for (int i = 0; i < 16; ++i) {
                const QRgb c = lines[i / 4][std::min(bx + i % 4, width - 1)];
                uchar *p = rgba + i * 4;
                p[0] = uchar(qRed(c));
                p[1] = uchar(qGreen(c));
                p[2] = uchar(qBlue(c));
                p[3] = uchar(qAlpha(c));
            }
            packBlock(out, rgba, kind, fit);
            out += blockBytes;
        }
    }
}

// Writes level's pixels plainly at out: blue, green, red and, for 32 bits, alpha.
void packPixels(const QImage &level, int pixelBytes, uchar *out)
{
    for (int y = 0; y < level.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(level.constScanLine(y));
        for (int x = 0; x < level.width(); ++x) {
            *out++ = uchar(qBlue(line[x]));
            *out++ = uchar(qGreen(line[x]));
            *out++ = uchar(qRed(line[x]));
            if (pixelBytes == 4)
                *out++ = uchar(qAlpha(line[x]));
        }
    }
}

bool isOpaque(const QImage &level)
{
    for (int y = 0; y < level.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(level.constScanLine(y));
        if (!std::all_of(line, line + level.width(), [](QRgb c) { return qAlpha(c) == 255; }))
            return false;
    }
    return true;
}

} // namespace

Encoded encodeWith(const QImage &picture, const WriteOptions &options, ColourFit fit)
{
    if (picture.isNull())
        return {QByteArray(), noPictureError()};
    QImage level = picture.convertToFormat(QImage::Format_ARGB32);
    if (level.isNull())
        return {QByteArray(), outOfMemoryError()};
    const int width = level.width();
    const int height = level.height();
    Kind kind = options.ddsKind;
    if (kind == Kind::Auto)
        kind = isOpaque(level) ? Kind::Bc1 : Kind::Bc3;
    const Layout layout = layoutOf(kind);
    const Storage &storage = layout.storage;
    const bool blocks = storage.squishFlags != 0;
    const int levels = options.mipmaps ? fullChain(width, height) : 1;
    const qint64 total = FileHeaderBytes + chainBytes(storage, width, height, levels);
    if (total > qint64(1) << 31)
        return {QByteArray(), u"picture too large for DDS (%1 x %2)"_s.arg(width).arg(height)};

    QByteArray file(qsizetype(total), Qt::Uninitialized);
    ByteWriter w(file.data());
    w.u32(fourCc("DDS "));
    w.u32(HeaderBytes);
    w.u32(HasCaps | HasHeight | HasWidth | HasPixelFormat | (options.mipmaps ? HasMipmapCount : 0)
          | (blocks ? HasLinearSize : HasPitch));
    w.u32(quint32(height));
    w.u32(quint32(width));
    w.u32(quint32(blocks ? storage.levelBytes(width, height) : qint64(width) * storage.pixelBytes));
    w.u32(0); // depth
    w.u32(quint32(levels));
    w.zeros(11 * 4);
    w.u32(PixelFormatBytes);
    if (blocks) {
        w.u32(FourCc);
        w.u32(layout.fourCc);
        w.zeros(5 * 4); // bit count and masks
    } else {
        const bool alpha = storage.pixelBytes == 4;
        w.u32(Rgb | (alpha ? AlphaPixels : 0));
        w.u32(0);
        w.u32(quint32(storage.pixelBytes * 8));
        w.u32(0x00FF0000);
        w.u32(0x0000FF00);
        w.u32(0x000000FF);
        w.u32(alpha ? 0xFF000000 : 0);
    }
    w.u32(Texture | (options.mipmaps ? Mipmaps | Complex : 0));
    w.zeros(4 * 4); // further capabilities, reserved

    const double threshold = options.alphaTest.value_or(0.5);
    const double target = options.alphaTest ? coverage(level, threshold) : 0;
    auto *out = reinterpret_cast<uchar *>(w.position());
    for (int i = 0; i < levels; ++i) {
        if (i > 0) {
            level = options.normalMap ? halvedVectors(level) : halvedColours(level);
            if (level.isNull())
                return {QByteArray(), outOfMemoryError()};
        }
        const QImage written = i > 0 && options.alphaTest ? withCoverage(level, threshold, target) : level;
        if (written.isNull())
            return {QByteArray(), outOfMemoryError()};
        if (blocks)
            packBlocks(written, kind, storage.blockBytes, fit, out);
        else
            packPixels(written, storage.pixelBytes, out);
        out += storage.levelBytes(level.width(), level.height());
    }
    return {std::move(file), QString()};
}

Encoded encode(const QImage &picture, const WriteOptions &options)
{
    return encodeWith(picture, options, DefaultColourFit);
}

} // namespace morvane::formats::ddsfile
