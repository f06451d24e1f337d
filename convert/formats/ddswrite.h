// The DDS writer's choice of colour block packer, open to the benchmark that
// weighs them; the program writes with DefaultColourFit.
#pragma once

#include "convert/formats/format.h"

namespace morvane::formats::ddsfile {

enum class ColourFit {
    Stb,            // stb_dxt: one refinement of its principal-axis fit
    StbHighQuality, // stb_dxt with two refinements
    SquishRange,    // libsquish's range fit
    SquishCluster,  // libsquish's cluster fit
};

constexpr ColourFit DefaultColourFit = ColourFit::Stb;

// The whole DDS file for picture, as encode() writes it, with the colour
// blocks packed by fit.
Encoded encodeWith(const QImage &picture, const WriteOptions &options, ColourFit fit);

} // namespace morvane::formats::ddsfile
