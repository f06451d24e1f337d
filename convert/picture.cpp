#include "convert/picture.h"

#include "base/atomicwrite.h"
#include "convert/formats/formats.h"
#include "convert/wmf/wmf.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace morvane::convert {

namespace {

// No picture within the limits needs a bigger file than this, whatever its
// encoding; larger files are refused before they are read.
constexpr qint64 MaxFileBytes = qint64(3) << 29; // 1.5 GiB
// Every header that tells a picture's size fits in this much of a file's start.
constexpr qint64 HeadBytes = 64 * 1024;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// The first format of the table whose content check data passes; null for none.
const formats::Format *formatOf(QByteArrayView data)
{
    for (const formats::Format *format : pictureFormats()) {
        if (format->matches(data))
            return format;
    }
    return nullptr;
}

formats::Decoded decode(QByteArrayView data, const formats::Limits &limits)
{
    if (data.isEmpty())
        return {QImage(), u"file is empty"_s};
    const formats::Format *format = formatOf(data);
    if (!format)
        return {QImage(), formats::notAnImageError()};
    formats::Decoded result = format->decode(data, limits);
    if (result.image.isNull() && result.error.isEmpty())
        result.error = formats::damagedError(format->name);
    // Whatever a reader let through, nothing beyond the limits is handed on.
    if (!result.image.isNull()) {
        const QString tooLarge = formats::sizeLimitError(result.image.size(), result.image.depth(), limits);
        if (!tooLarge.isEmpty())
            return {QImage(), tooLarge};
    }
    return result;
}

// picture in sRGB when it has a colour profile of another space, so that a
// format without profiles shows its colours right.
QImage inSrgb(const QImage &picture)
{
    const QColorSpace space = picture.colorSpace();
    if (!space.isValid() || space == QColorSpace::SRgb)
        return picture;
    QImage rgb = picture;
    switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break;
    default:
        rgb = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        break;
    }
    return rgb.convertedToColorSpace(QColorSpace::SRgb);
}

} // namespace

const QList<const formats::Format *> &pictureFormats()
{
    // Signatures at the start first, then metafiles, told by a header check;
    // TGA, which may have no signature at all, last of all.
    static const QList<const formats::Format *> table = {
        &formats::png(), &formats::jpeg(), &formats::gif(), &formats::bmp(), &formats::tiff(),
        &formats::webp(), &formats::dds(), &wmf::format(), &formats::tga(),
    };
    return table;
}

const formats::Format *writerFor(const QString &name)
{
    const QString key = pictureExtension(name).toLower();
    for (const formats::Format *format : pictureFormats()) {
        if (format->encode && !key.isEmpty() && format->extensions.contains(key))
            return format;
    }
    return nullptr;
}

QStringList writtenSuffixes()
{
    QStringList suffixes;
    for (const formats::Format *format : pictureFormats()) {
        if (format->encode && !format->extensions.isEmpty())
            suffixes.append(u'.' + format->extensions.constFirst());
    }
    suffixes.sort();
    return suffixes;
}

QString pictureExtension(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return {};
    return path.sliced(dot + 1);
}

QImage decodePicture(QByteArrayView data, QString *error)
{
    formats::Decoded result = decode(data, formats::Limits());
    if (result.image.isNull())
        setError(error, result.error.isEmpty() ? formats::notAnImageError() : result.error);
    return result.image;
}

bool PictureFile::open(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        setError(error, u"file not found"_s);
        return false;
    }
    if (info.isDir()) {
        setError(error, u"this is a folder, not a picture file"_s);
        return false;
    }
    if (!info.isFile()) { // pipes and devices could block or never end
        setError(error, u"not a regular file"_s);
        return false;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        setError(error, u"cannot open the file (%1)"_s.arg(m_file.errorString()));
        return false;
    }
    m_fileBytes = m_file.size();
    if (m_fileBytes > MaxFileBytes) {
        setError(error, u"file too large (%1 MB)"_s.arg(m_fileBytes >> 20));
        return false;
    }
    m_head = m_file.read(std::min(m_fileBytes, HeadBytes));
    if (m_head.isEmpty() && m_fileBytes > 0) {
        setError(error, u"cannot read the file (%1)"_s.arg(m_file.errorString()));
        return false;
    }
    m_format = formatOf(m_head);
    if (m_format && m_format->declaredSize)
        m_declared = m_format->declaredSize(m_head);
    if (m_declared.isValid()) {
        const QString tooLarge = formats::sizeLimitError(m_declared, 32, formats::Limits());
        if (!tooLarge.isEmpty()) {
            setError(error, tooLarge);
            return false;
        }
    }
    return true;
}

bool PictureFile::lossy() const
{
    if (m_format == &formats::jpeg() || m_format == &formats::gif())
        return true;
    if (m_format == &formats::webp()) // lossless WebP holds a VP8L chunk; lossy ones a VP8 chunk
        return !m_head.contains("VP8L");
    if (m_format == &formats::dds()) {
        // Blocks have a FourCC, plain pixels masks; under the DX10 header,
        // the DXGI formats 70 to 84 and 94 to 99 are blocks.
        constexpr qsizetype FlagsAt = 80, FourCcAt = 84, DxgiAt = 128;
        constexpr quint8 FourCcFlag = 0x4;
        if (m_head.size() <= FlagsAt || (quint8(m_head[FlagsAt]) & FourCcFlag) == 0)
            return false;
        if (m_head.mid(FourCcAt, 4) != "DX10")
            return true;
        const int dxgi = m_head.size() > DxgiAt ? quint8(m_head[DxgiAt]) : 0;
        return (dxgi >= 70 && dxgi <= 84) || (dxgi >= 94 && dxgi <= 99);
    }
    return false;
}

QImage PictureFile::read(QString *error)
{
    QByteArray bytes(qsizetype(std::max(m_fileBytes, qint64(m_head.size()))), Qt::Uninitialized);
    std::copy(m_head.cbegin(), m_head.cend(), bytes.begin());
    qint64 got = m_head.size();
    m_head = QByteArray();
    while (got < bytes.size()) {
        const qint64 n = m_file.read(bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            setError(error, u"cannot read the file (%1)"_s.arg(m_file.errorString()));
            return {};
        }
        if (n == 0)
            break; // the file shrank while being read
        got += n;
    }
    m_file.close();
    bytes.truncate(qsizetype(got));
    return decodePicture(bytes, error);
}

QImage loadPicture(const QString &path, QString *error)
{
    PictureFile file;
    if (!file.open(path, error))
        return {};
    return file.read(error);
}

std::optional<base::StagedFile> stagePicture(const QImage &picture, const QString &path, QString *error,
                                             const formats::WriteOptions &options)
{
    const formats::Format *format = writerFor(path);
    if (!format) {
        const QString extension = pictureExtension(path);
        setError(error, extension.isEmpty() ? u"cannot write files without an extension"_s
                                            : u"cannot write files ending in .%1"_s.arg(extension));
        return std::nullopt;
    }
    if (picture.isNull()) {
        setError(error, formats::noPictureError());
        return std::nullopt;
    }
    // Vectors are not colours: a profile says nothing about them.
    const bool asGiven = format->keepsColourProfile || options.normalMap;
    const formats::Encoded encoded = format->encode(asGiven ? picture : inSrgb(picture), options);
    if (!encoded.error.isEmpty()) {
        setError(error, encoded.error);
        return std::nullopt;
    }
    return base::StagedFile::stage(path, encoded.bytes, error);
}

bool savePicture(const QImage &picture, const QString &path, QString *error, const formats::WriteOptions &options)
{
    std::optional<base::StagedFile> staged = stagePicture(picture, path, error, options);
    return staged && staged->commit(error) && base::flushFolder(QFileInfo(path).absolutePath(), error);
}

} // namespace morvane::convert
