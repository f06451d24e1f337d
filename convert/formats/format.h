// What a picture format unit provides, and the limits, results and error
// texts all the units share.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

namespace morvane::formats {

// The largest picture any reader is allowed to produce.
struct Limits {
    int maxSide = 16384;               // pixels on either side
    qint64 maxBytes = qint64(1) << 30; // bytes of the decoded picture
};

struct Decoded {
    QImage image;  // null on failure; every pixel defined on success
    QString error; // empty on success, in words a user understands
};

// How a copy is written, beyond its format: what the user chose for it.
// The defaults are what every writer does unless told otherwise; a writer
// reads only the fields that concern it.
struct WriteOptions {
    // The kind of DDS surface: Auto writes BC1 (DXT1) when the picture is
    // opaque and BC3 (DXT5) otherwise.
    enum class DdsKind { Auto, Bc1, Bc1a, Bc2, Bc3, Bc4, Bc5, Bgra, Bgr };
    DdsKind ddsKind = DdsKind::Auto;
    // Whether a DDS copy carries the chain of mipmaps down to 1 x 1.
    bool mipmaps = true;
    // The picture holds unit vectors, not colours: no colour profile is
    // applied to it, and its mipmaps are averaged as values and renormalised.
    bool normalMap = false;
    // When set (from 0 to 1), every mipmap level keeps the share of texels
    // whose alpha is above this threshold that the top level has.
    std::optional<double> alphaTest;
    // The quality of JPEG and WebP copies, from 1 to 100.
    int quality = 92;

    bool operator==(const WriteOptions &) const = default;
};

struct Encoded {
    QByteArray bytes; // the whole file; empty on failure
    QString error;    // empty on success
};

// One picture format: how it is recognised, read and written.
struct Format {
    QString name;          // as shown to users: "PNG"
    QStringList extensions; // lower case, the usual one first; empty when never written
    // True when data starts (or, for formats known by a footer, ends) as this
    // format's files do; for a format whose files may have no signature, when
    // every field of its header agrees.
    bool (*matches)(QByteArrayView data) = nullptr;
    // The picture size the header at the start of a file declares, from as
    // little of the file as its header takes; invalid when head does not
    // tell it. Null for formats whose size is not in a header.
    QSize (*declaredSize)(QByteArrayView head) = nullptr;
    // The picture in data, refused before decoding when its header declares
    // more than limits allow.
    Decoded (*decode)(QByteArrayView data, const Limits &limits) = nullptr;
    // The whole file for picture, written as options say; null for formats
    // that are only read.
    Encoded (*encode)(const QImage &picture, const WriteOptions &options) = nullptr;
    // Whether encode embeds the picture's colour profile; pictures in other
    // colour spaces are converted to sRGB before the others are given them.
    bool keepsColourProfile = false;
};

// "image too large (W x H)" when a picture of size at bitsPerPixel breaks
// limits, an empty string when it fits.
QString sizeLimitError(QSize size, int bitsPerPixel, const Limits &limits);

// A declared width and height as a QSize, their magnitudes, values past an
// int made the largest int.
QSize declaredSize(qint64 width, qint64 height);

QString notAnImageError();
QString truncatedError();
QString damagedError(const QString &formatName);
QString outOfMemoryError();
QString noPictureError();
QString cannotEncodeError(const QString &formatName);

} // namespace morvane::formats
