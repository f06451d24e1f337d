#include "convert/picture.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

// First cut over Qt's own readers and writers; the dedicated codecs replace it.
namespace morvane::convert {

QImage loadPicture(const QString &path, QString *error)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QImage picture = reader.read();
    if (picture.isNull() && error)
        *error = reader.errorString();
    return picture;
}

bool savePicture(const QImage &picture, const QString &path, QString *error)
{
    QImageWriter writer(path, QFileInfo(path).suffix().toLatin1());
    if (writer.write(picture))
        return true;
    if (error)
        *error = writer.errorString();
    return false;
}

} // namespace morvane::convert
