// Listing a folder's files or sub-folders, and the natural order they are shown in.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane::base {

enum class EntryKind { Files, Folders };

// The names of the files or sub-folders of folder, hidden ones left out, in no
// particular order; nullopt when folder cannot be read.
std::optional<QStringList> listFolder(const QString &folder, EntryKind kind);

// Sorts names naturally and case-insensitively: tex2 before tex10, Stone beside stone.
void sortNaturally(QStringList &names);

// The names of folder's files that match pattern (see NamePattern), hidden
// ones left out, in natural order, as the file lists show them; nullopt
// when folder cannot be read.
std::optional<QStringList> listFiles(const QString &folder, const QString &pattern);

// The names of folder's sub-folders, hidden ones left out, in natural order,
// as the folder lists show them; nullopt when folder cannot be read.
std::optional<QStringList> listSubFolders(const QString &folder);

} // namespace morvane::base
