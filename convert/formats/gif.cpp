// GIF: read through Qt's plugin; written by giflib as one frame, in the
// picture's own colours when it has at most 256, else in a palette of 256
// that libimagequant chooses.
#include "convert/formats/bytereader.h"
#include "convert/formats/formats.h"
#include "convert/formats/qtio.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <libimagequant.h>

using namespace Qt::StringLiterals;

namespace morvane::formats {

namespace {

// libimagequant's speed 7 with error diffusion at a quarter of its
// strength, the palette chosen from a sample of the pixels. On one thread,
// against speed 6, speed 7 halves the time spent choosing the palette for
// 0.2 dB less PSNR (photographs of 512 pixels a side: 41.8 dB median,
// ImageMagick's 38.0); the milder dithering leaves less noise, and the
// sample gives the palette the whole picture would. Speed 8 would be faster
// still but posterizes its input, which costs a further 0.6 dB.
constexpr int QuantizerSpeed = 7;
constexpr float DitheringLevel = 0.25f;

// Pictures of more pixels than this have their palette chosen from every
// other pixel of every other row.
constexpr qint64 SampledPicturePixels = qint64(1) << 16;
// Pictures of more pixels than this are remapped in bands of BandRows rows.
constexpr qint64 LargePicturePixels = qint64(1) << 20;
constexpr int BandRows = 256;

struct LiqAttrDeleter {
    void operator()(liq_attr *p) const { liq_attr_destroy(p); }
};
struct LiqImageDeleter {
    void operator()(liq_image *p) const { liq_image_destroy(p); }
};
struct LiqResultDeleter {
    void operator()(liq_result *p) const { liq_result_destroy(p); }
};
struct LiqHistogramDeleter {
    void operator()(liq_histogram *p) const { liq_histogram_destroy(p); }
};
struct GifMapDeleter {
    void operator()(ColorMapObject *p) const { GifFreeMapObject(p); }
};

int writeToByteArray(GifFileType *file, const GifByteType *bytes, int length)
{
    static_cast<QByteArray *>(file->UserData)->append(reinterpret_cast<const char *>(bytes), length);
    return length;
}

// Where libimagequant reads rows from: picture's rows from firstRow on,
// every step-th row and every step-th pixel of it.
struct RowSource {
    const QImage *picture;
    int firstRow = 0;
    int step = 1;
};

// Hands libimagequant the rows of an RGB32 or ARGB32 picture as straight
// RGBA, every alpha made 0 or 255.
void rgbaRow(liq_color out[], int row, int width, void *user)
{
    const auto *source = static_cast<const RowSource *>(user);
    const auto *in = reinterpret_cast<const QRgb *>(source->picture->constScanLine(source->firstRow + row * source->step));
    const bool alpha = source->picture->format() == QImage::Format_ARGB32;
    for (int x = 0; x < width; ++x) {
        const QRgb c = in[x * source->step];
        if (alpha && qAlpha(c) < 128)
            out[x] = {0, 0, 0, 0};
        else
            out[x] = {uchar(qRed(c)), uchar(qGreen(c)), uchar(qBlue(c)), 255};
    }
}

using ImagePtr = std::unique_ptr<liq_image, LiqImageDeleter>;
using ResultPtr = std::unique_ptr<liq_result, LiqResultDeleter>;

ImagePtr imageOf(liq_attr *attr, RowSource *source, int width, int height)
{
    return ImagePtr(liq_image_create_custom(attr, rgbaRow, source, width, height, 0));
}

// The palette for source: from all its pixels, or for a larger picture from
// every other pixel of every other row, which gives the same palette for a
// quarter of the work.
ResultPtr quantize(liq_attr *attr, const QImage &source)
{
    liq_result *result = nullptr;
    if (qint64(source.width()) * source.height() <= SampledPicturePixels) {
        RowSource all{&source};
        const ImagePtr image = imageOf(attr, &all, source.width(), source.height());
        if (!image || liq_image_quantize(image.get(), attr, &result) != LIQ_OK)
            return nullptr;
        return ResultPtr(result);
    }
    RowSource sample{&source, 0, 2};
    const ImagePtr image = imageOf(attr, &sample, (source.width() + 1) / 2, (source.height() + 1) / 2);
    const std::unique_ptr<liq_histogram, LiqHistogramDeleter> histogram(liq_histogram_create(attr));
    if (!image || !histogram || liq_histogram_add_image(histogram.get(), attr, image.get()) != LIQ_OK
        || liq_histogram_quantize(histogram.get(), attr, &result) != LIQ_OK)
        return nullptr;
    return ResultPtr(result);
}

// A picture of at most 256 colours, every clear pixel counting as one, gets
// those colours as its palette and is indexed without quantizing: exact,
// and far quicker than a search for each pixel. Fills palette and indexes
// (width x height, row by row), colours in their order of first use; false
// on the 257th colour, when palette and indexes are to be ignored.
bool indexExactly(const QImage &source, liq_palette &palette, std::vector<uchar> &indexes)
{
    // Open addressing over twice the most colours it can hold; no colour
    // key is EmptySlot, as a clear pixel's key is 0.
    constexpr int Slots = 512;
    constexpr QRgb EmptySlot = 1;
    QRgb keys[Slots];
    uchar values[Slots];
    std::fill(std::begin(keys), std::end(keys), EmptySlot);
    palette.count = 0;
    const bool alpha = source.format() == QImage::Format_ARGB32;
    const int width = source.width();
    uchar *out = indexes.data();
    QRgb lastKey = EmptySlot;
    uchar lastIndex = 0;
    for (int y = 0; y < source.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb c = in[x];
            const QRgb key = alpha && qAlpha(c) < 128 ? 0 : c | 0xff000000u;
            if (key != lastKey) {
                unsigned slot = (key * 0x9e3779b1u) >> 23;
                while (keys[slot] != key && keys[slot] != EmptySlot)
                    slot = (slot + 1) & (Slots - 1);
                if (keys[slot] == EmptySlot) {
                    if (palette.count == 256)
                        return false;
                    keys[slot] = key;
                    values[slot] = uchar(palette.count);
                    palette.entries[palette.count++] = {uchar(qRed(key)), uchar(qGreen(key)), uchar(qBlue(key)),
                                                        uchar(qAlpha(key))};
                }
                lastKey = key;
                lastIndex = values[slot];
            }
            *out++ = lastIndex;
        }
    }
    return true;
}

bool samePalette(const liq_palette &a, const liq_palette &b)
{
    return a.count == b.count && std::memcmp(a.entries, b.entries, sizeof(a.entries[0]) * a.count) == 0;
}

// Writes source's palette indexes into rows. A large picture is remapped
// band by band, so that libimagequant's working copy (16 bytes a pixel)
// covers a band rather than the whole picture; dithering starts afresh at
// each band's top, which does not show. False on failure.
bool remap(liq_attr *attr, liq_result *result, const QImage &source, std::vector<uchar *> &rows)
{
    const int width = source.width(), height = source.height();
    if (qint64(width) * height <= LargePicturePixels) {
        RowSource all{&source};
        const ImagePtr image = imageOf(attr, &all, width, height);
        return image && liq_write_remapped_image_rows(result, image.get(), rows.data()) == LIQ_OK;
    }
    liq_palette first {};
    for (int top = 0; top < height; top += BandRows) {
        RowSource band{&source, top};
        const ImagePtr image = imageOf(attr, &band, width, std::min(BandRows, height - top));
        if (!image || liq_write_remapped_image_rows(result, image.get(), rows.data() + top) != LIQ_OK)
            return false;
        // Every band is remapped to the one palette the file holds.
        const liq_palette *palette = liq_get_palette(result);
        if (top == 0)
            first = *palette;
        else if (!samePalette(first, *palette))
            return false;
    }
    return true;
}

bool matches(QByteArrayView data)
{
    return data.startsWith("GIF87a") || data.startsWith("GIF89a");
}

// Skips data sub-blocks; the reader fails when the data ends first.
void skipSubBlocks(ByteReader &r)
{
    while (r.ok()) {
        const quint8 n = r.u8();
        if (n == 0)
            return;
        r.skip(n);
    }
}

// Header, colour table, then extensions up to the end of the first image's data.
Layout walk(QByteArrayView data)
{
    ByteReader r(data);
    r.skip(6);
    const quint16 screenWidth = r.u16();
    const quint16 screenHeight = r.u16();
    const quint8 screenFlags = r.u8();
    r.skip(2);
    if (!r.ok())
        return {true, {}};
    const QSize screen(screenWidth, screenHeight);
    if (screenFlags & 0x80)
        r.skip(3 << ((screenFlags & 7) + 1));
    for (;;) {
        const quint8 block = r.u8();
        if (!r.ok())
            return {true, screen};
        if (block == 0x21) { // extension: label, sub-blocks
            r.skip(1);
            skipSubBlocks(r);
        } else if (block == 0x2c) { // image: descriptor, local colour table, code size, sub-blocks
            r.skip(4);
            const quint16 frameWidth = r.u16();
            const quint16 frameHeight = r.u16();
            const quint8 flags = r.u8();
            if (!r.ok())
                return {true, screen};
            if (flags & 0x80)
                r.skip(3 << ((flags & 7) + 1));
            r.skip(1); // LZW minimum code size
            skipSubBlocks(r);
            // The picture covers the screen and the frame, whichever is larger.
            return {!r.ok(), screen.expandedTo(QSize(frameWidth, frameHeight))};
        } else { // trailer before any image, or not a block at all
            return {false, screen};
        }
        if (!r.ok())
            return {true, screen};
    }
}

QSize declared(QByteArrayView head)
{
    return walk(head).declaredSize;
}

// Qt's reader starts the picture cleared and fills what the first frame
// leaves uncovered with the transparent or background colour, so every
// pixel is defined.
Decoded decode(QByteArrayView data, const Limits &limits)
{
    return readWithQt(data, walk(data), "gif", gif().name, limits);
}

// Folds every clear palette entry into the first one, GIF having a single
// transparent index; that index, or -1 when the palette has none.
int foldClearEntries(const liq_palette &palette, std::vector<uchar> &indexes)
{
    int transparent = -1;
    uchar fold[256];
    for (unsigned i = 0; i < 256; ++i)
        fold[i] = uchar(i);
    bool folding = false;
    for (unsigned i = 0; i < palette.count; ++i) {
        if (palette.entries[i].a >= 128)
            continue;
        if (transparent < 0)
            transparent = int(i);
        fold[i] = uchar(transparent);
        folding = folding || int(i) != transparent;
    }
    if (folding) {
        for (uchar &index : indexes)
            index = fold[index];
    }
    return transparent;
}

// The colour table of palette; GIF colour tables hold a power of two
// entries, at least two. Null when out of memory.
std::unique_ptr<ColorMapObject, GifMapDeleter> colourTable(const liq_palette &palette, int transparent)
{
    int bits = 1;
    while ((1u << bits) < palette.count)
        ++bits;
    std::unique_ptr<ColorMapObject, GifMapDeleter> colours(GifMakeMapObject(1 << bits, nullptr));
    if (!colours)
        return colours;
    for (int i = 0; i < colours->ColorCount; ++i) {
        GifColorType &c = colours->Colors[i];
        if (unsigned(i) < palette.count && i != transparent) {
            c.Red = palette.entries[i].r;
            c.Green = palette.entries[i].g;
            c.Blue = palette.entries[i].b;
        } else {
            c.Red = c.Green = c.Blue = 0;
        }
    }
    return colours;
}

// Writes the one-image file of the index rows to out; false when giflib fails.
bool writeFile(QByteArray &out, int width, int height, ColorMapObject *colours, int transparent,
               const std::vector<uchar *> &indexRows)
{
    int status = 0;
    GifFileType *file = EGifOpen(&out, writeToByteArray, &status);
    if (!file)
        return false;
    EGifSetGifVersion(file, transparent >= 0);
    bool ok = EGifPutScreenDesc(file, width, height, 8, 0, colours) == GIF_OK;
    if (ok && transparent >= 0) {
        GraphicsControlBlock control {};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.TransparentColor = transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(file, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y)
        ok = EGifPutLine(file, indexRows[size_t(y)], width) == GIF_OK;
    if (EGifCloseFile(file, &status) != GIF_OK)
        ok = false;
    return ok;
}

Encoded encode(const QImage &picture, const WriteOptions &)
{
    if (picture.isNull())
        return {QByteArray(), noPictureError()};
    const int width = picture.width();
    const int height = picture.height();
    if (width > 65535 || height > 65535)
        return {QByteArray(), u"picture too large for GIF (%1 x %2)"_s.arg(width).arg(height)};

    // The rows are read in place when the picture is RGB32 or ARGB32.
    const QImage source = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
        ? picture
        : picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (source.isNull())
        return {QByteArray(), outOfMemoryError()};

    std::vector<uchar> indexes(size_t(width) * size_t(height));
    std::vector<uchar *> indexRows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        indexRows[size_t(y)] = indexes.data() + size_t(y) * size_t(width);
    liq_palette exactPalette;
    const liq_palette *palette = &exactPalette;
    const std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    ResultPtr result;
    if (!indexExactly(source, exactPalette, indexes)) {
        if (!attr || liq_set_max_colors(attr.get(), 256) != LIQ_OK
            || liq_set_speed(attr.get(), QuantizerSpeed) != LIQ_OK)
            return {QByteArray(), outOfMemoryError()};
        result = quantize(attr.get(), source);
        if (!result)
            return {QByteArray(), cannotEncodeError(gif().name)};
        liq_set_dithering_level(result.get(), DitheringLevel);
        if (!remap(attr.get(), result.get(), source, indexRows))
            return {QByteArray(), cannotEncodeError(gif().name)};
        palette = liq_get_palette(result.get());
    }
    const int transparent = foldClearEntries(*palette, indexes);
    const auto colours = colourTable(*palette, transparent);
    if (!colours)
        return {QByteArray(), outOfMemoryError()};

    QByteArray out;
    out.reserve(qsizetype(indexes.size() / 2 + 1024));
    if (!writeFile(out, width, height, colours.get(), transparent, indexRows))
        return {QByteArray(), cannotEncodeError(gif().name)};
    return {std::move(out), QString()};
}

} // namespace

const Format &gif()
{
    static const Format format{u"GIF"_s, {u"gif"_s}, matches, declared, decode, encode, false};
    return format;
}

} // namespace morvane::formats
