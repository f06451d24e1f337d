#include "convert/wmf/header.h"

namespace morvane::wmf {

namespace {

bool readStandardHeader(QByteArrayView data, qsizetype offset, MetafileHeader *header)
{
    if (data.size() - offset < MetaHeaderBytes)
        return false;
    ByteReader r(data.sliced(offset, MetaHeaderBytes));
    header->type = r.u16();
    const quint16 headerWords = r.u16();
    header->version = r.u16();
    header->sizeWords = r.u32();
    header->objectCount = r.u16();
    header->maxRecordWords = r.u32();
    r.u16(); // number of members, unused
    header->metafileOffset = offset;
    header->recordsOffset = offset + MetaHeaderBytes;
    return (header->type == 1 || header->type == 2) && headerWords == MetaHeaderWords;
}

} // namespace

HeaderCheck readHeader(QByteArrayView data, MetafileHeader *header)
{
    *header = MetafileHeader();
    if (data.size() >= 4 && ByteReader(data.first(4)).u32() == PlaceableKey) {
        if (data.size() < PlaceableHeaderBytes)
            return HeaderCheck::Damaged;
        ByteReader r(data.first(PlaceableHeaderBytes));
        r.u32(); // key
        r.u16(); // handle, always 0
        header->placeable = true;
        header->left = r.i16();
        header->top = r.i16();
        header->right = r.i16();
        header->bottom = r.i16();
        header->inch = r.u16();
        // The checksum is not checked: writers get it wrong often enough,
        // and the records are checked one by one anyway.
        return readStandardHeader(data, PlaceableHeaderBytes, header) ? HeaderCheck::Valid
                                                                       : HeaderCheck::Damaged;
    }
    if (!readStandardHeader(data, 0, header))
        return HeaderCheck::NotMetafile;
    if (header->version != 0x0100 && header->version != 0x0300)
        return HeaderCheck::NotMetafile;
    return HeaderCheck::Valid;
}

QString loopError(const LoopResult &result, const MetafileHeader &header, qsizetype dataSize)
{
    switch (result.end) {
    case LoopEnd::EndRecord:
    case LoopEnd::Stopped:
        return {};
    case LoopEnd::EndOfData:
        if (quint64(dataSize - header.metafileOffset) < quint64(header.sizeWords) * 2)
            return QStringLiteral("file is truncated");
        return {};
    case LoopEnd::Truncated:
        return QStringLiteral("file is truncated");
    case LoopEnd::BadSize:
        return QStringLiteral("file is damaged (bad record at byte %1)").arg(result.offset);
    }
    return {};
}

} // namespace morvane::wmf
