// GIF writing: a 256-colour palette chosen by libimagequant, written by giflib.
#pragma once

#include "convert/codec.h"

namespace morvane::convert {

// Encodes picture as a single-frame GIF with a palette of at most 256
// colours, dithered; pixels under half opacity become the transparent index.
Encoded encodeGif(const QImage &picture);

} // namespace morvane::convert
