// Loading and saving pictures: the format of a file read is told by its
// content, the format of a file written by its name's extension.
#pragma once

#include "base/atomicwrite.h"
#include "convert/formats/format.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <optional>

namespace morvane::convert {

// A picture file opened for reading: the start of it is read first, so its
// size and the picture size its header declares are known, and a picture
// past the limits is refused, before the rest is read.
class PictureFile
{
public:
    // False and *error set when path is no regular file, cannot be opened or
    // read, is larger than any picture within the limits needs, or declares
    // a picture past them.
    bool open(const QString &path, QString *error);
    qint64 fileBytes() const { return m_fileBytes; }
    // Invalid when the header does not tell it (see formats::Format).
    QSize declaredSize() const { return m_declared; }
    // Whether the file's start is that of a format this program reads.
    bool looksLikePicture() const { return m_format != nullptr; }
    // Whether its format keeps less than the picture it was made from: JPEG,
    // lossy WebP, block-compressed DDS, and GIF with its 256 colours.
    bool lossy() const;
    // The picture, its format told by the content: reads the rest of the
    // file once; a null image and *error set when it cannot be read.
    QImage read(QString *error);

private:
    QFile m_file;
    QByteArray m_head;
    qint64 m_fileBytes = 0;
    QSize m_declared;
    const formats::Format *m_format = nullptr;
};

// The picture in the file at path, its format told by the content, not the
// name; a null image and *error set, in words a user understands, when it
// cannot be read.
QImage loadPicture(const QString &path, QString *error);

// Writes picture to path in the format its extension names, as options say;
// the file is replaced whole or left untouched. A picture with a colour
// profile that format cannot hold is written converted to sRGB (a normal map
// is written as it is). False and *error set on failure. The copy's data is
// on disk when it returns true, and its name too.
bool savePicture(const QImage &picture, const QString &path, QString *error,
                 const formats::WriteOptions &options = {});

// The file savePicture writes, staged beside path and not yet in place (see
// base::StagedFile); nullopt and *error set on failure.
std::optional<base::StagedFile> stagePicture(const QImage &picture, const QString &path, QString *error,
                                             const formats::WriteOptions &options = {});

// The picture held in data, as loadPicture reads a file's content.
QImage decodePicture(QByteArrayView data, QString *error);

// The extension of the last component of path, after its last dot, as
// written ("JPG" for "a/b.c/photo.JPG"); empty when there is none.
QString pictureExtension(const QString &path);

// Every format, in the order their content checks are tried.
const QList<const formats::Format *> &pictureFormats();

// The format a copy named name is written in, told by its extension in any
// letter case; name may be a path or a bare suffix (".jpg"). Null when no
// format is written under it.
const formats::Format *writerFor(const QString &name);

// The suffixes copies can be written under, the usual one of each format
// that writes, in alphabetical order: ".bmp", ".dds", ...
QStringList writtenSuffixes();

} // namespace morvane::convert
