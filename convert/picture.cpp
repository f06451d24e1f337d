#include "convert/picture.h"

#include "convert/atomicwrite.h"
#include "convert/bmp.h"
#include "convert/codec.h"
#include "convert/gif.h"
#include "convert/jpeg.h"
#include "convert/probe.h"
#include "convert/rows.h"
#include "convert/wmf/wmf.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

using namespace Qt::StringLiterals;

namespace morvane::convert {

namespace {

// No picture within the limits needs a bigger file than this, whatever its
// encoding; larger files are refused before they are read.
constexpr qint64 kMaxFileBytes = qint64(3) << 29; // 1.5 GiB

constexpr int kJpegQuality = 92;
constexpr int kWebpQuality = 92;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

int bitsPerPixel(QImage::Format format)
{
    return format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
}

// Reads data through Qt's reader for format (a Qt format key), after the
// size and the structure were checked without decoding.
Decoded decodeWithQt(QByteArrayView data, Kind kind, const char *format, const QString &name,
                     const Limits &limits)
{
    const Layout layout = inspectLayout(kind, data);
    if (layout.declaredSize.isValid()) {
        const QString tooLarge = sizeLimitError(layout.declaredSize, 32, limits);
        if (!tooLarge.isEmpty())
            return {QImage(), tooLarge};
    }
    if (layout.truncated)
        return {QImage(), truncatedError()};
    if (kind == Kind::Bmp) {
        if (std::optional<Decoded> plain = decodePlainBmp(data))
            return *plain;
    }
    QByteArray bytes = QByteArray::fromRawData(data.data(), data.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(true);
    // Qt's reader tells the size again, and the pixel format: 16-bit
    // channels make a picture of the same size twice as large.
    const QSize size = reader.size();
    if (reader.error() == QImageReader::UnsupportedFormatError)
        return {QImage(), u"reading %1 pictures needs Qt's image format plugins, which are missing"_s.arg(name)};
    if (size.isValid()) {
        const QString tooLarge = sizeLimitError(size, bitsPerPixel(reader.imageFormat()), limits);
        if (!tooLarge.isEmpty())
            return {QImage(), tooLarge};
    }
    QImageReader::setAllocationLimit(int(limits.maxBytes >> 20));
    QImage image = reader.read();
    if (image.isNull())
        return {QImage(), damagedError(name)};
    return {image, QString()};
}

Decoded decodeUnknown(QByteArrayView data, const Limits &limits)
{
    if (wmf::isWmf(data)) {
        wmf::RenderResult rendered = wmf::renderWmf(data, {limits.maxSide, limits.maxBytes});
        if (rendered.image.isNull())
            return {QImage(), rendered.error.isEmpty() ? damagedError(u"WMF"_s) : rendered.error};
        return {rendered.image, QString()};
    }
    return {QImage(), notAnImageError()};
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    if (data.isEmpty())
        return {QImage(), u"file is empty"_s};
    const Kind kind = sniffKind(data);
    Decoded result;
    switch (kind) {
    case Kind::Jpeg:
        result = decodeJpeg(data, limits);
        break;
    case Kind::Bmp:
        result = decodeWithQt(data, kind, "bmp", kindName(kind), limits);
        if (const auto bits = bmpShortChannels(data); bits && !result.image.isNull()) {
            // Qt reads 5- and 6-bit channels shifted, leaving white a light grey.
            if (result.image.format() != QImage::Format_ARGB32)
                result.image = result.image.convertToFormat(QImage::Format_RGB32);
            widenChannels(result.image, *bits);
        }
        break;
    case Kind::Gif:
        result = decodeWithQt(data, kind, "gif", kindName(kind), limits);
        break;
    case Kind::Png:
        result = decodeWithQt(data, kind, "png", kindName(kind), limits);
        break;
    case Kind::Tiff:
        result = decodeWithQt(data, kind, "tiff", kindName(kind), limits);
        break;
    case Kind::WebP:
        result = decodeWithQt(data, kind, "webp", kindName(kind), limits);
        break;
    case Kind::Tga:
        result = decodeWithQt(data, kind, "tga", kindName(kind), limits);
        break;
    case Kind::Unknown:
        result = decodeUnknown(data, limits);
        break;
    }
    // Whatever a reader let through, nothing beyond the limits is handed on.
    if (!result.image.isNull()) {
        const QString tooLarge = sizeLimitError(result.image.size(), result.image.depth(), limits);
        if (!tooLarge.isEmpty())
            return {QImage(), tooLarge};
    }
    return result;
}

Encoded encodeWithQt(const QImage &picture, const char *format, const QString &name, int quality)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.canWrite())
        return {QByteArray(), u"writing %1 pictures needs Qt's image format plugins, which are missing"_s.arg(name)};
    if (!writer.write(picture))
        return {QByteArray(), u"cannot encode the picture as %1"_s.arg(name)};
    return {std::move(out), QString()};
}

// An opaque copy of picture composited onto white.
QImage flattenedOnWhite(const QImage &picture)
{
    if (!picture.hasAlphaChannel())
        return picture;
    const QImage rows = inRowFormat(picture);
    QImage out(rows.size(), QImage::Format_BGR888);
    if (out.isNull())
        return out;
    out.setDotsPerMeterX(picture.dotsPerMeterX());
    out.setDotsPerMeterY(picture.dotsPerMeterY());
    for (int y = 0; y < rows.height(); ++y)
        bgrRowOnWhite(rows, y, out.scanLine(y));
    return out;
}

Encoded encodeWmf(const QImage &picture)
{
    const QImage opaque = flattenedOnWhite(picture);
    if (opaque.isNull())
        return {QByteArray(), outOfMemoryError()};
    wmf::EncodeResult encoded = wmf::encodeWmf(opaque.convertToFormat(QImage::Format_RGB32));
    if (!encoded.error.isEmpty() || encoded.bytes.isEmpty())
        return {QByteArray(), encoded.error.isEmpty() ? u"cannot encode the picture as WMF"_s : encoded.error};
    return {std::move(encoded.bytes), QString()};
}

} // namespace

QString pictureExtension(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return {};
    return path.sliced(dot + 1);
}

QImage decodePicture(QByteArrayView data, QString *error)
{
    Decoded result = decode(data, Limits());
    if (result.image.isNull())
        setError(error, result.error.isEmpty() ? notAnImageError() : result.error);
    return result.image;
}

QImage loadPicture(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        setError(error, u"file not found"_s);
        return {};
    }
    if (info.isDir()) {
        setError(error, u"this is a folder, not a picture file"_s);
        return {};
    }
    if (!info.isFile()) { // pipes and devices could block or never end
        setError(error, u"not a regular file"_s);
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, u"cannot open the file (%1)"_s.arg(file.errorString()));
        return {};
    }
    const qint64 size = file.size();
    if (size > kMaxFileBytes) {
        setError(error, u"file too large (%1 MB)"_s.arg(size >> 20));
        return {};
    }
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    qint64 got = 0;
    while (got < size) {
        const qint64 n = file.read(bytes.data() + got, size - got);
        if (n < 0) {
            setError(error, u"cannot read the file (%1)"_s.arg(file.errorString()));
            return {};
        }
        if (n == 0)
            break; // the file shrank while being read
        got += n;
    }
    bytes.truncate(qsizetype(got));
    return decodePicture(bytes, error);
}

bool savePicture(const QImage &picture, const QString &path, QString *error)
{
    const QString extension = pictureExtension(path);
    const QString key = extension.toLower();
    Encoded (*encode)(const QImage &) = nullptr;
    if (key == u"bmp")
        encode = encodeBmp;
    else if (key == u"gif")
        encode = encodeGif;
    else if (key == u"jpg" || key == u"jpe" || key == u"jpeg")
        encode = [](const QImage &p) { return encodeJpeg(p, kJpegQuality); };
    else if (key == u"png")
        encode = [](const QImage &p) { return encodeWithQt(p, "png", u"PNG"_s, -1); };
    else if (key == u"tif" || key == u"tiff")
        encode = [](const QImage &p) { return encodeWithQt(p, "tiff", u"TIFF"_s, -1); };
    else if (key == u"webp")
        encode = [](const QImage &p) { return encodeWithQt(p, "webp", u"WebP"_s, kWebpQuality); };
    else if (key == u"wmf")
        encode = encodeWmf;
    if (!encode) {
        setError(error, extension.isEmpty() ? u"cannot write files without an extension"_s
                                            : u"cannot write files ending in .%1"_s.arg(extension));
        return false;
    }
    if (picture.isNull()) {
        setError(error, u"there is no picture to save"_s);
        return false;
    }
    const Encoded encoded = encode(picture);
    if (!encoded.error.isEmpty()) {
        setError(error, encoded.error);
        return false;
    }
    return writeFileAtomically(path, encoded.bytes, error);
}

} // namespace morvane::convert
