// The texture list: the names "Apply" lists, one per line, joined by CR LF.
#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace morvane::texcfg {

struct TextureListOptions {
    bool listFolders = false;
    bool listFiles = true;
    bool removeExtensions = false;
};

// Folder lines, a separator block when both groups are present, then file
// lines, joined by CR LF with none after the last line (a lone empty line is CR LF).
QString BuildTextureList(const QStringList &subFolderEntries, const QString &currentPath,
                         const QStringList &fileNames, TextureListOptions options,
                         QChar separator = QDir::separator());

// entry without as many characters as currentPath has, and without one
// leading separator after them: the sub-folder's own name.
QString FolderEntryName(const QString &entry, const QString &currentPath, QChar separator = QDir::separator());

// fileName without its last dot and what follows it, when at most five
// characters follow that dot; otherwise fileName unchanged.
QString RemoveExtension(const QString &fileName);

} // namespace morvane::texcfg
