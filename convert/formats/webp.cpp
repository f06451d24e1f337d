// WebP: read and written (lossy) through Qt's plugin.
#include "convert/formats/bytereader.h"
#include "convert/formats/formats.h"
#include "convert/formats/qtio.h"

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

constexpr int Quality = 92;

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

Decoded decode(QByteArrayView data, const Limits &limits)
{
    return readWithQt(data, walk(data), "webp", webp().name, limits);
}

Encoded encode(const QImage &picture)
{
    return writeWithQt(picture, "webp", webp().name, Quality);
}

} // namespace

const Format &webp()
{
    static const Format format{u"WebP"_s, {u"webp"_s}, matches, decode, encode, true};
    return format;
}

} // namespace morvane::formats
