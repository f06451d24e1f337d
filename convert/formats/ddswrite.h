// The DDS writer's choice of colour block packer, open to the benchmark that
// weighs them (bench/codecs/dds-encoders.sh); the program writes with
// DefaultColourFit. On photographs at 512 x 512, as DXT1 with mipmaps, the top
// level's median PSNR was 42.5 dB for stb_dxt's high quality mode, 42.4 for
// its normal one, 41.2 for libsquish's range fit and 43.0 for its cluster
// fit, which took 30 times as long. Since the mipmaps are averaged in whole
// linear steps, stb_dxt takes two thirds of a conversion's time; its normal
// mode would make BC1 copies about a fifth faster (BC3 a tenth) for 0.08 dB
// less, and the high quality mode is kept: the copies are made twice as fast
// as ImageMagick's, single-threaded (bench/codecs/dds-resize-vs-im.sh).
#pragma once

#include "convert/formats/format.h"

namespace morvane::formats::ddsfile {

enum class ColourFit {
    Stb,            // stb_dxt: one refinement of its principal-axis fit
    StbHighQuality, // stb_dxt with two refinements
    SquishRange,    // libsquish's range fit
    SquishCluster,  // libsquish's cluster fit
};

constexpr ColourFit DefaultColourFit = ColourFit::StbHighQuality;

// The whole DDS file for picture, as encode() writes it, with the colour
// blocks packed by fit.
Encoded encodeWith(const QImage &picture, const WriteOptions &options, ColourFit fit);

} // namespace morvane::formats::ddsfile
