#include "convert/bmp.h"

#include "convert/rows.h"

#include <QtEndian>

using namespace Qt::StringLiterals;

namespace morvane::convert {

namespace {

constexpr qint64 kHeaderBytes = 14 + 40; // file header and BITMAPINFOHEADER

uchar *put16(uchar *p, quint16 v)
{
    qToLittleEndian(v, p);
    return p + 2;
}

uchar *put32(uchar *p, quint32 v)
{
    qToLittleEndian(v, p);
    return p + 4;
}

} // namespace

Encoded encodeBmp(const QImage &source)
{
    if (source.isNull())
        return {QByteArray(), u"there is no picture to save"_s};
    const QImage picture = inRowFormat(source);
    if (picture.isNull())
        return {QByteArray(), outOfMemoryError()};
    const qint64 width = picture.width();
    const qint64 height = picture.height();
    const qint64 rowBytes = (width * 3 + 3) / 4 * 4;
    const qint64 fileBytes = kHeaderBytes + rowBytes * height;
    if (fileBytes > 0xffffffffLL)
        return {QByteArray(), u"picture too large for BMP (%1 x %2)"_s.arg(width).arg(height)};

    QByteArray out(qsizetype(fileBytes), Qt::Uninitialized);
    uchar *p = reinterpret_cast<uchar *>(out.data());
    *p++ = 'B';
    *p++ = 'M';
    p = put32(p, quint32(fileBytes));
    p = put32(p, 0); // reserved
    p = put32(p, quint32(kHeaderBytes));
    p = put32(p, 40);
    p = put32(p, quint32(width));
    p = put32(p, quint32(height)); // positive: bottom-up rows
    p = put16(p, 1);               // planes
    p = put16(p, 24);
    p = put32(p, 0); // BI_RGB
    p = put32(p, quint32(rowBytes * height));
    p = put32(p, quint32(qMax(0, picture.dotsPerMeterX())));
    p = put32(p, quint32(qMax(0, picture.dotsPerMeterY())));
    p = put32(p, 0); // colours used
    p = put32(p, 0); // important colours
    const qint64 padding = rowBytes - width * 3;
    for (qint64 y = height - 1; y >= 0; --y) {
        bgrRowOnWhite(picture, int(y), p);
        p += width * 3;
        for (qint64 i = 0; i < padding; ++i)
            *p++ = 0;
    }
    return {std::move(out), QString()};
}

} // namespace morvane::convert
