// BMP writing: 24 bits per pixel, bottom-up, no compression.
#pragma once

#include "convert/codec.h"

#include <QByteArrayView>

#include <array>
#include <optional>

namespace morvane::convert {

// Encodes picture as a 24-bit BMP, composited onto white where transparent.
Encoded encodeBmp(const QImage &picture);

// Decodes the commonest BMP, 24-bit rows without compression under a
// Windows info header, into RGB32; nothing for any other kind of BMP, which
// is left to Qt's reader. The size must have been checked against the limits.
std::optional<Decoded> decodePlainBmp(QByteArrayView data);

// The bits of red, green and blue in the pixels of a 16-bit BMP file (5, 5, 5
// without bit fields); nothing for other BMP files.
std::optional<std::array<int, 3>> bmpShortChannels(QByteArrayView data);

// Widens channels that were read as their bits shifted to the top of a byte
// (31 of 5 bits read as 248) to the full range (31 read as 255), by repeating
// the bits below. picture is RGB32 or ARGB32.
void widenChannels(QImage &picture, const std::array<int, 3> &bits);

} // namespace morvane::convert
