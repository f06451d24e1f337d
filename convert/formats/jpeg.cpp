// JPEG through libjpeg-turbo, both ways: EXIF orientation and colour
// profiles read, profiles written back.
#include "convert/formats/bytereader.h"
#include "convert/formats/formats.h"
#include "convert/formats/rows.h"

#include <QColorSpace>
#include <QTransform>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

using namespace Qt::StringLiterals;

// libjpeg reports fatal errors through a callback that must not return; the
// callbacks below longjmp back to the one function of each direction that
// drives the library. Those functions keep all their state in a job object
// owned by their caller, so nothing in their own frame is left half-changed
// or undestroyed by the jump.

namespace morvane::formats {

// The EXIF orientation (1..8) found in the payload of an APP1 segment
// (starting with "Exif\0\0"), or 1 when there is none or it is unreadable.
int exifOrientation(QByteArrayView app1);

// picture turned as EXIF orientation (1..8) prescribes for display.
QImage orientedPicture(const QImage &picture, int orientation);

namespace {

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE Rgb32Space = JCS_EXT_BGRX;
#else
constexpr J_COLOR_SPACE Rgb32Space = JCS_EXT_XRGB;
#endif

// A progressive file may hold any number of scans, each one a pass over the
// whole picture, and a scan of end-of-band runs costs a few bytes: past this
// many scans (encoders write about ten) the file is refused rather than
// decoded for minutes. At 100, the largest picture allowed takes seconds.
constexpr int MaxScans = 100;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

void ignoreMessage(j_common_ptr, int)
{
}

// Most warnings about corrupt data are let by: what can be decoded is kept.
// Entropy-coded data that stops before its scan is done is not: libjpeg
// would go on to fill the rest of the picture, scan after scan, from nothing.
void watchWarning(j_common_ptr cinfo, int level)
{
    if (level < 0 && cinfo->err->msg_code == JWRN_HIT_MARKER)
        errorExit(cinfo);
}

struct DecodeJob {
    jpeg_decompress_struct cinfo {};
    ErrorManager err {};
    jpeg_source_mgr source {};
    jpeg_progress_mgr progress {};
    QByteArrayView data;
    Limits limits;
    bool truncated = false;
    bool tooManyScans = false;
    bool allRowsRead = false;
    int orientation = 1;
    QImage image;
    QString error;
    QByteArray iccProfile;
    std::vector<uchar> cmykRow;
};

DecodeJob *decodeJobOf(j_decompress_ptr cinfo)
{
    return static_cast<DecodeJob *>(cinfo->client_data);
}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

// The whole file is in the buffer from the start: asking for more means the
// data ended early. Only a missing end marker after the last row is let by.
boolean fillInputBuffer(j_decompress_ptr cinfo)
{
    DecodeJob *job = decodeJobOf(cinfo);
    if (!job->allRowsRead) {
        job->truncated = true;
        errorExit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    static const JOCTET endOfImage[2] = {0xff, JPEG_EOI};
    cinfo->src->next_input_byte = endOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    if (size_t(count) > cinfo->src->bytes_in_buffer) {
        decodeJobOf(cinfo)->truncated = true;
        errorExit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    cinfo->src->next_input_byte += count;
    cinfo->src->bytes_in_buffer -= size_t(count);
}

void watchScans(j_common_ptr common)
{
    auto *cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (cinfo->input_scan_number > MaxScans) {
        decodeJobOf(cinfo)->tooManyScans = true;
        errorExit(common);
    }
}

int orientationFromMarkers(j_decompress_ptr cinfo)
{
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1)
            return exifOrientation(QByteArrayView(reinterpret_cast<const char *>(m->data), m->data_length));
    }
    return 1;
}

// Adobe's CMYK JPEGs store inverted inks; the others store them plain.
void cmykToRgb32(const uchar *in, QRgb *out, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, in += 4) {
        uint c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(int((c * k + 127) / 255), int((m * k + 127) / 255), int((y * k + 127) / 255));
    }
}

// The decompressor over job's data, its header read and checked against the
// limits, started. Errors leave through errorExit, to runDecode's jump point:
// nothing here owns anything that must be destroyed.
void startDecode(DecodeJob &job)
{
    jpeg_create_decompress(&job.cinfo);
    job.cinfo.client_data = &job;
    job.source.init_source = initSource;
    job.source.fill_input_buffer = fillInputBuffer;
    job.source.skip_input_data = skipInputData;
    job.source.resync_to_restart = jpeg_resync_to_restart;
    job.source.term_source = termSource;
    job.source.next_input_byte = reinterpret_cast<const JOCTET *>(job.data.data());
    job.source.bytes_in_buffer = size_t(job.data.size());
    job.cinfo.src = &job.source;
    job.progress.progress_monitor = watchScans;
    job.cinfo.progress = &job.progress;
    jpeg_save_markers(&job.cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(&job.cinfo, JPEG_APP0 + 2, 0xffff); // colour profile

    jpeg_read_header(&job.cinfo, TRUE);
    const bool gray = job.cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = job.cinfo.jpeg_color_space == JCS_CMYK || job.cinfo.jpeg_color_space == JCS_YCCK;
    const QSize size(int(job.cinfo.image_width), int(job.cinfo.image_height));
    job.error = sizeLimitError(size, gray ? 8 : 32, job.limits);
    if (!job.error.isEmpty())
        errorExit(reinterpret_cast<j_common_ptr>(&job.cinfo));
    job.orientation = orientationFromMarkers(&job.cinfo);
    JOCTET *profile = nullptr;
    unsigned int profileBytes = 0;
    if (jpeg_read_icc_profile(&job.cinfo, &profile, &profileBytes)) {
        job.iccProfile = QByteArray(reinterpret_cast<const char *>(profile), qsizetype(profileBytes));
        std::free(profile);
    }

    job.cinfo.out_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : Rgb32Space;
    job.cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&job.cinfo);
    if (int(job.cinfo.output_width) != size.width() || int(job.cinfo.output_height) != size.height())
        errorExit(reinterpret_cast<j_common_ptr>(&job.cinfo));
}

// Reads every row of the started decompressor into job.image, CMYK through
// a row of its own.
void readRows(DecodeJob &job)
{
    const bool gray = job.cinfo.out_color_space == JCS_GRAYSCALE;
    const bool cmyk = job.cinfo.out_color_space == JCS_CMYK;
    const QSize size(int(job.cinfo.output_width), int(job.cinfo.output_height));
    job.image = QImage(size, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (job.image.isNull()) {
        job.error = outOfMemoryError();
        errorExit(reinterpret_cast<j_common_ptr>(&job.cinfo));
    }
    uchar *const bits = job.image.bits();
    const qsizetype stride = job.image.bytesPerLine();
    if (cmyk) {
        job.cmykRow.resize(size_t(size.width()) * 4);
        JSAMPROW row = job.cmykRow.data();
        while (job.cinfo.output_scanline < job.cinfo.output_height) {
            const JDIMENSION y = job.cinfo.output_scanline;
            if (jpeg_read_scanlines(&job.cinfo, &row, 1) != 1)
                errorExit(reinterpret_cast<j_common_ptr>(&job.cinfo));
            cmykToRgb32(row, reinterpret_cast<QRgb *>(bits + qsizetype(y) * stride), size.width(),
                        job.cinfo.saw_Adobe_marker);
        }
    } else {
        JSAMPROW rows[16];
        while (job.cinfo.output_scanline < job.cinfo.output_height) {
            const JDIMENSION y = job.cinfo.output_scanline;
            const JDIMENSION n = qMin<JDIMENSION>(16, job.cinfo.output_height - y);
            for (JDIMENSION i = 0; i < n; ++i)
                rows[i] = bits + qsizetype(y + i) * stride;
            if (jpeg_read_scanlines(&job.cinfo, rows, n) == 0)
                errorExit(reinterpret_cast<j_common_ptr>(&job.cinfo));
        }
    }
}

// Runs the decompressor; the only function that calls libjpeg on this side,
// and where every error of startDecode and readRows lands.
void runDecode(DecodeJob &job)
{
    job.cinfo.err = jpeg_std_error(&job.err.base);
    job.err.base.error_exit = errorExit;
    job.err.base.emit_message = watchWarning;
    if (setjmp(job.err.jump)) {
        if (job.error.isEmpty())
            job.error = job.truncated ? truncatedError() : damagedError(u"JPEG"_s);
        job.image = QImage();
        jpeg_destroy_decompress(&job.cinfo);
        return;
    }
    startDecode(job);
    readRows(job);
    job.allRowsRead = true;
    jpeg_finish_decompress(&job.cinfo);
    jpeg_destroy_decompress(&job.cinfo);
}

// Pictures are written at the quality asked for (WriteOptions::quality),
// with full-resolution colour and optimised Huffman tables.
struct EncodeJob {
    jpeg_compress_struct cinfo {};
    ErrorManager err {};
    jpeg_destination_mgr destination {};
    QImage picture; // in a format the rows are read from directly
    QByteArray iccProfile; // written when not empty
    QByteArray out;
    std::vector<uchar> row;
    QString error;
    int quality = WriteOptions().quality;
};

EncodeJob *encodeJobOf(j_compress_ptr cinfo)
{
    return static_cast<EncodeJob *>(cinfo->client_data);
}

void initDestination(j_compress_ptr cinfo)
{
    EncodeJob *job = encodeJobOf(cinfo);
    // A quarter of the raw size is ample for most pictures at high quality.
    const qint64 estimate = qint64(job->picture.width()) * job->picture.height() * 3 / 4 + 4096;
    job->out.resize(qsizetype(qMin<qint64>(estimate, 64 << 20)));
    cinfo->dest->next_output_byte = reinterpret_cast<JOCTET *>(job->out.data());
    cinfo->dest->free_in_buffer = size_t(job->out.size());
}

boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    EncodeJob *job = encodeJobOf(cinfo);
    const qsizetype used = job->out.size();
    if (used > (qsizetype(1) << 31)) {
        job->error = u"picture too large for JPEG"_s;
        errorExit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    job->out.resize(used * 2);
    cinfo->dest->next_output_byte = reinterpret_cast<JOCTET *>(job->out.data() + used);
    cinfo->dest->free_in_buffer = size_t(job->out.size() - used);
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    EncodeJob *job = encodeJobOf(cinfo);
    job->out.resize(job->out.size() - qsizetype(cinfo->dest->free_in_buffer));
}

// Runs the compressor; the only function that calls libjpeg on this side.
void runEncode(EncodeJob &job)
{
    job.cinfo.err = jpeg_std_error(&job.err.base);
    job.err.base.error_exit = errorExit;
    job.err.base.emit_message = ignoreMessage;
    if (setjmp(job.err.jump)) {
        if (job.error.isEmpty())
            job.error = u"cannot encode the picture as JPEG"_s;
        job.out.clear();
        jpeg_destroy_compress(&job.cinfo);
        return;
    }
    jpeg_create_compress(&job.cinfo);
    job.cinfo.client_data = &job;
    job.destination.init_destination = initDestination;
    job.destination.empty_output_buffer = emptyOutputBuffer;
    job.destination.term_destination = termDestination;
    job.cinfo.dest = &job.destination;

    const QImage::Format format = job.picture.format();
    job.cinfo.image_width = JDIMENSION(job.picture.width());
    job.cinfo.image_height = JDIMENSION(job.picture.height());
    if (format == QImage::Format_Grayscale8) {
        job.cinfo.input_components = 1;
        job.cinfo.in_color_space = JCS_GRAYSCALE;
    } else if (format == QImage::Format_RGB32) {
        job.cinfo.input_components = 4;
        job.cinfo.in_color_space = Rgb32Space;
    } else if (format == QImage::Format_BGR888) {
        job.cinfo.input_components = 3;
        job.cinfo.in_color_space = JCS_EXT_BGR;
    } else {
        job.cinfo.input_components = 3;
        job.cinfo.in_color_space = JCS_EXT_BGR;
        job.row.resize(size_t(job.picture.width()) * 3);
    }
    jpeg_set_defaults(&job.cinfo);
    jpeg_set_quality(&job.cinfo, job.quality, TRUE);
    for (int i = 0; i < job.cinfo.num_components; ++i) {
        job.cinfo.comp_info[i].h_samp_factor = 1;
        job.cinfo.comp_info[i].v_samp_factor = 1;
    }
    job.cinfo.optimize_coding = TRUE;
    job.cinfo.dct_method = JDCT_ISLOW;
    const int dpiX = qRound(job.picture.dotsPerMeterX() * 0.0254);
    const int dpiY = qRound(job.picture.dotsPerMeterY() * 0.0254);
    if (dpiX > 0 && dpiY > 0 && dpiX <= 65535 && dpiY <= 65535) {
        job.cinfo.density_unit = 1;
        job.cinfo.X_density = UINT16(dpiX);
        job.cinfo.Y_density = UINT16(dpiY);
    }

    jpeg_start_compress(&job.cinfo, TRUE);
    if (!job.iccProfile.isEmpty())
        jpeg_write_icc_profile(&job.cinfo, reinterpret_cast<const JOCTET *>(job.iccProfile.constData()),
                               unsigned(job.iccProfile.size()));
    while (job.cinfo.next_scanline < job.cinfo.image_height) {
        const int y = int(job.cinfo.next_scanline);
        JSAMPROW row;
        if (job.row.empty()) {
            row = const_cast<JSAMPROW>(job.picture.constScanLine(y));
        } else {
            bgrRowOnWhite(job.picture, y, job.row.data());
            row = job.row.data();
        }
        jpeg_write_scanlines(&job.cinfo, &row, 1);
    }
    jpeg_finish_compress(&job.cinfo);
    jpeg_destroy_compress(&job.cinfo);
}

} // namespace

int exifOrientation(QByteArrayView app1)
{
    if (!app1.startsWith(QByteArrayView("Exif\0\0", 6)))
        return 1;
    const QByteArrayView tiff = app1.sliced(6);
    ByteReader r(tiff);
    if (tiff.startsWith("MM"))
        r.setByteOrder(ByteOrder::BigEndian);
    else if (!tiff.startsWith("II"))
        return 1;
    r.seek(4);
    r.seek(r.u32());
    const quint16 count = r.u16();
    for (int i = 0; i < count && r.ok(); ++i) {
        const quint16 tag = r.u16();
        const quint16 type = r.u16();
        r.skip(4); // count
        const quint16 value = r.u16();
        r.skip(2);
        if (!r.ok())
            break;
        if (tag != 0x0112)
            continue;
        if (type != 3) // SHORT
            return 1;
        return value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

QImage orientedPicture(const QImage &picture, int orientation)
{
    const QTransform quarterTurn = QTransform().rotate(90);
    switch (orientation) {
    case 2: return picture.mirrored(true, false);
    case 3: return picture.mirrored(true, true);
    case 4: return picture.mirrored(false, true);
    case 5: return picture.transformed(quarterTurn).mirrored(true, false);
    case 6: return picture.transformed(quarterTurn);
    case 7: return picture.transformed(quarterTurn).mirrored(false, true);
    case 8: return picture.transformed(QTransform().rotate(270));
    default: return picture;
    }
}

namespace {

bool matches(QByteArrayView data)
{
    return data.startsWith("\xff\xd8\xff");
}

// The size in the first frame header, found by walking the markers before it.
QSize declared(QByteArrayView head)
{
    ByteReader r(head, ByteOrder::BigEndian);
    r.skip(2);
    while (r.ok()) {
        if (r.u8() != 0xff)
            return {};
        const quint8 marker = r.u8();
        if (marker == 0xff) { // a fill byte before the marker
            r.seek(r.pos() - 1);
            continue;
        }
        if ((marker >= 0xd0 && marker <= 0xd7) || marker == 0x01)
            continue; // markers without a length
        const quint16 length = r.u16();
        const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            r.skip(1); // sample precision
            const quint16 height = r.u16();
            const quint16 width = r.u16();
            return r.ok() ? QSize(width, height) : QSize();
        }
        if (marker == 0xda || marker == 0xd9 || length < 2)
            return {};
        r.skip(length - 2);
    }
    return {};
}

Decoded decode(QByteArrayView data, const Limits &limits)
{
    DecodeJob job;
    job.data = data;
    job.limits = limits;
    runDecode(job);
    if (job.image.isNull())
        return {QImage(), job.error.isEmpty() ? damagedError(jpeg().name) : job.error};
    if (!job.iccProfile.isEmpty() && job.image.format() == QImage::Format_RGB32) {
        const QColorSpace profile = QColorSpace::fromIccProfile(job.iccProfile);
        if (profile.isValid())
            job.image.setColorSpace(profile);
    }
    return {orientedPicture(job.image, job.orientation), QString()};
}

Encoded encode(const QImage &picture, const WriteOptions &options)
{
    if (picture.isNull())
        return {QByteArray(), noPictureError()};
    if (picture.width() > JPEG_MAX_DIMENSION || picture.height() > JPEG_MAX_DIMENSION)
        return {QByteArray(), u"picture too large for JPEG (%1 x %2)"_s.arg(picture.width()).arg(picture.height())};
    EncodeJob job;
    job.quality = std::clamp(options.quality, 1, 100);
    job.picture = inRowFormat(picture);
    if (picture.colorSpace().isValid())
        job.iccProfile = picture.colorSpace().iccProfile();
    runEncode(job);
    if (!job.error.isEmpty())
        return {QByteArray(), job.error};
    return {std::move(job.out), QString()};
}

} // namespace

const Format &jpeg()
{
    static const Format format{u"JPEG"_s, {u"jpg"_s, u"jpe"_s, u"jpeg"_s}, matches, declared, decode, encode, true};
    return format;
}

} // namespace morvane::formats
