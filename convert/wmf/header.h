// The headers at the start of a metafile and the loop over its records.
#pragma once

#include "convert/formats/bytereader.h"
#include "convert/wmf/records.h"

#include <QByteArrayView>
#include <QString>

namespace morvane::wmf {

using formats::ByteReader;

struct MetafileHeader {
    bool placeable = false;
    // Placeable header: the picture's box in logical units, and how many of
    // those units make an inch.
    qint16 left = 0, top = 0, right = 0, bottom = 0;
    quint16 inch = 0;
    // Standard header.
    quint16 type = 0;
    quint16 version = 0;
    quint32 sizeWords = 0;   // the whole metafile, without the placeable header
    quint16 objectCount = 0; // slots of the object table
    quint32 maxRecordWords = 0;
    qsizetype metafileOffset = 0; // where the standard header starts
    qsizetype recordsOffset = 0;  // where the first record starts
};

enum class HeaderCheck { Valid, NotMetafile, Damaged };

// Reads the placeable header (when present) and the standard header.
HeaderCheck readHeader(QByteArrayView data, MetafileHeader *header);

// How a pass over the records ended.
enum class LoopEnd {
    EndRecord, // the EOF record
    EndOfData, // the data ran out on a record boundary without an EOF record
    Truncated, // a record runs past the end of the data
    BadSize,   // a record is shorter than its own header
    Stopped,   // the visitor asked to stop
};

struct LoopResult {
    LoopEnd end = LoopEnd::EndRecord;
    qsizetype offset = 0; // where the record that ended the pass starts
};

// Calls visit(function, reader) for every record, the EOF record excluded;
// the reader covers the record's parameters only, and the loop moves on to
// the record's end whatever the visitor read. visit returns false to stop.
template <typename Visit>
LoopResult forEachRecord(QByteArrayView data, const MetafileHeader &header, Visit &&visit)
{
    qsizetype pos = header.recordsOffset;
    while (pos < data.size()) {
        if (data.size() - pos < RecordHeaderBytes)
            return {LoopEnd::Truncated, pos};
        ByteReader head(data.sliced(pos, RecordHeaderBytes));
        const quint64 words = head.u32();
        const quint16 function = head.u16();
        if (words < RecordHeaderBytes / 2)
            return {LoopEnd::BadSize, pos};
        if (words > quint64(data.size() - pos) / 2)
            return {LoopEnd::Truncated, pos};
        if (function == EndOfFile)
            return {LoopEnd::EndRecord, pos};
        const qsizetype bytes = qsizetype(words * 2);
        ByteReader params(data.sliced(pos + RecordHeaderBytes, bytes - RecordHeaderBytes));
        if (!visit(function, params))
            return {LoopEnd::Stopped, pos};
        pos += bytes;
    }
    return {LoopEnd::EndOfData, pos};
}

// The error a pass ending in result means, or an empty string when the
// metafile was read whole. Data that ends on a record boundary without an
// EOF record is whole when it holds as many words as the header says.
QString loopError(const LoopResult &result, const MetafileHeader &header, qsizetype dataSize);

} // namespace morvane::wmf
