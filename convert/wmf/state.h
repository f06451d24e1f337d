// The drawing state a metafile changes as it plays: the objects it creates
// and the device context they are selected into.
#pragma once

#include "convert/wmf/records.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRegion>
#include <QString>
#include <QTransform>

#include <optional>
#include <set>
#include <vector>

namespace morvane::wmf {

struct PenSpec {
    int style = PenSolid;
    int width = 0; // logical units; 0 is one pixel
    QRgb color = qRgb(0, 0, 0);
};

struct BrushSpec {
    int style = BrushSolid;
    QRgb color = qRgb(255, 255, 255);
    int hatch = 0;
    QImage pattern; // pattern brushes only
};

struct FontSpec {
    int height = 0; // logical units; negative: character height, positive: cell height
    int width = 0;  // average character width; 0 for the face's own
    int escapement = 0; // tenths of a degree, counterclockwise
    int weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charSet = CharSetAnsi;
    int pitchAndFamily = 0;
    QString face;
    bool symbolLayout = false; // the symbol font: text bytes are its glyph codes
};

struct DeviceContext {
    int mapMode = MapText;
    QPointF windowOrg{0, 0};
    QPointF windowExt{1, 1};
    QPointF viewportOrg{0, 0};
    QPointF viewportExt{1, 1};
    PenSpec pen;
    BrushSpec brush;
    FontSpec font;
    QRgb textColor = qRgb(0, 0, 0);
    QRgb bkColor = qRgb(255, 255, 255);
    int textAlign = 0;
    int bkMode = BkOpaque;
    int fillMode = FillAlternate;
    int rop2 = 13; // copy the pen
    int stretchMode = 1;
    int charExtra = 0;       // logical units added after each character
    QPointF position{0, 0};  // the current position, logical units
    std::optional<QRegion> clip; // picture pixels; none: the whole picture
    QList<QRgb> palette;     // the selected logical palette
};

// A COLORREF: red, green, blue and a flag byte; the flag 1 makes the low
// word an index into palette (black when out of range).
QRgb colorFromRef(quint32 value, const QList<QRgb> &palette);

// The mapping from the context's logical units to picture pixels: the
// context's window-to-viewport mapping, followed by frame. The text mode is
// played like the anisotropic one, so that a window extent always scales;
// the metric modes have fixed units at 96 pixels per inch, y going up.
QTransform logicalToDevice(const DeviceContext &dc, const QTransform &frame);

struct GdiObject {
    enum class Kind { Pen, Brush, Font, Palette, Placeholder };
    Kind kind = Kind::Placeholder;
    PenSpec pen;
    BrushSpec brush;
    FontSpec font;
    QList<QRgb> palette;
};

// The metafile's object table: every object created takes the lowest free
// slot, whatever its kind; records name objects by slot.
class ObjectTable
{
public:
    static constexpr int MaxSlots = 0xFFFF;

    // Puts object in the lowest free slot; false when every slot is taken.
    bool add(GdiObject object);
    // The object in slot index, or null for an empty or unknown slot.
    const GdiObject *find(quint32 index) const;
    // Empties slot index, if it holds an object.
    void remove(quint32 index);

private:
    std::vector<std::optional<GdiObject>> m_slots;
    std::set<quint32> m_free; // emptied slots below m_slots.size()
};

} // namespace morvane::wmf
