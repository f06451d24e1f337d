// Lines, shapes and fills.
#include "convert/wmf/player.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace morvane::wmf {

namespace {

constexpr double MaxPenWidth = double(1 << 20);

// The composition mode that plays a binary raster operation of the pen or
// brush; none for the one that leaves the picture alone.
std::optional<QPainter::CompositionMode> rop2Mode(int rop2)
{
    switch (rop2) {
    case 2: return QPainter::RasterOp_NotSourceAndNotDestination;
    case 3: return QPainter::RasterOp_NotSourceAndDestination;
    case 4: return QPainter::RasterOp_NotSource;
    case 5: return QPainter::RasterOp_SourceAndNotDestination;
    case 6: return QPainter::RasterOp_NotDestination;
    case 7: return QPainter::RasterOp_SourceXorDestination;
    case 8: return QPainter::RasterOp_NotSourceOrNotDestination;
    case 9: return QPainter::RasterOp_SourceAndDestination;
    case 10: return QPainter::RasterOp_NotSourceXorDestination;
    case 11: return std::nullopt;
    case 12: return QPainter::RasterOp_NotSourceOrDestination;
    case 14: return QPainter::RasterOp_SourceOrNotDestination;
    case 15: return QPainter::RasterOp_SourceOrDestination;
    default: return QPainter::CompositionMode_SourceOver; // copy, black and white
    }
}

// The colour a pen or brush of colour draws with under rop2.
QColor ropColor(int rop2, QRgb color)
{
    if (rop2 == 1)
        return Qt::black;
    if (rop2 == 16)
        return Qt::white;
    return QColor(color);
}

Qt::BrushStyle hatchStyle(int hatch)
{
    switch (hatch) {
    case 0: return Qt::HorPattern;
    case 1: return Qt::VerPattern;
    case 2: return Qt::FDiagPattern;
    case 3: return Qt::BDiagPattern;
    case 4: return Qt::CrossPattern;
    default: return Qt::DiagCrossPattern;
    }
}

// The arc's start or end: the angle, in degrees counterclockwise on the
// picture, at which the line from the centre through p meets the ellipse.
double ellipseAngle(const QRectF &box, QPointF p)
{
    const QPointF c = box.center();
    return std::atan2(-(p.y() - c.y()) / (box.height() / 2), (p.x() - c.x()) / (box.width() / 2)) * 180.0 / M_PI;
}

} // namespace

bool withinRasterRange(const QRectF &r)
{
    constexpr double MaxCoordinate = double(1 << 24);
    auto ok = [](double v) { return std::abs(v) <= MaxCoordinate; }; // false for NaN too
    return ok(r.left()) && ok(r.right()) && ok(r.top()) && ok(r.bottom());
}

bool Player::admit(const QRectF &deviceBounds)
{
    if (!withinRasterRange(deviceBounds))
        return false;
    QRectF visible = deviceBounds;
    if (m_dc.clip)
        visible &= QRectF(m_dc.clip->boundingRect());
    if (!m_canvas) {
        if (!visible.isEmpty())
            m_bounds |= visible;
        return false;
    }
    visible &= m_picture.adjusted(-1, -1, 1, 1);
    if (visible.isEmpty())
        return false;
    m_work += qint64(visible.width() + 2) * qint64(visible.height() + 2);
    if (m_work > m_budget) {
        m_error = QStringLiteral("metafile is too complex to draw");
        return false;
    }
    return true;
}

QPen Player::devicePen() const
{
    const PenSpec &p = m_dc.pen;
    const int style = p.style & PenStyleMask;
    if (style == PenNull)
        return QPen(Qt::NoPen);
    const double width = std::clamp(std::abs(p.width * m_toDevice.m11()), 1.0, MaxPenWidth);
    Qt::PenCapStyle cap = Qt::RoundCap;
    if ((p.style & PenEndCapMask) == PenEndCapSquare)
        cap = Qt::SquareCap;
    else if ((p.style & PenEndCapMask) == PenEndCapFlat)
        cap = Qt::FlatCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    if ((p.style & PenJoinMask) == PenJoinBevel)
        join = Qt::BevelJoin;
    else if ((p.style & PenJoinMask) == PenJoinMiter)
        join = Qt::MiterJoin;
    QPen pen(QBrush(ropColor(m_dc.rop2, p.color)), width, Qt::SolidLine, cap, join);
    // Styled lines are one pixel wide; wider pens draw solid, as in GDI.
    if (width <= 1.5 && style >= PenDash && style <= PenDashDotDot) {
        static const QList<qreal> patterns[] = {
            {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
        pen.setDashPattern(patterns[style - PenDash]);
        pen.setCapStyle(Qt::FlatCap);
    }
    return pen;
}

QBrush Player::deviceBrush() const
{
    const BrushSpec &b = m_dc.brush;
    switch (b.style) {
    case BrushNull:
        return QBrush(Qt::NoBrush);
    case BrushHatched:
        return QBrush(ropColor(m_dc.rop2, b.color), hatchStyle(b.hatch));
    case BrushPattern:
    case BrushDibPattern:
    case BrushDibPatternPt:
        return b.pattern.isNull() ? QBrush(Qt::NoBrush) : QBrush(b.pattern);
    default:
        return QBrush(ropColor(m_dc.rop2, b.color));
    }
}

// Strokes devicePath with the pen and, when fill is set, fills it with the
// brush, under the binary raster operation and background mode.
void Player::shape(const QPainterPath &devicePath, bool fill)
{
    const QPen pen = devicePen();
    const QBrush brush = fill ? deviceBrush() : QBrush(Qt::NoBrush);
    const std::optional<QPainter::CompositionMode> mode = rop2Mode(m_dc.rop2);
    if (!mode || (pen.style() == Qt::NoPen && brush.style() == Qt::NoBrush))
        return;
    QRectF bounds = devicePath.boundingRect();
    if (pen.style() != Qt::NoPen) {
        const double grow = pen.widthF() + 1; // miter joins reach beyond half the width
        bounds.adjust(-grow, -grow, grow, grow);
    }
    if (!admit(bounds))
        return;
    m_painter.setCompositionMode(*mode);
    m_painter.setPen(pen);
    m_painter.setBrush(brush);
    m_painter.setBackgroundMode(m_dc.bkMode == BkOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    m_painter.setBackground(QColor(m_dc.bkColor));
    m_painter.drawPath(devicePath);
}

void Player::fillPath(const QPainterPath &devicePath, const QBrush &brush, QPainter::CompositionMode mode)
{
    if (brush.style() == Qt::NoBrush || !admit(devicePath.boundingRect()))
        return;
    m_painter.setCompositionMode(mode);
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(brush);
    m_painter.setBackgroundMode(m_dc.bkMode == BkOpaque ? Qt::OpaqueMode : Qt::TransparentMode);
    m_painter.setBackground(QColor(m_dc.bkColor));
    m_painter.drawPath(devicePath);
}

void Player::lineTo(ByteReader &r)
{
    const int y = r.i16(), x = r.i16();
    if (!r.ok())
        return;
    QPainterPath path(m_toDevice.map(m_dc.position));
    path.lineTo(toDevice(x, y));
    m_dc.position = QPointF(x, y);
    stroke(path);
}

namespace {

// count points of the record, as a device-space polygon; empty when the
// record holds fewer.
QPolygonF readPoints(ByteReader &r, qint64 count, const QTransform &toDevice)
{
    QPolygonF points;
    if (count < 0 || count * 4 > r.remaining())
        return points;
    points.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        const int x = r.i16(), y = r.i16();
        points.append(toDevice.map(QPointF(x, y)));
    }
    return points;
}

} // namespace

void Player::polyline(ByteReader &r)
{
    const QPolygonF points = readPoints(r, r.i16(), m_toDevice);
    if (points.size() < 2)
        return;
    QPainterPath path;
    path.addPolygon(points);
    stroke(path);
}

void Player::polygon(ByteReader &r)
{
    const QPolygonF points = readPoints(r, r.i16(), m_toDevice);
    if (points.size() < 2)
        return;
    QPainterPath path;
    path.setFillRule(m_dc.fillMode == FillWinding ? Qt::WindingFill : Qt::OddEvenFill);
    path.addPolygon(points);
    path.closeSubpath();
    shape(path, true);
}

void Player::polyPolygon(ByteReader &r)
{
    const int polygons = r.u16();
    std::vector<int> counts;
    qint64 total = 0;
    for (int i = 0; i < polygons && r.ok(); ++i) {
        counts.push_back(r.u16());
        total += counts.back();
    }
    if (!r.ok() || total * 4 > r.remaining())
        return;
    QPainterPath path;
    path.setFillRule(m_dc.fillMode == FillWinding ? Qt::WindingFill : Qt::OddEvenFill);
    for (const int count : counts) {
        const QPolygonF points = readPoints(r, count, m_toDevice);
        if (points.size() >= 2) {
            path.addPolygon(points);
            path.closeSubpath();
        }
    }
    shape(path, true);
}

namespace {

// box shrunk so that a pen drawn along it stays inside it.
QRectF insideFrame(const QRectF &box, const QPen &pen, int penStyle)
{
    if ((penStyle & PenStyleMask) != PenInsideFrame || pen.style() == Qt::NoPen)
        return box;
    const double half = std::min({pen.widthF() / 2, box.width() / 2, box.height() / 2});
    return box.adjusted(half, half, -half, -half);
}

} // namespace

void Player::rectangle(ByteReader &r)
{
    const QRectF logical = readRect(r);
    if (!r.ok())
        return;
    QPainterPath path;
    path.addRect(insideFrame(toDevice(logical), devicePen(), m_dc.pen.style));
    shape(path, true);
}

void Player::roundRect(ByteReader &r)
{
    const int height = r.i16(), width = r.i16();
    const QRectF logical = readRect(r);
    if (!r.ok())
        return;
    const QRectF box = insideFrame(toDevice(logical), devicePen(), m_dc.pen.style);
    const double rx = std::min(std::abs(width * m_toDevice.m11()) / 2, box.width() / 2);
    const double ry = std::min(std::abs(height * m_toDevice.m22()) / 2, box.height() / 2);
    QPainterPath path;
    path.addRoundedRect(box, rx, ry);
    shape(path, true);
}

void Player::ellipse(ByteReader &r)
{
    const QRectF logical = readRect(r);
    if (!r.ok())
        return;
    QPainterPath path;
    path.addEllipse(insideFrame(toDevice(logical), devicePen(), m_dc.pen.style));
    shape(path, true);
}

// ARC, PIE and CHORD: part of the ellipse in a box, counterclockwise from
// the line towards the start point to the line towards the end point.
void Player::arcFamily(ByteReader &r, quint16 function)
{
    const int yEnd = r.i16(), xEnd = r.i16(), yStart = r.i16(), xStart = r.i16();
    const QRectF logical = readRect(r);
    if (!r.ok())
        return;
    const QRectF box = toDevice(logical);
    if (box.width() <= 0 || box.height() <= 0 || !withinRasterRange(box))
        return;
    const double start = ellipseAngle(box, toDevice(xStart, yStart));
    double sweep = ellipseAngle(box, toDevice(xEnd, yEnd)) - start;
    while (sweep <= 0)
        sweep += 360;
    QPainterPath path;
    if (function == Pie)
        path.moveTo(box.center());
    else
        path.arcMoveTo(box, start);
    path.arcTo(box, start, sweep);
    if (function == Arc) {
        stroke(path);
        return;
    }
    path.closeSubpath();
    shape(path, true);
}

void Player::setPixel(ByteReader &r)
{
    const quint32 color = r.u32();
    const int y = r.i16(), x = r.i16();
    if (!r.ok())
        return;
    const QPointF p = toDevice(x, y);
    QPainterPath path;
    path.addRect(QRectF(std::floor(p.x()), std::floor(p.y()), 1, 1));
    fillPath(path, QBrush(QColor(colorFromRef(color, m_dc.palette))), QPainter::CompositionMode_SourceOver);
}

void Player::patBlt(ByteReader &r)
{
    const quint32 rop = r.u32();
    const int height = r.i16(), width = r.i16(), y = r.i16(), x = r.i16();
    if (r.ok())
        fillRop(QRectF(x, y, width, height), rop);
}

// Fills a logical rectangle under a raster operation that uses no source
// bitmap: the brush, black, white, or the inverse of what is there.
void Player::fillRop(const QRectF &logical, quint32 rop)
{
    QPainterPath path;
    path.addRect(toDevice(logical));
    switch ((rop >> 16) & 0xFF) {
    case RopNop:
        return;
    case RopBlackness:
        fillPath(path, QBrush(Qt::black), QPainter::CompositionMode_SourceOver);
        return;
    case RopWhiteness:
        fillPath(path, QBrush(Qt::white), QPainter::CompositionMode_SourceOver);
        return;
    case RopDstInvert:
        fillPath(path, QBrush(Qt::white), QPainter::RasterOp_NotDestination);
        return;
    case RopPatInvert:
        fillPath(path, deviceBrush(), QPainter::RasterOp_SourceXorDestination);
        return;
    default:
        fillPath(path, deviceBrush(), QPainter::CompositionMode_SourceOver);
        return;
    }
}

} // namespace morvane::wmf
