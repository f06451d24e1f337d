// Plays metafile records onto a QPainter, keeping a GDI-like drawing state
// of its own.
#pragma once

#include "convert/wmf/recordreader.h"
#include "convert/wmf/state.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <vector>

namespace morvane::wmf {

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
    bool play(quint16 function, RecordReader &r);

    // The union of what was drawn, in picture pixels before the frame.
    QRectF bounds() const { return m_bounds; }
    // Why drawing stopped, or empty.
    QString error() const { return m_error; }

private:
    // State records.
    void setMapMode(RecordReader &r);
    void setOrigin(RecordReader &r, QPointF *origin);
    void setExtent(RecordReader &r, QPointF *extent);
    void offsetOrigin(RecordReader &r, QPointF *origin);
    void scaleExtent(RecordReader &r, QPointF *extent);
    void saveDc();
    void restoreDc(RecordReader &r);
    void setInt(RecordReader &r, int *field);
    void setColor(RecordReader &r, QRgb *field);
    void moveTo(RecordReader &r);

    // Objects.
    void createPen(RecordReader &r);
    void createBrush(RecordReader &r);
    void createPatternBrush(RecordReader &r);
    void createFont(RecordReader &r);
    void createPalette(RecordReader &r);
    void createPlaceholder();
    void selectObject(RecordReader &r);
    void selectPalette(RecordReader &r);
    void deleteObject(RecordReader &r);

    // Clipping.
    void clipRect(RecordReader &r, bool intersect);
    void offsetClip(RecordReader &r);
    void setClip(std::optional<QRegion> clip);

    // Shapes.
    void lineTo(RecordReader &r);
    void polyline(RecordReader &r);
    void polygon(RecordReader &r);
    void polyPolygon(RecordReader &r);
    void rectangle(RecordReader &r);
    void roundRect(RecordReader &r);
    void ellipse(RecordReader &r);
    void arcFamily(RecordReader &r, quint16 function);
    void setPixel(RecordReader &r);
    void patBlt(RecordReader &r);

    // Text.
    void textOut(RecordReader &r);
    void extTextOut(RecordReader &r);
    void drawText(QPointF at, QByteArrayView bytes, const std::vector<int> &dx, int options, const QRectF &box);

    // Bitmaps.
    void stretchDib(RecordReader &r);
    void dibStretchBlt(RecordReader &r, quint16 function);
    void dibBitBlt(RecordReader &r, quint16 function);
    void setDibToDev(RecordReader &r);
    void blit(QRectF target, QByteArrayView dib, int colorUsage, QRectF source, bool sourceFromBottom, quint32 rop);
    void fillRop(const QRectF &logical, quint32 rop);

    // Painting, in picture pixels.
    QPointF toDevice(double x, double y) const { return m_toDevice.map(QPointF(x, y)); }
    QRectF toDevice(const QRectF &logical) const { return m_toDevice.mapRect(logical).normalized(); }
    QRectF readRect(RecordReader &r); // bottom, right, top, left
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
