// BMP files: a 14-byte file header before a device-independent bitmap, both
// ways through the one bitmap codec.
#include "convert/formats/bytereader.h"
#include "convert/formats/bytewriter.h"
#include "convert/formats/dib.h"
#include "convert/formats/formats.h"
#include "convert/formats/rows.h"

#include <QColorSpace>

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

constexpr qint64 FileHeaderBytes = 14;

bool matches(QByteArrayView data)
{
    return data.startsWith("BM");
}

// The size in the bitmap header after the file header: 16-bit fields in a
// core header, 32-bit ones (the height negative for top-down rows) in the rest.
QSize declared(QByteArrayView head)
{
    ByteReader r(head);
    r.seek(FileHeaderBytes);
    const bool core = r.u32() == 12;
    const qint64 width = core ? r.u16() : r.i32();
    const qint64 height = core ? r.u16() : r.i32();
    return r.ok() ? declaredSize(width, height) : QSize();
}

QString failureText(const DibImage &dib)
{
    switch (dib.failure) {
    case DibFailure::Truncated: return truncatedError();
    case DibFailure::TooLarge: return dib.detail;
    case DibFailure::Unsupported: return u"BMP files with %1 are not supported"_s.arg(dib.detail);
    case DibFailure::OutOfMemory: return outOfMemoryError();
    case DibFailure::Damaged:
    case DibFailure::None: break;
    }
    return damagedError(bmp().name);
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    ByteReader r(data);
    r.skip(2);
    const qint64 fileBytes = r.u32();
    r.skip(4); // reserved
    const qint64 pixelOffset = r.u32();
    const quint32 headerBytes = r.u32();
    if (!r.ok())
        return {QImage(), truncatedError()};
    // Pixels said to lie past the end: a cut file when the file header
    // promised more bytes than there are, else a broken header.
    if (pixelOffset > data.size())
        return {QImage(), fileBytes > data.size() ? truncatedError() : damagedError(bmp().name)};
    DibOptions options;
    options.pixelOffset = pixelOffset == 0 ? -1 : pixelOffset - FileHeaderBytes;
    options.maxSide = limits.maxSide;
    options.maxBytes = limits.maxBytes;
    options.alpha = true;
    options.whole = true;
    if (pixelOffset != 0 && pixelOffset < FileHeaderBytes)
        return {QImage(), damagedError(bmp().name)};
    DibImage dib = decodeDib(data.sliced(FileHeaderBytes), options);
    if (dib.image.isNull())
        return {QImage(), failureText(dib)};
    if (headerBytes >= 40) {
        r.skip(20); // width, height, planes, depth, compression, image size
        const qint32 dpmX = r.i32();
        const qint32 dpmY = r.i32();
        if (r.ok() && dpmX > 0 && dpmY > 0) {
            dib.image.setDotsPerMeterX(dpmX);
            dib.image.setDotsPerMeterY(dpmY);
        }
    }
    if (!dib.iccProfile.isEmpty()) {
        const QColorSpace profile = QColorSpace::fromIccProfile(dib.iccProfile);
        if (profile.isValid())
            dib.image.setColorSpace(profile);
    }
    return {std::move(dib.image), QString()};
}

// 24 bits per pixel, bottom-up, no compression, composited onto white.
Encoded encode(const QImage &source, const WriteOptions &)
{
    if (source.isNull())
        return {QByteArray(), noPictureError()};
    const QImage picture = inRowFormat(source);
    if (picture.isNull())
        return {QByteArray(), outOfMemoryError()};
    const qint64 fileBytes = FileHeaderBytes + dib24Size(picture.width(), picture.height());
    if (fileBytes > 0xffffffffLL)
        return {QByteArray(), u"picture too large for BMP (%1 x %2)"_s.arg(picture.width()).arg(picture.height())};
    QByteArray out(qsizetype(fileBytes), Qt::Uninitialized);
    if (out.isNull())
        return {QByteArray(), outOfMemoryError()};
    ByteWriter header(out.data());
    header.u8('B');
    header.u8('M');
    header.u32(quint32(fileBytes));
    header.u32(0); // reserved
    header.u32(quint32(FileHeaderBytes + 40));
    writeDib24(picture, source.dotsPerMeterX(), source.dotsPerMeterY(), header.position());
    return {std::move(out), QString()};
}

} // namespace

const Format &bmp()
{
    static const Format format{u"BMP"_s, {u"bmp"_s}, matches, declared, decode, encode, false};
    return format;
}

} // namespace morvane::formats
