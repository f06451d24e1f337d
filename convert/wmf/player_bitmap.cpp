// The bitmap records: a DIB, or only a raster operation, onto a rectangle.
#include "convert/wmf/player.h"


#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

namespace morvane::wmf {

namespace {

// The composition mode for a ternary raster operation with a source
// bitmap; the operations that also mix in the brush are played as a copy.
QPainter::CompositionMode sourceMode(int ropIndex)
{
    switch (ropIndex) {
    case RopSrcPaint: return QPainter::RasterOp_SourceOrDestination;
    case RopSrcAnd: return QPainter::RasterOp_SourceAndDestination;
    case RopSrcInvert: return QPainter::RasterOp_SourceXorDestination;
    case RopSrcErase: return QPainter::RasterOp_SourceAndNotDestination;
    case RopNotSrcCopy: return QPainter::RasterOp_NotSource;
    case RopNotSrcErase: return QPainter::RasterOp_NotSourceAndNotDestination;
    case RopMergePaint: return QPainter::RasterOp_NotSourceOrDestination;
    default: return QPainter::CompositionMode_SourceOver;
    }
}

bool usesSource(int ropIndex)
{
    switch (ropIndex) {
    case RopBlackness:
    case RopWhiteness:
    case RopDstInvert:
    case RopPatCopy:
    case RopPatInvert:
    case RopNop:
        return false;
    default:
        return true;
    }
}

// One axis of a stretch: the source span [s0, s1) clipped to [0, size),
// and the part of the destination span [d0, d1) it lands on (reversed when
// mirrored). False when nothing of the source is left.
bool clipSpan(int *s0, int *s1, int size, double *d0, double *d1, bool mirrored)
{
    const int c0 = std::max(*s0, 0), c1 = std::min(*s1, size);
    if (c1 <= c0)
        return false;
    const double span = *s1 - *s0, a = *d0, length = *d1 - *d0;
    double t0 = (c0 - *s0) / span, t1 = (c1 - *s0) / span;
    if (mirrored) {
        t0 = 1 - t0;
        t1 = 1 - t1;
        std::swap(t0, t1);
    }
    *d0 = a + length * t0;
    *d1 = a + length * t1;
    *s0 = c0;
    *s1 = c1;
    return true;
}

} // namespace

formats::DibImage Player::decodeBitmap(QByteArrayView dib, int colorUsage, qint64 maxBytes) const
{
    formats::DibOptions options;
    options.colours = colorUsage == DibPalColors    ? formats::DibColours::PaletteIndexes
                      : colorUsage == DibPalIndices ? formats::DibColours::SystemPalette
                                                    : formats::DibColours::Rgb;
    options.palette = m_dc.palette;
    options.maxSide = std::numeric_limits<int>::max(); // bounded by maxBytes alone
    options.maxBytes = maxBytes;
    return formats::decodeDib(dib, options);
}

// Draws the part source of the DIB over the logical rectangle target;
// either may have a negative width or height, which mirrors the picture.
// sourceFromBottom: source counts rows from the bottom of a bottom-up DIB.
void Player::blit(QRectF target, QByteArrayView dibBytes, int colorUsage, QRectF source, bool sourceFromBottom,
                  quint32 rop)
{
    const int index = int((rop >> 16) & 0xFF);
    if (!usesSource(index)) {
        fillRop(target, rop);
        return;
    }
    const QPointF a = m_toDevice.map(target.topLeft()), b = m_toDevice.map(target.bottomRight());
    if (!admit(QRectF(a, b).normalized()))
        return;
    const formats::DibImage dib = decodeBitmap(dibBytes, colorUsage, m_maxBitmapBytes);
    if (dib.image.isNull())
        return;

    int sx0 = int(source.left()), sy0 = int(source.top());
    int sx1 = int(source.right()), sy1 = int(source.bottom());
    const bool mirrorX = (sx1 < sx0) != (b.x() < a.x());
    const bool mirrorY = (sy1 < sy0) != (b.y() < a.y());
    if (sx1 < sx0)
        std::swap(sx0, sx1);
    if (sy1 < sy0)
        std::swap(sy0, sy1);
    if (sourceFromBottom && dib.bottomUp) {
        const int h = dib.image.height();
        std::tie(sy0, sy1) = std::pair(h - sy1, h - sy0);
    }
    double dx0 = std::min(a.x(), b.x()), dx1 = std::max(a.x(), b.x());
    double dy0 = std::min(a.y(), b.y()), dy1 = std::max(a.y(), b.y());
    if (!clipSpan(&sx0, &sx1, dib.image.width(), &dx0, &dx1, mirrorX)
        || !clipSpan(&sy0, &sy1, dib.image.height(), &dy0, &dy1, mirrorY))
        return;
    QImage part = dib.image;
    if (const QRect used(sx0, sy0, sx1 - sx0, sy1 - sy0); used != part.rect())
        part = part.copy(used);
    if (mirrorX || mirrorY)
        part = std::move(part).mirrored(mirrorX, mirrorY);
    drawImage(QRectF(QPointF(dx0, dy0), QPointF(dx1, dy1)), part, sourceMode(index));
}

void Player::drawImage(const QRectF &target, const QImage &image, QPainter::CompositionMode mode)
{
    m_painter.setCompositionMode(mode);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, m_dc.stretchMode == StretchHalftone);
    m_painter.drawImage(target, image);
}

void Player::stretchDib(ByteReader &r)
{
    const quint32 rop = r.u32();
    const int usage = r.u16();
    const int srcHeight = r.i16(), srcWidth = r.i16(), ySrc = r.i16(), xSrc = r.i16();
    const int height = r.i16(), width = r.i16(), y = r.i16(), x = r.i16();
    const QByteArrayView dib = r.rest();
    if (r.ok())
        blit(QRectF(x, y, width, height), dib, usage, QRectF(xSrc, ySrc, srcWidth, srcHeight), true, rop);
}

namespace {

// The DIB records have a short form without a bitmap, for raster
// operations that need none; its size is the one the function number gives.
bool hasBitmap(const ByteReader &r, quint16 function)
{
    return r.size() != qsizetype(function >> 8) * 2;
}

} // namespace

void Player::dibStretchBlt(ByteReader &r, quint16 function)
{
    const bool bitmap = hasBitmap(r, function);
    const quint32 rop = r.u32();
    const int srcHeight = r.i16(), srcWidth = r.i16(), ySrc = r.i16(), xSrc = r.i16();
    if (!bitmap)
        r.i16();
    const int height = r.i16(), width = r.i16(), y = r.i16(), x = r.i16();
    if (!r.ok())
        return;
    if (!bitmap)
        fillRop(QRectF(x, y, width, height), rop);
    else
        blit(QRectF(x, y, width, height), r.rest(), DibRgbColors, QRectF(xSrc, ySrc, srcWidth, srcHeight), false,
             rop);
}

void Player::dibBitBlt(ByteReader &r, quint16 function)
{
    const bool bitmap = hasBitmap(r, function);
    const quint32 rop = r.u32();
    const int ySrc = r.i16(), xSrc = r.i16();
    if (!bitmap)
        r.i16();
    const int height = r.i16(), width = r.i16(), y = r.i16(), x = r.i16();
    if (!r.ok())
        return;
    if (!bitmap)
        fillRop(QRectF(x, y, width, height), rop);
    else
        blit(QRectF(x, y, width, height), r.rest(), DibRgbColors, QRectF(xSrc, ySrc, width, height), false, rop);
}

// The rows the record holds are drawn one to one; a record that holds only
// a band of the bitmap's rows is not played.
void Player::setDibToDev(ByteReader &r)
{
    const int usage = r.u16();
    r.u16(); // scan count
    r.u16(); // start scan
    const int yDib = r.i16(), xDib = r.i16();
    const int height = r.i16(), width = r.i16(), y = r.i16(), x = r.i16();
    const QByteArrayView dib = r.rest();
    if (r.ok())
        blit(QRectF(x, y, width, height), dib, usage, QRectF(xDib, yDib, width, height), true, SrcCopy);
}

} // namespace morvane::wmf
