#include "texcfg/texturelist.h"

#include "base/characters.h"

#include <QStringView>

namespace morvane::texcfg {

using namespace Qt::StringLiterals;

namespace {

constexpr QLatin1StringView CrLf = "\r\n"_L1;

} // namespace

QString FolderEntryName(const QString &entry, const QString &currentPath, QChar separator)
{
    QStringView rest = QStringView(entry).mid(base::unitsOfFirstCharacters(entry, base::characterCount(currentPath)));
    if (rest.startsWith(separator))
        rest = rest.mid(1);
    return rest.toString();
}

QString RemoveExtension(const QString &fileName)
{
    // Walk back over the last six characters; the first dot met decides.
    qsizetype end = fileName.size();
    for (int k = 1; k <= 6 && end > 0; ++k) {
        qsizetype start = end - 1;
        if (fileName[start].isLowSurrogate() && start > 0 && fileName[start - 1].isHighSurrogate())
            --start;
        if (fileName[start] == u'.')
            return fileName.left(start);
        end = start;
    }
    return fileName;
}

QString BuildTextureList(const QStringList &subFolderEntries, const QString &currentPath,
                         const QStringList &fileNames, TextureListOptions options, QChar separator)
{
    QString list;
    if (options.listFolders) {
        for (const QString &entry : subFolderEntries)
            list += FolderEntryName(entry, currentPath, separator) + CrLf;
    }
    if (!list.isEmpty() && !fileNames.isEmpty() && options.listFiles && options.listFolders)
        list += CrLf + "-----------"_L1 + CrLf + CrLf;
    if (options.listFiles) {
        qsizetype total = list.size();
        for (const QString &name : fileNames)
            total += name.size() + 2;
        list.reserve(total);
        for (const QString &name : fileNames) {
            list += options.removeExtensions ? RemoveExtension(name) : name;
            list += CrLf;
        }
    }
    if (list.size() > 2)
        list.chop(2);
    return list;
}

} // namespace morvane::texcfg
