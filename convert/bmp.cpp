#include "convert/bmp.h"

#include "convert/rows.h"

#include <QtEndian>

#include <bit>
#include <climits>

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

std::optional<Decoded> decodePlainBmp(QByteArrayView data)
{
    if (data.size() < 14 + 40)
        return {};
    const auto *p = reinterpret_cast<const uchar *>(data.data());
    const qint64 offset = qFromLittleEndian<quint32>(p + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(p + 14);
    const qint64 width = qFromLittleEndian<qint32>(p + 18);
    const qint64 height = qFromLittleEndian<qint32>(p + 22);
    if (headerSize < 40 || headerSize > 124 || qFromLittleEndian<quint16>(p + 26) != 1
        || qFromLittleEndian<quint16>(p + 28) != 24 || qFromLittleEndian<quint32>(p + 30) != 0)
        return {};
    const qint64 rows = qAbs(height);
    if (width <= 0 || rows == 0 || width > INT_MAX / 4 || rows > INT_MAX)
        return {};
    const qint64 rowBytes = (width * 3 + 3) / 4 * 4;
    if (offset < 14 + headerSize || offset + rowBytes * rows > data.size())
        return {};

    QImage picture(int(width), int(rows), QImage::Format_RGB32);
    if (picture.isNull())
        return Decoded{QImage(), outOfMemoryError()};
    const bool bottomUp = height > 0;
    for (qint64 y = 0; y < rows; ++y) {
        const uchar *in = p + offset + rowBytes * (bottomUp ? rows - 1 - y : y);
        auto *out = reinterpret_cast<QRgb *>(picture.scanLine(int(y)));
        for (qint64 x = 0; x < width; ++x, in += 3)
            out[x] = 0xff000000u | uint(in[2]) << 16 | uint(in[1]) << 8 | in[0];
    }
    const qint32 dpmX = qFromLittleEndian<qint32>(p + 38);
    const qint32 dpmY = qFromLittleEndian<qint32>(p + 42);
    if (dpmX > 0 && dpmY > 0) {
        picture.setDotsPerMeterX(dpmX);
        picture.setDotsPerMeterY(dpmY);
    }
    return Decoded{picture, QString()};
}

std::optional<std::array<int, 3>> bmpShortChannels(QByteArrayView data)
{
    if (data.size() < 14 + 40)
        return {};
    const auto *p = reinterpret_cast<const uchar *>(data.data());
    const quint32 headerSize = qFromLittleEndian<quint32>(p + 14);
    if (headerSize < 40 || headerSize > 124 || qFromLittleEndian<quint16>(p + 28) != 16)
        return {};
    const quint32 compression = qFromLittleEndian<quint32>(p + 30);
    if (compression == 0)
        return std::array<int, 3>{5, 5, 5};
    if (compression != 3 || data.size() < 14 + 40 + 12)
        return {};
    std::array<int, 3> bits {};
    for (int i = 0; i < 3; ++i)
        bits[size_t(i)] = std::popcount(qFromLittleEndian<quint32>(p + 54 + 4 * i));
    return bits;
}

void widenChannels(QImage &picture, const std::array<int, 3> &bits)
{
    // For each channel, the byte value v = x << (8 - n) becomes x repeated.
    uchar table[3][256];
    for (int c = 0; c < 3; ++c) {
        const int n = bits[size_t(c)];
        for (int v = 0; v < 256; ++v) {
            int wide = v;
            if (n > 0 && n < 8) {
                for (int shift = n; shift < 8; shift += n)
                    wide |= v >> shift;
            }
            table[c][v] = uchar(wide);
        }
    }
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = line[x];
            line[x] = qRgba(table[0][qRed(c)], table[1][qGreen(c)], table[2][qBlue(c)], qAlpha(c));
        }
    }
}

} // namespace morvane::convert
