// Pixel rows for writers of formats without transparency.
#pragma once

#include <QImage>

namespace morvane::formats {

// True when bgrRowOnWhite reads picture's format as it is.
bool isRowFormat(QImage::Format format);

// picture itself when its format is a row format, else a converted copy.
QImage inRowFormat(const QImage &picture);

// Writes row y of picture (in a row format) to out as width x 3 bytes in the
// order blue, green, red, composited onto white where it is transparent.
void bgrRowOnWhite(const QImage &picture, int y, uchar *out);

} // namespace morvane::formats
