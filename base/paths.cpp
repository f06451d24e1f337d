#include "base/paths.h"

#include <QDir>
#include <QFileInfo>

namespace morvane::base {

Qt::CaseSensitivity fileNameCaseSensitivity()
{
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

bool isReadableFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable())
        return false;
#ifndef Q_OS_WIN
    if (!info.isExecutable())
        return false;
#endif
    return QDir(path).isReadable();
}

QString normalFolderPath(const QString &path)
{
    if (path.isEmpty())
        return path; // names no folder, not the current one
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    return QDir::toNativeSeparators(clean);
}

QString joinPath(const QString &folder, const QString &name)
{
    const QChar sep = QDir::separator();
    if (folder.endsWith(sep))
        return folder + name;
    return folder + sep + name;
}

} // namespace morvane::base
