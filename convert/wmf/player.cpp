// The record dispatch, and the records that change the drawing state.
#include "convert/wmf/player.h"


#include <algorithm>
#include <cmath>

namespace morvane::wmf {

namespace {

constexpr std::size_t MaxSavedContexts = 4096;
constexpr int MaxClipRects = 4096;
// Pixels a metafile may touch, per pixel of the picture, before it counts
// as a denial of service rather than a drawing.
constexpr qint64 WorkPerPixel = 128;
constexpr qint64 MinimumWork = qint64(1) << 26;
constexpr qint64 MaxPatternBytes = qint64(1) << 24;

} // namespace

Player::Player(QImage *canvas, const DeviceContext &initial, const QTransform &frame, qint64 maxBitmapBytes)
    : m_canvas(canvas), m_dc(initial), m_frame(frame), m_maxBitmapBytes(maxBitmapBytes)
{
    if (m_canvas) {
        m_picture = QRectF(m_canvas->rect());
        m_budget = WorkPerPixel * m_canvas->width() * m_canvas->height() + MinimumWork;
        m_painter.begin(m_canvas);
        m_painter.setRenderHint(QPainter::Antialiasing);
        m_painter.setRenderHint(QPainter::TextAntialiasing);
    }
    updateMapping();
}

bool Player::play(quint16 function, ByteReader &r)
{
    if (!m_error.isEmpty())
        return false;
    switch (function) {
    case SetMapMode: setMapMode(r); break;
    case SetWindowOrg: setOrigin(r, &m_dc.windowOrg); break;
    case SetWindowExt: setExtent(r, &m_dc.windowExt); break;
    case SetViewportOrg: setOrigin(r, &m_dc.viewportOrg); break;
    case SetViewportExt: setExtent(r, &m_dc.viewportExt); break;
    case OffsetWindowOrg: offsetOrigin(r, &m_dc.windowOrg); break;
    case OffsetViewportOrg: offsetOrigin(r, &m_dc.viewportOrg); break;
    case ScaleWindowExt: scaleExtent(r, &m_dc.windowExt); break;
    case ScaleViewportExt: scaleExtent(r, &m_dc.viewportExt); break;
    case SaveDc: saveDc(); break;
    case RestoreDc: restoreDc(r); break;
    case SetBkMode: setInt(r, &m_dc.bkMode); break;
    case SetBkColor: setColor(r, &m_dc.bkColor); break;
    case SetTextColor: setColor(r, &m_dc.textColor); break;
    case SetTextAlign: setInt(r, &m_dc.textAlign); break;
    case SetPolyFillMode: setInt(r, &m_dc.fillMode); break;
    case SetRop2: setInt(r, &m_dc.rop2); break;
    case SetStretchBltMode: setInt(r, &m_dc.stretchMode); break;
    case SetTextCharExtra: setInt(r, &m_dc.charExtra); break;
    case CreatePenIndirect: createPen(r); break;
    case CreateBrushIndirect: createBrush(r); break;
    case CreateFontIndirect: createFont(r); break;
    case DibCreatePatternBrush: createPatternBrush(r); break;
    case CreatePalette: createPalette(r); break;
    case CreatePatternBrush:
    case CreateRegion:
    case CreateBitmap:
    case CreateBitmapIndirect: createPlaceholder(); break;
    case SelectObject: selectObject(r); break;
    case SelectPalette: selectPalette(r); break;
    case DeleteObject: deleteObject(r); break;
    case IntersectClipRect: clipRect(r, true); break;
    case ExcludeClipRect: clipRect(r, false); break;
    case OffsetClipRgn: offsetClip(r); break;
    case SelectClipRegion: setClip(std::nullopt); break; // regions are not kept: back to no clipping
    case MoveTo: moveTo(r); break;
    case LineTo: lineTo(r); break;
    case Polyline: polyline(r); break;
    case Polygon: polygon(r); break;
    case PolyPolygon: polyPolygon(r); break;
    case Rectangle: rectangle(r); break;
    case RoundRect: roundRect(r); break;
    case Ellipse: ellipse(r); break;
    case Arc:
    case Pie:
    case Chord: arcFamily(r, function); break;
    case SetPixel: setPixel(r); break;
    case PatBlt: patBlt(r); break;
    case TextOut: textOut(r); break;
    case ExtTextOut: extTextOut(r); break;
    case StretchDib: stretchDib(r); break;
    case DibStretchBlt: dibStretchBlt(r, function); break;
    case DibBitBlt: dibBitBlt(r, function); break;
    case SetDibToDev: setDibToDev(r); break;
    default: break; // escapes, palette changes, regions, flood fills and records of no use here
    }
    return m_error.isEmpty();
}

void Player::updateMapping()
{
    m_toDevice = logicalToDevice(m_dc, m_frame);
}

void Player::setMapMode(ByteReader &r)
{
    const int mode = r.u16();
    if (r.ok() && mode >= MapText && mode <= MapAnisotropic) {
        m_dc.mapMode = mode;
        updateMapping();
    }
}

void Player::setOrigin(ByteReader &r, QPointF *origin)
{
    const int y = r.i16(), x = r.i16();
    if (!r.ok())
        return;
    *origin = QPointF(x, y);
    updateMapping();
}

// An extent of zero would map everything onto one line: refused, as GDI does.
void Player::setExtent(ByteReader &r, QPointF *extent)
{
    const int y = r.i16(), x = r.i16();
    if (!r.ok() || x == 0 || y == 0)
        return;
    *extent = QPointF(x, y);
    updateMapping();
}

void Player::offsetOrigin(ByteReader &r, QPointF *origin)
{
    const int y = r.i16(), x = r.i16();
    if (!r.ok())
        return;
    *origin += QPointF(x, y);
    updateMapping();
}

void Player::scaleExtent(ByteReader &r, QPointF *extent)
{
    const int yDenom = r.i16(), yNum = r.i16(), xDenom = r.i16(), xNum = r.i16();
    if (!r.ok() || xDenom == 0 || yDenom == 0)
        return;
    const double x = std::trunc(extent->x() * xNum / xDenom);
    const double y = std::trunc(extent->y() * yNum / yDenom);
    constexpr double Limit = 2147483647.0;
    if (x == 0 || y == 0 || std::abs(x) > Limit || std::abs(y) > Limit)
        return;
    *extent = QPointF(x, y);
    updateMapping();
}

void Player::saveDc()
{
    if (m_saved.size() < MaxSavedContexts)
        m_saved.push_back(m_dc);
}

// A negative level counts back from the last save, a positive one names a
// save by its number; levels that were never saved are ignored.
void Player::restoreDc(ByteReader &r)
{
    const int level = r.i16();
    if (!r.ok() || level == 0)
        return;
    const qint64 saved = qint64(m_saved.size());
    const qint64 keep = level < 0 ? saved + level : qint64(level) - 1;
    if (keep < 0 || keep >= saved)
        return;
    m_dc = m_saved[std::size_t(keep)];
    m_saved.resize(std::size_t(keep));
    updateMapping();
    setClip(m_dc.clip);
}

void Player::setInt(ByteReader &r, int *field)
{
    const int value = r.i16();
    if (r.ok())
        *field = value;
}

void Player::setColor(ByteReader &r, QRgb *field)
{
    const quint32 value = r.u32();
    if (r.ok())
        *field = colorFromRef(value, m_dc.palette);
}

void Player::moveTo(ByteReader &r)
{
    const int y = r.i16(), x = r.i16();
    if (r.ok())
        m_dc.position = QPointF(x, y);
}

// Every create record takes a slot, even one too short to read: the
// writer counted it when it numbered the objects after it.
void Player::createPen(ByteReader &r)
{
    GdiObject o;
    o.kind = GdiObject::Kind::Pen;
    o.pen.style = r.u16();
    o.pen.width = r.i16();
    r.i16(); // the y of the width point is unused
    o.pen.color = colorFromRef(r.u32(), m_dc.palette);
    if (!r.ok())
        o = GdiObject();
    m_objects.add(std::move(o));
}

void Player::createBrush(ByteReader &r)
{
    GdiObject o;
    o.kind = GdiObject::Kind::Brush;
    o.brush.style = r.u16();
    o.brush.color = colorFromRef(r.u32(), m_dc.palette);
    o.brush.hatch = r.u16();
    if (o.brush.style != BrushNull && o.brush.style != BrushHatched)
        o.brush.style = BrushSolid; // pattern styles need a bitmap this record cannot hold
    if (!r.ok())
        o = GdiObject();
    m_objects.add(std::move(o));
}

void Player::createPatternBrush(ByteReader &r)
{
    const int style = r.u16();
    int usage = r.u16();
    if (style == BrushPattern)
        usage = DibRgbColors;
    const formats::DibImage dib = decodeBitmap(r.rest(), usage, std::min(m_maxBitmapBytes, MaxPatternBytes));
    GdiObject o;
    if (r.ok() && !dib.image.isNull()) {
        o.kind = GdiObject::Kind::Brush;
        o.brush.style = BrushDibPattern;
        o.brush.pattern = dib.image;
    }
    m_objects.add(std::move(o));
}

void Player::createFont(ByteReader &r)
{
    GdiObject o;
    o.kind = GdiObject::Kind::Font;
    FontSpec &f = o.font;
    f.height = r.i16();
    f.width = r.i16();
    f.escapement = r.i16();
    r.i16(); // orientation: GDI follows the escapement
    f.weight = r.i16();
    f.italic = r.u8() != 0;
    f.underline = r.u8() != 0;
    f.strikeOut = r.u8() != 0;
    f.charSet = r.u8();
    r.skip(3); // precision and quality
    f.pitchAndFamily = r.u8();
    if (!r.ok()) {
        m_objects.add(GdiObject());
        return;
    }
    // The face name ends at its first zero byte, at 32 bytes or at the
    // end of the record, whichever comes first.
    QByteArrayView face = r.rest();
    face = face.first(std::min<qsizetype>(face.size(), 32));
    if (const qsizetype end = face.indexOf('\0'); end >= 0)
        face = face.first(end);
    f.face = QString::fromLatin1(face);
    // Writers often give the symbol font the Western character set, and
    // other fonts the symbol set: the face tells.
    f.symbolLayout = f.face.compare(QLatin1StringView("Symbol"), Qt::CaseInsensitive) == 0;
    m_objects.add(std::move(o));
}

void Player::createPalette(ByteReader &r)
{
    GdiObject o;
    o.kind = GdiObject::Kind::Palette;
    r.u16(); // version
    const qsizetype count = std::min<qsizetype>(r.u16(), r.remaining() / 4);
    for (qsizetype i = 0; i < count; ++i) {
        const int red = r.u8(), green = r.u8(), blue = r.u8();
        r.u8(); // flags
        o.palette.append(qRgb(red, green, blue));
    }
    m_objects.add(std::move(o));
}

void Player::createPlaceholder()
{
    m_objects.add(GdiObject());
}

void Player::selectObject(ByteReader &r)
{
    const quint16 index = r.u16();
    const GdiObject *o = r.ok() ? m_objects.find(index) : nullptr;
    if (!o)
        return;
    switch (o->kind) {
    case GdiObject::Kind::Pen: m_dc.pen = o->pen; break;
    case GdiObject::Kind::Brush: m_dc.brush = o->brush; break;
    case GdiObject::Kind::Font: m_dc.font = o->font; break;
    case GdiObject::Kind::Palette:
    case GdiObject::Kind::Placeholder: break;
    }
}

void Player::selectPalette(ByteReader &r)
{
    const quint16 index = r.u16();
    const GdiObject *o = r.ok() ? m_objects.find(index) : nullptr;
    if (o && o->kind == GdiObject::Kind::Palette)
        m_dc.palette = o->palette;
}

// The context keeps copies of what was selected, so deleting a selected
// object leaves the drawing as it is.
void Player::deleteObject(ByteReader &r)
{
    const quint16 index = r.u16();
    if (r.ok())
        m_objects.remove(index);
}

QRectF Player::readRect(ByteReader &r)
{
    const int bottom = r.i16(), right = r.i16(), top = r.i16(), left = r.i16();
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

namespace {

// The whole plane, for clipping before any clip rectangle was set.
const QRect Everywhere(-(1 << 29), -(1 << 29), 1 << 30, 1 << 30);

int pixelEdge(double v)
{
    return int(std::lround(std::clamp(v, double(Everywhere.left()), double(Everywhere.right()))));
}

} // namespace

void Player::clipRect(ByteReader &r, bool intersect)
{
    const QRectF logical = readRect(r);
    if (!r.ok())
        return;
    const QRectF d = toDevice(logical);
    const QRect pixels(QPoint(pixelEdge(d.left()), pixelEdge(d.top())),
                       QPoint(pixelEdge(d.right()) - 1, pixelEdge(d.bottom()) - 1));
    const QRegion base = m_dc.clip.value_or(QRegion(Everywhere));
    const QRegion clip = intersect ? base.intersected(pixels) : base.subtracted(pixels);
    if (clip.rectCount() <= MaxClipRects)
        setClip(clip);
}

void Player::offsetClip(ByteReader &r)
{
    const int y = r.i16(), x = r.i16();
    if (!r.ok() || !m_dc.clip)
        return;
    const double dx = x * m_toDevice.m11(), dy = y * m_toDevice.m22();
    if (std::abs(dx) < Everywhere.right() && std::abs(dy) < Everywhere.right())
        setClip(m_dc.clip->translated(int(std::lround(dx)), int(std::lround(dy))));
}

void Player::setClip(std::optional<QRegion> clip)
{
    m_dc.clip = std::move(clip);
    if (!m_painter.isActive())
        return;
    if (m_dc.clip)
        m_painter.setClipRegion(*m_dc.clip);
    else
        m_painter.setClipping(false);
}

} // namespace morvane::wmf
