// WebP: read and written (lossy) through Qt's plugin.
#include "convert/formats/bytereader.h"
#include "convert/formats/formats.h"
#include "convert/formats/qtio.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

bool matches(QByteArrayView data)
{
    return data.startsWith("RIFF") && data.size() >= 12 && data.sliced(8, 4) == "WEBP";
}

// The RIFF container's declared length; the size is left to Qt's reader.
Layout walk(QByteArrayView data)
{
    ByteReader r(data);
    r.seek(4);
    const qint64 length = r.u32();
    return {length + 8 > data.size(), {}};
}

// The size in the first chunk: the canvas of an extended file (24-bit
// sizes less one), or the frame of a lossy (14-bit) or lossless one.
QSize declared(QByteArrayView head)
{
    ByteReader r(head);
    r.seek(12);
    const QByteArrayView chunk = r.bytes(4);
    r.skip(4); // the chunk's length
    qint64 width = 0;
    qint64 height = 0;
    if (chunk == "VP8X") {
        r.skip(4); // flags
        width = (r.u16() | qint64(r.u8()) << 16) + 1;
        height = (r.u16() | qint64(r.u8()) << 16) + 1;
    } else if (chunk == "VP8 ") {
        r.skip(6); // frame tag, start code
        width = r.u16() & 0x3fff;
        height = r.u16() & 0x3fff;
    } else if (chunk == "VP8L") {
        r.skip(1); // signature
        const quint32 bits = r.u32();
        width = (bits & 0x3fff) + 1;
        height = ((bits >> 14) & 0x3fff) + 1;
    } else {
        return {};
    }
    return r.ok() ? declaredSize(width, height) : QSize();
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    return readWithQt(data, walk(data), "webp", webp().name, limits);
}

Encoded encode(const QImage &picture, const WriteOptions &options)
{
    return writeWithQt(picture, "webp", webp().name, std::clamp(options.quality, 1, 100));
}

} // namespace

const Format &webp()
{
    static const Format format{u"WebP"_s, {u"webp"_s}, matches, declared, decode, encode, true};
    return format;
}

} // namespace morvane::formats
