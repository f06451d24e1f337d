#include "resize.h"

#include <QColorSpace>
#include <QPixelFormat>
#include <QtEndian>

#include <stb/stb_image_resize.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <new>
#include <vector>

namespace morvane::convert {

namespace {

constexpr int MaxPowerOfTwo = 1 << 30;

// The power of two at or below side (side >= 1).
int powerOfTwoDown(int side)
{
    int power = 1;
    while (power <= side / 2)
        power *= 2;
    return power;
}

int powerOfTwoUp(int side)
{
    const int down = powerOfTwoDown(side);
    return down == side || down == MaxPowerOfTwo ? down : down * 2;
}

// The nearer of the powers of two around side in ratio: the upper one when
// side / down > up / side, that is side² > 2·down². The two are never equally
// near, since √2 is no ratio of whole numbers.
int powerOfTwoNearest(int side)
{
    const int down = powerOfTwoDown(side);
    if (down == MaxPowerOfTwo)
        return down;
    return qint64(side) * side > 2 * qint64(down) * down ? down * 2 : down;
}

// How a picture is laid out for the resampler: the format it is resampled
// in, its channels, which of them is alpha and the bytes of one channel.
struct Layout {
    QImage::Format format;
    int channels;
    int alpha;
    int channelBytes;
};

Layout layoutFor(const QImage &picture)
{
    // ARGB32 and RGB32 are one 32-bit word a pixel: alpha is the high byte.
    constexpr int WordAlpha = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0;
    const QImage::Format format = picture.format();
    if (format == QImage::Format_Grayscale16)
        return {format, 1, STBIR_ALPHA_CHANNEL_NONE, 2};
    const bool alpha = picture.hasAlphaChannel();
    // Grey formats and palettes of greys only; colour pixels are not looked at.
    if (format == QImage::Format_Grayscale8 || (!alpha && picture.depth() <= 8 && picture.isGrayscale()))
        return {QImage::Format_Grayscale8, 1, STBIR_ALPHA_CHANNEL_NONE, 1};
    // Deeper than 8 bits a channel: resampled in 16 bits. The filler of
    // RGBX64 is flagged as alpha so that it stays at its maximum.
    const QPixelFormat pixel = picture.pixelFormat();
    if (pixel.colorModel() == QPixelFormat::RGB && pixel.redSize() > 8)
        return {alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64, 4, 3, 2};
    // Likewise the 0xff filler of RGB32.
    return {alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32, 4, WordAlpha, 1};
}

// An upper bound of the bytes the resampler allocates, after its own sums
// (made in 32 bits): the filter tables and the buffers of rows.
double resamplerBytes(QSize from, QSize to, int channels)
{
    // Mitchell reaches two pixels either side, widened by the reduction.
    const double across = 4 * std::max(1.0, double(from.width()) / to.width()) + 3;
    const double down = 4 * std::max(1.0, double(from.height()) / to.height()) + 3;
    constexpr double TableEntry = 8 * sizeof(float) + 16; // coefficients and their span
    const double tables = (std::max(from.width(), to.width()) + 2 * across) * TableEntry
        + (std::max(from.height(), to.height()) + 2 * down) * TableEntry;
    const double rows = (from.width() + 2 * across) + to.width() * (down + 3);
    return tables + rows * channels * sizeof(float);
}

// Resampling of 8-bit ARGB32 and RGB32 pictures, the common case, done here
// rather than by stb_image_resize: the same Mitchell filter with the edges
// clamped, each pixel's four channels a vector of floats, the sRGB levels
// turned linear and back through tables. Several times faster on the
// textures this program makes.
using Pixel = float __attribute__((vector_size(16)));

// The source pixels each destination pixel along one side takes, and their
// weights: Mitchell's filter (B = C = 1/3) widened by the reduction, taps
// beyond the edges given to the edge pixel, the weights summing to 1.
struct Taps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights; // stride a destination pixel
    int stride = 0;
};

float mitchell(float x)
{
    x = std::fabs(x);
    if (x < 1)
        return (16 + x * x * (21 * x - 36)) / 18;
    if (x < 2)
        return (32 + x * (-60 + x * (36 - 7 * x))) / 18;
    return 0;
}

Taps mitchellTaps(int source, int destination)
{
    const double scale = double(destination) / source;
    const double support = scale < 1 ? 2 / scale : 2;
    const double shrink = std::min(1.0, scale);
    Taps taps;
    taps.stride = int(std::ceil(2 * support)) + 2;
    taps.first.resize(size_t(destination));
    taps.count.resize(size_t(destination));
    taps.weights.assign(size_t(destination) * size_t(taps.stride), 0.0f);
    std::vector<double> folded;
    for (int d = 0; d < destination; ++d) {
        const double centre = (d + 0.5) / scale;
        const int low = int(std::ceil(centre - support - 0.5));
        const int high = int(std::floor(centre + support - 0.5));
        const int from = std::clamp(low, 0, source - 1), to = std::clamp(high, 0, source - 1);
        folded.assign(size_t(to - from + 1), 0.0);
        double sum = 0;
        for (int i = low; i <= high; ++i) {
            const double w = mitchell(float((i + 0.5 - centre) * shrink));
            folded[size_t(std::clamp(i, from, to) - from)] += w;
            sum += w;
        }
        int start = 0, end = int(folded.size());
        while (end - start > 1 && folded[size_t(start)] == 0)
            ++start;
        while (end - start > 1 && folded[size_t(end - 1)] == 0)
            --end;
        taps.first[size_t(d)] = from + start;
        taps.count[size_t(d)] = end - start;
        float *weights = taps.weights.data() + size_t(d) * size_t(taps.stride);
        for (int i = start; i < end; ++i)
            weights[i - start] = float(sum != 0 ? folded[size_t(i)] / sum : 0);
    }
    return taps;
}

// The linear value of each 8-bit level: sRGB decoded, or the level itself.
std::array<float, 256> levelsToLinear(bool srgb)
{
    std::array<float, 256> table {};
    for (int i = 0; i < 256; ++i) {
        const double c = i / 255.0;
        table[size_t(i)] = float(!srgb || c <= 0.04045 ? (srgb ? c / 12.92 : c) : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return table;
}

constexpr int LinearSteps = 65535;

// The nearest 8-bit level of each of LinearSteps + 1 linear values from 0
// to 1, filled between the linear values halfway between two levels.
std::vector<uchar> linearToLevels(bool srgb)
{
    std::vector<uchar> table(LinearSteps + 1);
    size_t i = 0;
    for (int level = 0; level < 255; ++level) {
        const double half = (level + 0.5) / 255;
        const double linear = !srgb ? half : half <= 0.04045 ? half / 12.92 : std::pow((half + 0.055) / 1.055, 2.4);
        for (const double end = linear * LinearSteps; i < table.size() && double(i) < end; ++i)
            table[i] = uchar(level);
    }
    std::fill(table.begin() + qsizetype(i), table.end(), uchar(255));
    return table;
}

// source (ARGB32 or RGB32) resampled into result, of the same format. With
// alpha, colours are weighted by it (a trace of opacity kept even where it is
// nought, so that clear regions keep their own colours); RGB32's filler
// comes out 0xff.
bool resampleWords(const QImage &source, QImage &result, bool srgb)
{
    static const std::array<float, 256> srgbIn = levelsToLinear(true), plainIn = levelsToLinear(false);
    const float *in = srgb ? srgbIn.data() : plainIn.data();
    const uchar *out = nullptr;
    if (srgb) {
        static const std::vector<uchar> srgbOut = linearToLevels(true);
        out = srgbOut.data();
    } else {
        static const std::vector<uchar> plainOut = linearToLevels(false);
        out = plainOut.data();
    }
    const bool alpha = source.format() == QImage::Format_ARGB32;
    const int sw = source.width(), sh = source.height(), dw = result.width(), dh = result.height();
    constexpr float Trace = 1.0f / (1 << 20) / (1 << 20) / (1 << 20) / (1 << 20);

    try {
        const Taps across = mitchellTaps(sw, dw), down = mitchellTaps(sh, dh);
        const int ringRows = down.stride;
        std::vector<Pixel> decoded(static_cast<size_t>(sw)), ring(static_cast<size_t>(ringRows) * size_t(dw));
        std::vector<const Pixel *> rows(static_cast<size_t>(ringRows));
        int ready = 0; // the source rows resampled across so far
        for (int y = 0; y < dh; ++y) {
            const int first = down.first[size_t(y)], count = down.count[size_t(y)];
            for (; ready < first + count; ++ready) {
                const auto *line = reinterpret_cast<const QRgb *>(source.constScanLine(ready));
                for (int x = 0; x < sw; ++x) {
                    const QRgb c = line[x];
                    if (alpha) {
                        const float a = float(qAlpha(c)) * (1.0f / 255) + Trace;
                        decoded[size_t(x)] = Pixel {in[qBlue(c)] * a, in[qGreen(c)] * a, in[qRed(c)] * a, a};
                    } else {
                        decoded[size_t(x)] = Pixel {in[qBlue(c)], in[qGreen(c)], in[qRed(c)], 1};
                    }
                }
                Pixel *row = ring.data() + size_t(ready % ringRows) * size_t(dw);
                for (int x = 0; x < dw; ++x) {
                    const Pixel *from = decoded.data() + across.first[size_t(x)];
                    const float *w = across.weights.data() + size_t(x) * size_t(across.stride);
                    Pixel sum = from[0] * w[0];
                    for (int i = 1; i < across.count[size_t(x)]; ++i)
                        sum += from[i] * w[i];
                    row[x] = sum;
                }
            }
            const float *w = down.weights.data() + size_t(y) * size_t(down.stride);
            for (int j = 0; j < count; ++j)
                rows[size_t(j)] = ring.data() + size_t((first + j) % ringRows) * size_t(dw);
            auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
            const auto level = [out](float v) {
                return int(out[int(std::clamp(v, 0.0f, 1.0f) * float(LinearSteps) + 0.5f)]);
            };
            for (int x = 0; x < dw; ++x) {
                Pixel p = rows[0][x] * w[0];
                for (int j = 1; j < count; ++j)
                    p += rows[size_t(j)][x] * w[j];
                int opacity = 255;
                if (alpha) {
                    const float a = p[3];
                    if (a != 0)
                        p /= a;
                    opacity = int(std::clamp(a, 0.0f, 1.0f) * 255 + 0.5f);
                }
                line[x] = qRgba(level(p[2]), level(p[1]), level(p[0]), opacity);
            }
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

} // namespace

std::optional<ResizeRule> parseResizeRule(QStringView text)
{
    const auto is = [text](QStringView word) { return text.compare(word, Qt::CaseInsensitive) == 0; };
    if (is(u"pot"))
        return ResizeRule {ResizeRule::PowerOfTwo};
    if (is(u"pot-up"))
        return ResizeRule {ResizeRule::PowerOfTwoUp};
    if (is(u"pot-down"))
        return ResizeRule {ResizeRule::PowerOfTwoDown};
    if (is(u"half"))
        return ResizeRule {ResizeRule::Half};
    constexpr QStringView Max = u"max:";
    if (!text.startsWith(Max, Qt::CaseInsensitive) || text.size() == Max.size())
        return std::nullopt;
    int side = 0;
    for (const QChar digit : text.sliced(Max.size())) {
        if (digit < u'0' || digit > u'9')
            return std::nullopt;
        side = side * 10 + (digit.unicode() - u'0');
        if (side > MaxSideLimit)
            return std::nullopt;
    }
    if (side == 0)
        return std::nullopt;
    return ResizeRule {ResizeRule::MaxSide, side};
}

QSize resizedSize(QSize size, const ResizeRule &rule)
{
    if (size.isEmpty())
        return size;
    const int w = size.width();
    const int h = size.height();
    switch (rule.kind) {
    case ResizeRule::None:
        return size;
    case ResizeRule::PowerOfTwo:
        return {powerOfTwoNearest(w), powerOfTwoNearest(h)};
    case ResizeRule::PowerOfTwoUp:
        return {powerOfTwoUp(w), powerOfTwoUp(h)};
    case ResizeRule::PowerOfTwoDown:
        return {powerOfTwoDown(w), powerOfTwoDown(h)};
    case ResizeRule::Half:
        return {std::max(1, w / 2), std::max(1, h / 2)};
    case ResizeRule::MaxSide: {
        const qint64 longer = std::max(w, h);
        const qint64 limit = rule.maxSide;
        if (limit < 1 || longer <= limit)
            return size;
        // The shorter side times limit / longer, to the nearest pixel.
        const auto scaled = [&](qint64 side) { return int(std::max<qint64>(1, (2 * side * limit + longer) / (2 * longer))); };
        return w >= h ? QSize(int(limit), scaled(h)) : QSize(scaled(w), int(limit));
    }
    }
    return size;
}

QImage resized(const QImage &picture, QSize size, bool linearValues)
{
    if (picture.isNull() || size.isEmpty())
        return {};
    if (size == picture.size())
        return picture;
    const Layout layout = layoutFor(picture);
    const QImage source = picture.convertToFormat(layout.format);
    if (source.isNull())
        return {};
    if (resamplerBytes(source.size(), size, layout.channels) >= double(INT_MAX))
        return {};
    QImage result(size, layout.format);
    if (result.isNull() || source.bytesPerLine() > INT_MAX || result.bytesPerLine() > INT_MAX)
        return {};
    if (layout.format == QImage::Format_ARGB32 || layout.format == QImage::Format_RGB32) {
        if (!resampleWords(source, result, !linearValues))
            return {};
        result.setColorSpace(picture.colorSpace());
        return result;
    }
    const stbir_colorspace space = linearValues ? STBIR_COLORSPACE_LINEAR : STBIR_COLORSPACE_SRGB;
    const int done = layout.channelBytes == 1
        ? stbir_resize_uint8_generic(source.constBits(), source.width(), source.height(), int(source.bytesPerLine()),
                                     result.bits(), result.width(), result.height(), int(result.bytesPerLine()),
                                     layout.channels, layout.alpha, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_MITCHELL,
                                     space, nullptr)
        : stbir_resize_uint16_generic(reinterpret_cast<const stbir_uint16 *>(source.constBits()), source.width(),
                                      source.height(), int(source.bytesPerLine()),
                                      reinterpret_cast<stbir_uint16 *>(result.bits()), result.width(), result.height(),
                                      int(result.bytesPerLine()), layout.channels, layout.alpha, 0, STBIR_EDGE_CLAMP,
                                      STBIR_FILTER_MITCHELL, space, nullptr);
    if (!done)
        return {};
    result.setColorSpace(picture.colorSpace());
    return result;
}

} // namespace morvane::convert
