// BMP files in the variants other programs write, each with the picture it
// holds: the files of the corpus's bmp folder beside their expected pictures.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

namespace fixtures {

struct BmpVariant {
    QByteArray name;
    QByteArray file;
    QImage expected; // ARGB32
};

// One file of each variant: bit fields of unusual widths and places, with
// and without alpha; every header size; 2-bit and over-long palettes;
// 64-bit; OS/2 RLE24; RLE4 and RLE8 with delta escapes and an early end.
QList<BmpVariant> bmpVariants();

} // namespace fixtures
