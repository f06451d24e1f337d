#include "base/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace morvane::base {

Qt::CaseSensitivity fileNameCaseSensitivity()
{
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

bool isFolderOrMakeable(const QString &path)
{
    if (path.isEmpty())
        return false;
    QFileInfo info(QFileInfo(path).absoluteFilePath());
    while (!info.exists() && !info.isRoot() && info.absolutePath() != info.absoluteFilePath())
        info.setFile(info.absolutePath());
    return info.isDir();
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

bool isFaithfulName(QByteArrayView name)
{
    if (std::none_of(name.begin(), name.end(), [](char c) { return uchar(c) >= 0x80; }))
        return true;
    return QFile::encodeName(QFile::decodeName(name.toByteArray())) == name;
}

QString escapedName(QByteArrayView name)
{
    QString text;
    text.reserve(name.size());
    for (const char c : name) {
        if (uchar(c) >= 0x20 && uchar(c) < 0x7f)
            text += QLatin1Char(c);
        else
            text += u"\\x"_s + QString::number(uchar(c), 16).rightJustified(2, u'0');
    }
    return text;
}

} // namespace morvane::base
