#include "convert/formats/rows.h"

#include <cstring>

namespace morvane::formats {

namespace {

// c over white at opacity a, both 0..255, rounded to nearest.
inline uchar overWhite(uint c, uint a)
{
    return uchar((c * a + 255u * (255u - a) + 127u) / 255u);
}

} // namespace

bool isRowFormat(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_Grayscale8:
    case QImage::Format_Indexed8:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        return true;
    default:
        return false;
    }
}

QImage inRowFormat(const QImage &picture)
{
    if (isRowFormat(picture.format()))
        return picture;
    return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
}

void bgrRowOnWhite(const QImage &picture, int y, uchar *out)
{
    const int width = picture.width();
    const uchar *line = picture.constScanLine(y);
    switch (picture.format()) {
    case QImage::Format_RGB32: {
        const auto *px = reinterpret_cast<const QRgb *>(line);
        for (int x = 0; x < width; ++x, out += 3) {
            const QRgb c = px[x];
            out[0] = uchar(c);
            out[1] = uchar(c >> 8);
            out[2] = uchar(c >> 16);
        }
        break;
    }
    case QImage::Format_ARGB32: {
        const auto *px = reinterpret_cast<const QRgb *>(line);
        for (int x = 0; x < width; ++x, out += 3) {
            const QRgb c = px[x];
            const uint a = qAlpha(c);
            out[0] = overWhite(qBlue(c), a);
            out[1] = overWhite(qGreen(c), a);
            out[2] = overWhite(qRed(c), a);
        }
        break;
    }
    case QImage::Format_ARGB32_Premultiplied: {
        // Premultiplied colour over white is the colour plus the white let through.
        const auto *px = reinterpret_cast<const QRgb *>(line);
        for (int x = 0; x < width; ++x, out += 3) {
            const QRgb c = px[x];
            const uint clear = 255u - qAlpha(c);
            out[0] = uchar(qMin(255u, qBlue(c) + clear));
            out[1] = uchar(qMin(255u, qGreen(c) + clear));
            out[2] = uchar(qMin(255u, qRed(c) + clear));
        }
        break;
    }
    case QImage::Format_Grayscale8:
        for (int x = 0; x < width; ++x, out += 3)
            out[0] = out[1] = out[2] = line[x];
        break;
    case QImage::Format_BGR888:
        std::memcpy(out, line, size_t(width) * 3);
        break;
    case QImage::Format_RGB888:
        for (int x = 0; x < width; ++x, out += 3) {
            out[0] = line[3 * x + 2];
            out[1] = line[3 * x + 1];
            out[2] = line[3 * x];
        }
        break;
    case QImage::Format_Indexed8: {
        const QList<QRgb> table = picture.colorTable();
        for (int x = 0; x < width; ++x, out += 3) {
            const QRgb c = line[x] < table.size() ? table[line[x]] : qRgb(0, 0, 0);
            const uint a = qAlpha(c);
            out[0] = overWhite(qBlue(c), a);
            out[1] = overWhite(qGreen(c), a);
            out[2] = overWhite(qRed(c), a);
        }
        break;
    }
    default:
        Q_UNREACHABLE();
    }
}

} // namespace morvane::formats
