// Reading folders for the file-system list controls: which names are listed,
// in which order, and how paths are joined.
#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>

namespace morvane::ui {

// A file-name pattern: "*" any run of characters, "?" one character, several
// patterns separated by ";". Matching ignores case. An empty pattern matches nothing.
class NamePattern {
public:
    explicit NamePattern(const QString &pattern);
    bool matches(const QString &name) const;

private:
    QList<QRegularExpression> m_parts;
};

// How the file system compares names.
#ifdef Q_OS_WIN
inline constexpr Qt::CaseSensitivity fileNameCase = Qt::CaseInsensitive;
#else
inline constexpr Qt::CaseSensitivity fileNameCase = Qt::CaseSensitive;
#endif

enum class EntryKind { Files, Folders };

// The names of the files or sub-folders of folder, hidden ones left out, in no
// particular order; nullopt when folder cannot be read.
std::optional<QStringList> listFolder(const QString &folder, EntryKind kind);

// Sorts names naturally and case-insensitively: tex2 before tex10, Stone beside stone.
void sortNaturally(QStringList &names);

// True when path names a folder whose entries this process may list.
bool isReadableFolder(const QString &path);

// The absolute, clean form of path with the platform's separators; at a
// drive's root it ends in a separator, elsewhere it does not; empty for an empty path.
QString normalFolderPath(const QString &path);

// folder, the platform's separator unless folder already ends in one, and name.
QString joinPath(const QString &folder, const QString &name);

} // namespace morvane::ui
