#include "bmpvariants.h"

#include "fixtures.h"

#include <QDir>

namespace fixtures {

QList<BmpVariant> bmpVariants()
{
    QList<BmpVariant> out;
    const QDir dir(QStringLiteral(MORVANE_BMP_VARIANTS));
    for (const QFileInfo &file : dir.entryInfoList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name)) {
        const QString name = file.completeBaseName();
        const QImage expected(dir.filePath(name + QStringLiteral(".png")));
        out.append({name.toUtf8(), readFile(file.filePath()), expected.convertToFormat(QImage::Format_ARGB32)});
    }
    return out;
}

} // namespace fixtures
