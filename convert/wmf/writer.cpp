// The metafile writer: one 24-bit bitmap stretched over the whole picture.
#include "convert/wmf/wmf.h"

#include "convert/wmf/dib.h"
#include "convert/wmf/records.h"

#include <QPainter>

namespace morvane::wmf {

namespace {

constexpr int MaxSide = 0x7FFF;
constexpr quint16 WriterInch = 96;

class LittleEndianWriter
{
public:
    void u16(quint32 v) { put(v, 2); }
    void u32(quint32 v) { put(v, 4); }
    void bytes(const QByteArray &b) { m_out.append(b); }
    QByteArray &data() { return m_out; }

private:
    void put(quint32 v, int n)
    {
        for (int i = 0; i < n; ++i)
            m_out.append(char((v >> (8 * i)) & 0xFF));
    }
    QByteArray m_out;
};

// picture drawn over white, so that what is written holds no transparency.
QImage opaque(const QImage &picture)
{
    if (!picture.hasAlphaChannel())
        return picture;
    QImage out(picture.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(0, 0, picture);
    return out;
}

} // namespace

EncodeResult encodeWmf(const QImage &picture)
{
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1)
        return {{}, QStringLiteral("there is no picture to save")};
    const int w = picture.width(), h = picture.height();
    if (w > MaxSide || h > MaxSide)
        return {{}, QStringLiteral("image too large for a metafile (%1 x %2; at most %3 pixels on a side)")
                        .arg(w).arg(h).arg(MaxSide)};
    const QByteArray dib = encodeDib24(opaque(picture));
    if (dib.isEmpty())
        return {{}, QStringLiteral("not enough memory to save a %1 x %2 metafile").arg(w).arg(h)};

    const quint64 stretchWords = (RecordHeaderBytes + 4 + 2 + 8 * 2 + quint64(dib.size())) / 2;
    const quint64 totalWords = MetaHeaderWords + 5 + 5 + stretchWords + 3;
    if (totalWords > 0xFFFFFFFFull)
        return {{}, QStringLiteral("image too large for a metafile (%1 x %2)").arg(w).arg(h)};

    LittleEndianWriter out;
    // Placeable header: the picture's box in units of 1/96 inch.
    const quint16 words[10] = {quint16(PlaceableKey & 0xFFFF), quint16(PlaceableKey >> 16), 0, 0, 0,
                               quint16(w), quint16(h), WriterInch, 0, 0};
    quint16 checksum = 0;
    for (quint16 word : words) {
        out.u16(word);
        checksum ^= word;
    }
    out.u16(checksum);

    out.u16(1); // in memory
    out.u16(MetaHeaderWords);
    out.u16(0x0300);
    out.u32(quint32(totalWords));
    out.u16(0); // no objects
    out.u32(quint32(stretchWords));
    out.u16(0);

    out.u32(5);
    out.u16(SetWindowOrg);
    out.u16(0); // y
    out.u16(0); // x
    out.u32(5);
    out.u16(SetWindowExt);
    out.u16(quint16(h));
    out.u16(quint16(w));

    out.u32(quint32(stretchWords));
    out.u16(StretchDib);
    out.u32(SrcCopy);
    out.u16(DibRgbColors);
    out.u16(quint16(h)); // source height, width, y, x
    out.u16(quint16(w));
    out.u16(0);
    out.u16(0);
    out.u16(quint16(h)); // destination height, width, y, x
    out.u16(quint16(w));
    out.u16(0);
    out.u16(0);
    out.bytes(dib);

    out.u32(3);
    out.u16(EndOfFile);
    return {out.data(), QString()};
}

} // namespace morvane::wmf
