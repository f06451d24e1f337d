// TIFF: read and written (uncompressed) through Qt's plugin; the walk here
// checks the first directory and where its strips or tiles lie.
#include "convert/formats/bytereader.h"
#include "convert/formats/formats.h"
#include "convert/formats/qtio.h"

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

bool matches(QByteArrayView data)
{
    return data.startsWith(QByteArrayView("II*\0", 4)) || data.startsWith(QByteArrayView("MM\0*", 4));
}

int elementBytes(quint16 type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

// The first directory, the out-of-line values it points to, and the strips
// or tiles of the first picture.
Layout walk(QByteArrayView data)
{
    ByteReader r(data, data.startsWith("MM") ? ByteOrder::BigEndian : ByteOrder::LittleEndian);
    r.seek(4);
    r.seek(r.u32());
    const quint16 entries = r.u16();
    if (!r.ok() || r.remaining() < 12 * qint64(entries))
        return {true, {}};
    // Where each of the four arrays lies: its offset, element size and count.
    struct Array {
        qint64 at = 0;
        int size = 0;
        qint64 count = 0;
    } arrays[4];
    qint64 width = -1;
    qint64 height = -1;
    for (int i = 0; i < entries; ++i) {
        const quint16 tag = r.u16();
        const quint16 type = r.u16();
        const qint64 count = r.u32();
        const qint64 valueAt = r.pos();
        const quint32 offset = r.u32();
        const int size = elementBytes(type);
        if (size == 0)
            continue;
        const qint64 bytes = count * size; // < 2^35
        const qint64 at = bytes <= 4 ? valueAt : qint64(offset);
        ByteReader value = r.at(at);
        if ((tag == 256 || tag == 257) && count == 1 && (size == 2 || size == 4))
            (tag == 256 ? width : height) = size == 2 ? value.u16() : value.u32();
        if (at + bytes > data.size())
            return {true, width >= 0 && height >= 0 ? declaredSize(width, height) : QSize()};
        const int slot = tag == 273 ? 0 : tag == 279 ? 1 : tag == 324 ? 2 : tag == 325 ? 3 : -1;
        if (slot >= 0 && (size == 2 || size == 4))
            arrays[slot] = {at, size, count};
    }
    const QSize declared = width >= 0 && height >= 0 ? declaredSize(width, height) : QSize();
    const auto element = [&](const Array &a, qint64 i) -> qint64 {
        ByteReader value = r.at(a.at + a.size * i);
        return a.size == 2 ? value.u16() : value.u32();
    };
    // Strip offsets with strip byte counts, then tile offsets with tile byte counts.
    for (int pair = 0; pair < 4; pair += 2) {
        const qint64 n = qMin(arrays[pair].count, arrays[pair + 1].count);
        for (qint64 i = 0; i < n; ++i) {
            if (element(arrays[pair], i) + element(arrays[pair + 1], i) > data.size())
                return {true, declared};
        }
    }
    return {false, declared};
}

QSize declared(QByteArrayView head)
{
    return walk(head).declaredSize;
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    return readWithQt(data, walk(data), "tiff", tiff().name, limits);
}

Encoded encode(const QImage &picture, const WriteOptions &)
{
    return writeWithQt(picture, "tiff", tiff().name);
}

} // namespace

const Format &tiff()
{
    static const Format format{u"TIFF"_s, {u"tif"_s, u"tiff"_s}, matches, declared, decode, encode, true};
    return format;
}

} // namespace morvane::formats
