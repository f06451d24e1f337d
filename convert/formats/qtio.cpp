#include "convert/formats/qtio.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

int bitsPerPixel(QImage::Format format)
{
    return format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
}

} // namespace

Decoded readWithQt(QByteArrayView data, const Layout &layout, const char *qtFormat, const QString &name,
                   const Limits &limits)
{
    if (layout.declaredSize.isValid()) {
        const QString tooLarge = sizeLimitError(layout.declaredSize, 32, limits);
        if (!tooLarge.isEmpty())
            return {QImage(), tooLarge};
    }
    if (layout.truncated)
        return {QImage(), truncatedError()};
    QByteArray bytes = QByteArray::fromRawData(data.data(), data.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, qtFormat);
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

Encoded writeWithQt(const QImage &picture, const char *qtFormat, const QString &name, int quality)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, qtFormat);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.canWrite())
        return {QByteArray(), u"writing %1 pictures needs Qt's image format plugins, which are missing"_s.arg(name)};
    if (!writer.write(picture))
        return {QByteArray(), cannotEncodeError(name)};
    return {std::move(out), QString()};
}

} // namespace morvane::formats
