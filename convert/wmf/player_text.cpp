// TEXTOUT and EXTTEXTOUT: text in the selected font, drawn as outlines so
// that any size, stretch and escapement comes out right.
#include "convert/wmf/player.h"

#include "convert/wmf/textcodec.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace morvane::wmf {

namespace {

constexpr double DefaultFontPixels = 16; // GDI's system font height at 96 dpi
constexpr double LargestFontPixels = double(1 << 16);
constexpr int LargestOutlinePixels = 512;

// Fonts need a running GUI application; without one, text is left out.
bool fontsAvailable()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

// The family to ask for. A style hint would make Qt prefer its generic
// family over the metric-compatible substitutes fontconfig knows, so the
// face's family only picks a generic family when the face has no name. The
// symbol font's codes are turned into Unicode, which a text face draws.
QString familyFor(const FontSpec &wanted)
{
    if (wanted.symbolLayout)
        return QStringLiteral("Serif");
    if (!wanted.face.isEmpty())
        return wanted.face;
    switch (wanted.pitchAndFamily & 0xF0) {
    case 0x10: return QStringLiteral("Serif");
    case 0x30: return QStringLiteral("Monospace");
    default: return QStringLiteral("Sans Serif");
    }
}

// The font at a pixel size that outlines well; *scale takes its outlines
// to the wanted size of em pixels.
QFont outlineFont(const FontSpec &wanted, double em, double *scale)
{
    QFont font(familyFor(wanted));
    // Fontconfig may stand a dingbat font in for a missing text face.
    if (wanted.charSet != CharSetSymbol
        && QFontDatabase::writingSystems(QFontInfo(font).family()).contains(QFontDatabase::Symbol))
        font.setFamily(QStringLiteral("Sans Serif"));
    const int pixels = int(std::clamp(std::round(em), 1.0, double(LargestOutlinePixels)));
    font.setPixelSize(pixels);
    if (wanted.weight > 0)
        font.setWeight(QFont::Weight(std::clamp(wanted.weight, 100, 900)));
    font.setItalic(wanted.italic);
    font.setKerning(true);
    *scale = em / pixels;
    return font;
}

// The outline font for wanted at the device's scale sx, sy: *em is its size
// in pixels (a positive height is the cell's, ascent and descent together),
// *scale what its outlines are scaled by; a width stretches it.
QFont sizedFont(const FontSpec &wanted, double sx, double sy, double *em, double *scale)
{
    *em = wanted.height == 0 ? DefaultFontPixels : std::abs(wanted.height * sy);
    QFont font = outlineFont(wanted, *em, scale);
    if (wanted.height > 0) {
        const QFontMetricsF cell(font);
        *em *= font.pixelSize() / std::max(1.0, cell.ascent() + cell.descent());
        font = outlineFont(wanted, *em, scale);
    }
    if (wanted.width != 0) {
        const double average = QFontMetricsF(font).averageCharWidth() * *scale;
        if (average > 0)
            font.setStretch(int(std::clamp(100 * std::abs(wanted.width * sx) / average, 1.0, 4000.0)));
    }
    return font;
}

} // namespace

void Player::textOut(ByteReader &r)
{
    const int length = r.i16();
    if (length < 0 || length > r.remaining())
        return;
    const QByteArrayView bytes = r.bytes(length);
    r.skip(length & 1);
    const int y = r.i16(), x = r.i16();
    if (r.ok())
        drawText(QPointF(x, y), bytes, {}, 0, QRectF());
}

void Player::extTextOut(ByteReader &r)
{
    const int y = r.i16(), x = r.i16();
    const int length = r.i16();
    const int options = r.u16();
    QRectF box;
    if (options & (TextOpaque | TextClipped)) {
        const int left = r.i16(), top = r.i16(), right = r.i16(), bottom = r.i16();
        box = QRectF(QPointF(left, top), QPointF(right, bottom));
    }
    if (!r.ok() || length < 0 || length > r.remaining())
        return;
    const QByteArrayView bytes = r.bytes(length);
    if (length & 1)
        r.skip(std::min<qsizetype>(1, r.remaining()));
    // The spacing array is used only when it covers every character.
    std::vector<int> dx;
    constexpr int TextPdy = 0x2000; // x and y advances in pairs
    const int step = (options & TextPdy) ? 2 : 1;
    if (length > 0 && r.remaining() >= qsizetype(length) * 2 * step) {
        dx.reserve(std::size_t(length));
        for (int i = 0; i < length; ++i) {
            dx.push_back(r.i16());
            if (step == 2)
                r.i16();
        }
    }
    drawText(QPointF(x, y), bytes, dx, options, box);
}

void Player::drawText(QPointF at, QByteArrayView bytes, const std::vector<int> &dx, int options, const QRectF &box)
{
    const int horizontal = m_dc.textAlign & AlignHorizontalMask;
    const bool updateCp = m_dc.textAlign & AlignUpdateCp;
    if (updateCp)
        at = m_dc.position;
    if (options & TextOpaque) {
        QPainterPath opaque;
        opaque.addRect(toDevice(box));
        fillPath(opaque, QBrush(QColor(m_dc.bkColor)), QPainter::CompositionMode_SourceOver);
    }
    if (bytes.isEmpty() || !fontsAvailable())
        return;

    const FontSpec &wanted = m_dc.font;
    const double sx = std::abs(m_toDevice.m11()), sy = std::abs(m_toDevice.m22());
    double em = 0;
    double scale = 1;
    const QFont font = sizedFont(wanted, sx, sy, &em, &scale);
    if (!(em >= 0.5 && em <= LargestFontPixels))
        return;

    const QString text = decodeText(bytes, wanted.symbolLayout);
    const QFontMetricsF metrics(font);
    std::vector<double> advances(std::size_t(text.size()));
    double width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const double advance = std::size_t(i) < dx.size()
                                   ? dx[std::size_t(i)] * sx
                                   : metrics.horizontalAdvance(text[i]) * scale + m_dc.charExtra * sx;
        advances[std::size_t(i)] = advance;
        width += advance;
    }
    const double ascent = metrics.ascent() * scale, descent = metrics.descent() * scale;
    const double left = horizontal == AlignCenter ? -width / 2 : horizontal == AlignRight ? -width : 0;
    const int vertical = m_dc.textAlign & AlignVerticalMask;
    const double baseline = vertical == AlignBaseline ? 0 : vertical == AlignBottom ? -descent : ascent;

    QTransform place;
    place.translate(m_toDevice.map(at).x(), m_toDevice.map(at).y());
    place.rotate(-wanted.escapement / 10.0);
    const QRectF cell(left, baseline - ascent, width, ascent + descent);

    if (updateCp && horizontal != AlignCenter && sx > 0)
        m_dc.position.rx() += (horizontal == AlignRight ? -width : width) / m_toDevice.m11();

    if (m_dc.bkMode == BkOpaque && !(options & TextOpaque)) {
        QPainterPath background;
        background.addPolygon(place.map(QPolygonF(cell)));
        fillPath(background, QBrush(QColor(m_dc.bkColor)), QPainter::CompositionMode_SourceOver);
    }
    if (!admit(place.mapRect(cell)))
        return;

    QPainterPath glyphs;
    const QTransform outline = QTransform::fromScale(scale, scale);
    if (dx.empty() && m_dc.charExtra == 0) {
        glyphs.addText(QPointF(left / scale, baseline / scale), font, text);
    } else {
        double x = left;
        for (qsizetype i = 0; i < text.size(); ++i) {
            glyphs.addText(QPointF(x / scale, baseline / scale), font, QString(text[i]));
            x += advances[std::size_t(i)];
        }
    }
    glyphs = outline.map(glyphs);
    if (wanted.underline)
        glyphs.addRect(QRectF(left, baseline + metrics.underlinePos() * scale, width, metrics.lineWidth() * scale));
    if (wanted.strikeOut)
        glyphs.addRect(QRectF(left, baseline - metrics.strikeOutPos() * scale, width, metrics.lineWidth() * scale));
    glyphs.setFillRule(Qt::WindingFill);
    paintGlyphs(place.map(glyphs), options, box);
}

void Player::paintGlyphs(const QPainterPath &glyphs, int options, const QRectF &box)
{
    const QRectF clipBox = toDevice(box);
    const bool clipped = (options & TextClipped) && withinRasterRange(clipBox);
    if (clipped) {
        QRegion region(clipBox.toAlignedRect());
        if (m_dc.clip)
            region &= *m_dc.clip;
        m_painter.setClipRegion(region);
    }
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(QColor(m_dc.textColor));
    m_painter.drawPath(glyphs);
    if (clipped)
        setClip(m_dc.clip);
}

} // namespace morvane::wmf
