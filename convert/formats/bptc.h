// The two block codings of DDS textures beyond the older DXT kinds: BC7 (RGBA,
// eight modes) and BC6H (half-float RGB, fourteen modes). One 16-byte block
// at a time, as a DDS reader walks its blocks.
#pragma once

#include <QtGlobal>

namespace morvane::formats::bptc {

// Unpacks one 16-byte BC7 block into 16 RGBA8888 texels, row by row (64 bytes).
// A block of the reserved mode gives 16 clear black texels.
void decodeBc7(const uchar *block, uchar *rgba);

// Unpacks one 16-byte BC6H block (signed: the SF16 form) into 16 RGBA8888 texels:
// each half float clamped to [0, 1] and scaled to 8 bits, alpha 255. A block of
// a reserved mode gives 16 opaque black texels.
void decodeBc6h(const uchar *block, bool isSigned, uchar *rgba);

} // namespace morvane::formats::bptc
