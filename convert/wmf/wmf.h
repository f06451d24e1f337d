// Windows Metafiles: our own player (reader) and writer.
#pragma once

#include "convert/formats/format.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

namespace morvane::wmf {

struct RenderLimits {
    int maxSide = 16384;          // pixels on either side
    qint64 maxBytes = 1LL << 30;  // bytes of the decoded picture
};

struct RenderResult {
    QImage image;  // null on failure
    QString error; // empty on success; in words a user understands
};

struct EncodeResult {
    QByteArray bytes; // the whole file
    QString error;    // empty on success
};

// True when data starts like a Windows Metafile (placeable or standard header).
bool isWmf(QByteArrayView data);

// The picture size a placeable header declares; invalid without one, as the
// size then depends on the records.
QSize declaredWmfSize(QByteArrayView head);

// Plays the metafile onto a white picture.
RenderResult renderWmf(QByteArrayView data, const RenderLimits &limits = {});

// A placeable metafile holding picture as one 24-bit DIB, composited onto
// white where it is transparent.
EncodeResult encodeWmf(const QImage &picture);

// Windows Metafiles as one of the picture formats.
const formats::Format &format();

} // namespace morvane::wmf
