#include "convert/formats/format.h"

#include <climits>

using namespace Qt::StringLiterals;

namespace morvane::formats {

QString sizeLimitError(QSize size, int bitsPerPixel, const Limits &limits)
{
    const qint64 w = size.width();
    const qint64 h = size.height();
    bool tooLarge = w > limits.maxSide || h > limits.maxSide;
    if (!tooLarge && w > 0 && h > 0) {
        // Rows are padded to 32 bits, as QImage lays them out.
        const qint64 rowBytes = (w * qMax(bitsPerPixel, 1) + 31) / 32 * 4;
        tooLarge = rowBytes * h > limits.maxBytes;
    }
    if (!tooLarge)
        return {};
    return u"image too large (%1 x %2)"_s.arg(w).arg(h);
}

QSize declaredSize(qint64 width, qint64 height)
{
    return QSize(int(qMin<qint64>(qAbs(width), INT_MAX)), int(qMin<qint64>(qAbs(height), INT_MAX)));
}

QString notAnImageError()
{
    return u"not an image this program can read"_s;
}

QString truncatedError()
{
    return u"file is truncated"_s;
}

QString damagedError(const QString &formatName)
{
    return u"%1 file is damaged"_s.arg(formatName);
}

QString outOfMemoryError()
{
    return u"not enough memory for the picture"_s;
}

QString noPictureError()
{
    return u"there is no picture to save"_s;
}

QString cannotEncodeError(const QString &formatName)
{
    return u"cannot encode the picture as %1"_s.arg(formatName);
}

} // namespace morvane::formats
