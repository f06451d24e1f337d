#include "resize.h"

#include <QColorSpace>
#include <QPixelFormat>
#include <QtEndian>

#include <stb/stb_image_resize.h>

#include <algorithm>
#include <climits>
#include <cmath>

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
