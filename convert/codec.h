// Types and texts shared by the picture readers and writers.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace morvane::convert {

// The largest picture any reader is allowed to produce.
struct Limits {
    int maxSide = 16384;             // pixels on either side
    qint64 maxBytes = qint64(1) << 30; // bytes of the decoded picture
};

struct Decoded {
    QImage image;  // null on failure
    QString error; // empty on success
};

struct Encoded {
    QByteArray bytes; // the whole file; empty on failure
    QString error;    // empty on success
};

// "image too large (W x H)" when a picture of size at bitsPerPixel breaks
// limits, an empty string when it fits.
QString sizeLimitError(QSize size, int bitsPerPixel, const Limits &limits);

QString notAnImageError();
QString truncatedError();
QString damagedError(const QString &formatName);
QString outOfMemoryError();

} // namespace morvane::convert
