// Plays metafile records onto a QPainter, keeping a GDI-like drawing state
// of its own.
#pragma once

#include "convert/formats/bytereader.h"
#include "convert/formats/dib.h"
#include "convert/wmf/state.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <vector>

namespace morvane::wmf {

using formats::ByteReader;

// Geometry this far out, in pixels, is not drawn: Qt's rasteriser works in
// fixed point. False for NaN too.
bool withinRasterRange(const QRectF &deviceRect);

class Player
{
public:
    // With a canvas, paints onto it; without one, only measures where the
    // records would draw (see bounds()). frame maps the metafile's device
    // space onto the canvas. Bitmaps that would decode to more than
    // maxBitmapBytes are skipped.
    Player(QImage *canvas, const DeviceContext &initial, const QTransform &frame, qint64 maxBitmapBytes);

    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    // Plays one record whose parameters r holds. Records it does not know,
    // or whose parameters do not hold together, change nothing. Returns
    // false once drawing has failed for good (see error()).
    bool play(quint16 function, ByteReader &r);

    // The union of what was drawn, in picture pixels before the frame.
    QRectF bounds() const { return m_bounds; }
    // Why drawing stopped, or empty.
    QString error() const { return m_error; }

private:
    // State records.
    void setMapMode(ByteReader &r);
    void setOrigin(ByteReader &r, QPointF *origin);
    void setExtent(ByteReader &r, QPointF *extent);
    void offsetOrigin(ByteReader &r, QPointF *origin);
    void scaleExtent(ByteReader &r, QPointF *extent);
    void saveDc();
    void restoreDc(ByteReader &r);
    void setInt(ByteReader &r, int *field);
    void setColor(ByteReader &r, QRgb *field);
    void moveTo(ByteReader &r);

    // Objects.
    void createPen(ByteReader &r);
    void createBrush(ByteReader &r);
    void createPatternBrush(ByteReader &r);
    void createFont(ByteReader &r);
    void createPalette(ByteReader &r);
    void createPlaceholder();
    void selectObject(ByteReader &r);
    void selectPalette(ByteReader &r);
    void deleteObject(ByteReader &r);

    // Clipping.
    void clipRect(ByteReader &r, bool intersect);
    void offsetClip(ByteReader &r);
    void setClip(std::optional<QRegion> clip);

    // Shapes.
    void lineTo(ByteReader &r);
    void polyline(ByteReader &r);
    void polygon(ByteReader &r);
    void polyPolygon(ByteReader &r);
    void rectangle(ByteReader &r);
    void roundRect(ByteReader &r);
    void ellipse(ByteReader &r);
    void arcFamily(ByteReader &r, quint16 function);
    void setPixel(ByteReader &r);
    void patBlt(ByteReader &r);

    // Text.
    void textOut(ByteReader &r);
    void extTextOut(ByteReader &r);
    void drawText(QPointF at, QByteArrayView bytes, const std::vector<int> &dx, int options, const QRectF &box);
    // Fills glyphs (in device space) in the text colour, clipped to box when options ask.
    void paintGlyphs(const QPainterPath &glyphs, int options, const QRectF &box);

    // Bitmaps.
    void stretchDib(ByteReader &r);
    void dibStretchBlt(ByteReader &r, quint16 function);
    void dibBitBlt(ByteReader &r, quint16 function);
    void setDibToDev(ByteReader &r);
    void blit(QRectF target, QByteArrayView dib, int colorUsage, QRectF source, bool sourceFromBottom, quint32 rop);
    // The bitmap in a record, its colours looked up as colorUsage says; null
    // past maxBytes.
    formats::DibImage decodeBitmap(QByteArrayView dib, int colorUsage, qint64 maxBytes) const;
    void fillRop(const QRectF &logical, quint32 rop);

    // Painting, in picture pixels.
    QPointF toDevice(double x, double y) const { return m_toDevice.map(QPointF(x, y)); }
    QRectF toDevice(const QRectF &logical) const { return m_toDevice.mapRect(logical).normalized(); }
    QRectF readRect(ByteReader &r); // bottom, right, top, left
    void updateMapping();
    bool admit(const QRectF &deviceBounds);
    QPen devicePen() const;
    QBrush deviceBrush() const;
    void shape(const QPainterPath &devicePath, bool fill);
    void stroke(const QPainterPath &devicePath) { shape(devicePath, false); }
    void fillPath(const QPainterPath &devicePath, const QBrush &brush, QPainter::CompositionMode mode);
    void drawImage(const QRectF &target, const QImage &image, QPainter::CompositionMode mode);

    QImage *m_canvas;
    QPainter m_painter;
    DeviceContext m_dc;
    std::vector<DeviceContext> m_saved;
    ObjectTable m_objects;
    QTransform m_frame;
    QTransform m_toDevice;
    QRectF m_picture; // the canvas, in picture pixels
    QRectF m_bounds;
    qint64 m_maxBitmapBytes;
    qint64 m_work = 0;   // pixels touched so far
    qint64 m_budget = 0; // most pixels a metafile may touch
    QString m_error;
};

} // namespace morvane::wmf
