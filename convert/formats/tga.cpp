// TGA: read through Qt's plugin, which takes files with the version 2
// footer only.
#include "convert/formats/bytereader.h"
#include "convert/formats/formats.h"
#include "convert/formats/qtio.h"

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

constexpr qint64 HeaderBytes = 18;
constexpr qint64 FooterBytes = 26;

// Colour map type 0 or 1, a known image type, and the footer's signature.
bool matches(QByteArrayView data)
{
    if (data.size() < HeaderBytes + FooterBytes
        || !data.last(18).startsWith(QByteArrayView("TRUEVISION-XFILE.\0", 18)))
        return false;
    ByteReader r(data);
    r.skip(1); // identification length
    const quint8 mapType = r.u8();
    const quint8 type = r.u8();
    return mapType <= 1 && (type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11);
}

// Header, identification field, colour map and, when not run-length
// encoded, the pixels, all before the footer.
Layout walk(QByteArrayView data)
{
    ByteReader r(data);
    const quint8 idLength = r.u8();
    const quint8 mapType = r.u8();
    const quint8 type = r.u8();
    r.skip(2); // first map entry
    const quint16 mapLength = r.u16();
    const quint8 mapBits = r.u8();
    r.skip(4); // origin
    const quint16 width = r.u16();
    const quint16 height = r.u16();
    const quint8 bits = r.u8();
    const QSize declared(width, height);
    if (type > 3)
        return {false, declared};
    const qint64 mapBytes = mapType ? qint64(mapLength) * ((mapBits + 7) / 8) : 0;
    const qint64 pixelBytes = qint64(width) * height * ((bits + 7) / 8);
    return {HeaderBytes + idLength + mapBytes + pixelBytes > data.size() - FooterBytes, declared};
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    return readWithQt(data, walk(data), "tga", tga().name, limits);
}

} // namespace

const Format &tga()
{
    static const Format format{u"TGA"_s, {}, matches, decode, nullptr, false};
    return format;
}

} // namespace morvane::formats
