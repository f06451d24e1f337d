// The metafile writer: one 24-bit bitmap stretched over the whole picture.
#include "convert/wmf/wmf.h"

#include "convert/formats/bytewriter.h"
#include "convert/formats/dib.h"
#include "convert/formats/rows.h"
#include "convert/wmf/records.h"


namespace morvane::wmf {

namespace {

constexpr int MaxSide = 0x7FFF;
constexpr quint16 WriterInch = 96;
constexpr int WriterDotsPerMeter = 3780; // 96 dots per inch
constexpr qint64 StretchDibParamBytes = 4 + 2 + 8 * 2;

} // namespace

EncodeResult encodeWmf(const QImage &picture)
{
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1)
        return {{}, QStringLiteral("there is no picture to save")};
    const int w = picture.width(), h = picture.height();
    if (w > MaxSide || h > MaxSide)
        return {{}, QStringLiteral("image too large for a metafile (%1 x %2; at most %3 pixels on a side)")
                        .arg(w).arg(h).arg(MaxSide)};

    const qint64 dibBytes = formats::dib24Size(w, h);
    const qint64 stretchWords = (RecordHeaderBytes + StretchDibParamBytes + dibBytes) / 2;
    const qint64 totalWords = MetaHeaderWords + 5 + 5 + stretchWords + 3;
    const QImage rows = formats::inRowFormat(picture);
    QByteArray bytes(PlaceableHeaderBytes + totalWords * 2, Qt::Uninitialized);
    if (rows.isNull() || bytes.isNull())
        return {{}, QStringLiteral("not enough memory to save a %1 x %2 metafile").arg(w).arg(h)};

    formats::ByteWriter out(bytes.data());
    // Placeable header: the picture's box in units of 1/96 inch.
    const quint16 words[10] = {quint16(PlaceableKey & 0xFFFF), quint16(PlaceableKey >> 16), 0, 0, 0,
                               quint16(w), quint16(h), WriterInch, 0, 0};
    quint16 checksum = 0;
    for (const quint16 word : words) {
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
    for (const int v : {h, w, 0, 0, h, w, 0, 0}) // source height, width, y, x; then the destination's
        out.u16(quint16(v));
    formats::writeDib24(rows, WriterDotsPerMeter, WriterDotsPerMeter, out.position());
    out.skip(dibBytes);

    out.u32(3);
    out.u16(EndOfFile);
    return {bytes, QString()};
}

} // namespace morvane::wmf
