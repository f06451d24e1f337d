// Reading a metafile: its headers, its picture size, then the records
// played onto a white picture.
#include "convert/wmf/wmf.h"

#include "convert/wmf/header.h"
#include "convert/wmf/player.h"

#include <algorithm>
#include <cmath>

namespace morvane::wmf {

namespace {

constexpr double PixelsPerInch = 96.0;
// Metafiles without a placeable header that set a window extent are taken
// to count in twips, as the office and equation programs that write them do.
constexpr double AssumedUnitsPerInch = 1440.0;
// A bitmap inside a metafile is skipped when it would decode to more than
// this, whatever the picture's own limit: a few bytes of RLE codes must not
// make the player allocate a gigabyte.
constexpr qint64 MaxBitmapBytes = qint64(256) << 20;

// How the picture is laid out: its size in pixels, the drawing state the
// records start from, and the frame from the metafile's device space.
struct Layout {
    QSize size;
    DeviceContext initial;
    QTransform frame;
    QString error;
};

bool isDrawing(quint16 function)
{
    switch (function) {
    case LineTo: case Polyline: case Polygon: case PolyPolygon: case Rectangle: case RoundRect:
    case Ellipse: case Arc: case Pie: case Chord: case SetPixel: case PatBlt: case TextOut:
    case ExtTextOut: case StretchDib: case DibStretchBlt: case DibBitBlt: case SetDibToDev:
        return true;
    default:
        return false;
    }
}

QString tooLarge(double w, double h)
{
    return QStringLiteral("image too large (%1 x %2)").arg(w, 0, 'f', 0).arg(h, 0, 'f', 0);
}

// The size check made before anything is allocated.
QString checkSize(double w, double h, const RenderLimits &limits)
{
    if (w > limits.maxSide || h > limits.maxSide || w * h * 4 > double(limits.maxBytes))
        return tooLarge(w, h);
    return {};
}

// A window that maps onto a picture of size pixels.
Layout windowLayout(QPointF origin, QPointF extent, QSize size)
{
    Layout layout;
    layout.size = size;
    layout.initial.mapMode = MapAnisotropic;
    layout.initial.windowOrg = origin;
    layout.initial.windowExt = extent;
    layout.initial.viewportExt = QPointF(size.width(), size.height());
    return layout;
}

int pixels(double v)
{
    return std::max(1, int(std::lround(v)));
}

bool boxed(const MetafileHeader &h)
{
    return h.placeable && h.inch != 0 && h.left != h.right && h.top != h.bottom;
}

// The placeable header's box in pixels, at its resolution drawn at 96 pixels per inch.
QSizeF boxSize(const MetafileHeader &h)
{
    return QSizeF(std::abs(double(h.right) - h.left) * PixelsPerInch / h.inch,
                  std::abs(double(h.bottom) - h.top) * PixelsPerInch / h.inch);
}

// The placeable header's box, at its resolution, drawn at 96 pixels per inch.
Layout placeableLayout(const MetafileHeader &h, const RenderLimits &limits)
{
    const double width = boxSize(h).width();
    const double height = boxSize(h).height();
    if (QString error = checkSize(std::round(width), std::round(height), limits); !error.isEmpty())
        return {{}, {}, {}, error};
    const QPointF origin(std::min(h.left, h.right), std::min(h.top, h.bottom));
    const QPointF extent(std::abs(h.right - h.left), std::abs(h.bottom - h.top));
    return windowLayout(origin, extent, QSize(pixels(width), pixels(height)));
}

// Without a placeable header: the first window extent the records set, or
// else the box around everything they draw, in the text mode's pixels.
Layout measuredLayout(QByteArrayView data, const MetafileHeader &header, const RenderLimits &limits)
{
    QPointF origin(0, 0), extent(0, 0);
    bool drawn = false;
    int mapMode = MapText;
    forEachRecord(data, header, [&](quint16 function, ByteReader &r) {
        drawn = drawn || isDrawing(function);
        if (function == SetMapMode && !drawn)
            mapMode = r.u16();
        if (function == SetWindowOrg && !drawn) {
            const int y = r.i16(), x = r.i16();
            origin = QPointF(x, y);
        }
        if (function == SetWindowExt) {
            const int y = r.i16(), x = r.i16();
            if (r.ok() && x != 0 && y != 0)
                extent = QPointF(x, y);
        }
        return extent.isNull();
    });
    const bool metric = mapMode >= MapLoMetric && mapMode <= MapTwips;
    if (!extent.isNull() && !metric) {
        const double w = std::abs(extent.x()) * PixelsPerInch / AssumedUnitsPerInch;
        const double h = std::abs(extent.y()) * PixelsPerInch / AssumedUnitsPerInch;
        if (QString error = checkSize(std::round(w), std::round(h), limits); !error.isEmpty())
            return {{}, {}, {}, error};
        return windowLayout(origin, extent, QSize(pixels(w), pixels(h)));
    }

    Player measure(nullptr, DeviceContext(), QTransform(), std::min(limits.maxBytes, MaxBitmapBytes));
    forEachRecord(data, header, [&](quint16 function, ByteReader &r) { return measure.play(function, r); });
    const QRectF box = measure.bounds();
    if (box.isEmpty())
        return {{}, {}, {}, QStringLiteral("metafile draws nothing")};
    const double left = std::floor(box.left()), top = std::floor(box.top());
    const double w = std::ceil(box.right()) - left, h = std::ceil(box.bottom()) - top;
    if (QString error = checkSize(w, h, limits); !error.isEmpty())
        return {{}, {}, {}, error};
    Layout layout;
    layout.size = QSize(pixels(w), pixels(h));
    layout.frame = QTransform::fromTranslate(-left, -top);
    return layout;
}

} // namespace

bool isWmf(QByteArrayView data)
{
    MetafileHeader header;
    return readHeader(data, &header) != HeaderCheck::NotMetafile;
}

QSize declaredWmfSize(QByteArrayView head)
{
    MetafileHeader header;
    if (readHeader(head, &header) != HeaderCheck::Valid || !boxed(header))
        return {};
    const QSizeF size = boxSize(header);
    return QSize(int(std::lround(size.width())), int(std::lround(size.height())));
}

RenderResult renderWmf(QByteArrayView data, const RenderLimits &limits)
{
    MetafileHeader header;
    switch (readHeader(data, &header)) {
    case HeaderCheck::NotMetafile:
        return {{}, QStringLiteral("not a Windows metafile")};
    case HeaderCheck::Damaged:
        return {{}, QStringLiteral("file is damaged (bad metafile header)")};
    case HeaderCheck::Valid:
        break;
    }
    // The structure first, so that a damaged file fails before any drawing.
    const LoopResult structure = forEachRecord(data, header, [](quint16, ByteReader &) { return true; });
    if (QString error = loopError(structure, header, data.size()); !error.isEmpty())
        return {{}, error};

    const Layout layout = boxed(header) ? placeableLayout(header, limits) : measuredLayout(data, header, limits);
    if (!layout.error.isEmpty())
        return {{}, layout.error};

    QImage canvas(layout.size, QImage::Format_RGB32);
    if (canvas.isNull())
        return {{}, QStringLiteral("not enough memory for a %1 x %2 picture").arg(layout.size.width()).arg(layout.size.height())};
    canvas.fill(Qt::white);
    QString error;
    {
        Player player(&canvas, layout.initial, layout.frame, std::min(limits.maxBytes, MaxBitmapBytes));
        forEachRecord(data, header, [&](quint16 function, ByteReader &r) { return player.play(function, r); });
        error = player.error();
    }
    if (!error.isEmpty())
        return {{}, error};
    return {canvas, QString()};
}

} // namespace morvane::wmf
