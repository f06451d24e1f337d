// The picture formats of this library, one unit each; the metafile format
// is its own library's (convert/wmf/).
#pragma once

#include "convert/formats/format.h"

namespace morvane::formats {

const Format &bmp();
const Format &dds();
const Format &gif();
const Format &jpeg();
const Format &png();
const Format &tga();
const Format &tiff();
const Format &webp();

namespace ddsfile {
// The whole DDS file for picture, written as options say (ddswrite.cpp);
// declared here, where the reader's table finds it.
Encoded encode(const QImage &picture, const WriteOptions &options);
} // namespace ddsfile

} // namespace morvane::formats
