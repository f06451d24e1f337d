// BMP writing: 24 bits per pixel, bottom-up, no compression.
#pragma once

#include "convert/codec.h"

namespace morvane::convert {

// Encodes picture as a 24-bit BMP, composited onto white where transparent.
Encoded encodeBmp(const QImage &picture);

} // namespace morvane::convert
