// Listing a folder's files or sub-folders, and the natural order they are shown in.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane::base {

enum class EntryKind { Files, Folders };

// Why a name is left out of every listing: a name whose bytes a QString
// cannot hold (see isFaithfulName) would open another file, or none.
inline constexpr char16_t NotUtf8Reason[] = u"name is not valid UTF-8";

// The names of the files or sub-folders of folder, hidden ones left out, in no
// particular order; nullopt when folder cannot be read. Names that are not
// valid UTF-8 are left out too; leftOut, when given, receives them escaped
// (see escapedName).
std::optional<QStringList> listFolder(const QString &folder, EntryKind kind, QStringList *leftOut = nullptr);

// Sorts names naturally and case-insensitively: tex2 before tex10, Stone beside stone.
void sortNaturally(QStringList &names);

// The names of folder's files that match pattern (see NamePattern), hidden
// ones and ones not valid UTF-8 left out, in natural order, as the file
// lists show them; nullopt when folder cannot be read. leftOut, when given,
// receives the escaped names of the matching files that are not valid UTF-8
// (matched as Qt decodes them), in natural order.
std::optional<QStringList> listFiles(const QString &folder, const QString &pattern, QStringList *leftOut = nullptr);

// The names of folder's sub-folders, hidden ones and ones not valid UTF-8
// left out, in natural order, as the folder lists show them; nullopt when
// folder cannot be read. leftOut, when given, receives the escaped names of
// the sub-folders that are not valid UTF-8, in natural order.
std::optional<QStringList> listSubFolders(const QString &folder, QStringList *leftOut = nullptr);

} // namespace morvane::base
