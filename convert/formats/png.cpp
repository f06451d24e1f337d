// PNG: read and written through Qt's plugin; the chunk walk here finds cut
// files and the declared size first.
#include "convert/formats/bytereader.h"
#include "convert/formats/formats.h"
#include "convert/formats/qtio.h"

#include <QColorSpace>

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

constexpr char Signature[] = "\x89PNG\r\n\x1a\n";

bool matches(QByteArrayView data)
{
    return data.startsWith(QByteArrayView(Signature, 8));
}

struct Chunks {
    Layout layout;
    bool colourProfile = false; // an iCCP chunk comes before the end
};

// Chunks of length, type, data and CRC, from the signature up to IEND.
Chunks walk(QByteArrayView data)
{
    Chunks found;
    ByteReader r(data, ByteOrder::BigEndian);
    r.seek(8);
    for (;;) {
        const quint32 length = r.u32();
        const QByteArrayView type = r.bytes(4);
        if (!r.ok()) {
            found.layout.truncated = true;
            return found;
        }
        if (length > 0x7fffffffu)
            return found; // broken, not cut: the decoder says so
        if (type == "IHDR" && length >= 8) {
            ByteReader header = r;
            const quint32 width = header.u32();
            const quint32 height = header.u32();
            found.layout.declaredSize = declaredSize(width, height);
        }
        found.colourProfile = found.colourProfile || type == "iCCP";
        r.skip(qint64(length) + 4);
        if (!r.ok()) {
            found.layout.truncated = true;
            return found;
        }
        if (type == "IEND")
            return found;
    }
}

QSize declared(QByteArrayView head)
{
    return walk(head).layout.declaredSize;
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    const Chunks chunks = walk(data);
    Decoded decoded = readWithQt(data, chunks.layout, "png", png().name, limits);
    // Only an embedded profile counts; Qt also makes a colour space of the
    // gamma and chromaticity chunks, which other readers leave unapplied.
    if (!chunks.colourProfile && !decoded.image.isNull())
        decoded.image.setColorSpace(QColorSpace());
    return decoded;
}

Encoded encode(const QImage &picture, const WriteOptions &)
{
    return writeWithQt(picture, "png", png().name);
}

} // namespace

const Format &png()
{
    static const Format format{u"PNG"_s, {u"png"_s}, matches, declared, decode, encode, true};
    return format;
}

} // namespace morvane::formats
