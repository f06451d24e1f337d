#include "base/folders.h"

#include "base/namepattern.h"
#include "base/paths.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#endif

#include <optional>
#include <utility>

namespace morvane::base {

namespace {

struct Listing {
    QStringList files;
    QStringList folders;
    // The names that are not valid UTF-8, as the folder holds them.
    QList<QByteArray> unfaithfulFiles;
    QList<QByteArray> unfaithfulFolders;
};

#ifdef Q_OS_UNIX
// True when name, decoded as decoded, comes back as the same bytes. The
// scan for bytes past ASCII keeps plain names from the round trip.
bool decodedFaithfully(const char *name, const QString &decoded)
{
    const char *c = name;
    while (*c && uchar(*c) < 0x80)
        ++c;
    return !*c || QFile::encodeName(decoded) == QByteArrayView(name);
}

// A folder's files and sub-folders in one pass, hidden ones left out.
std::optional<Listing> readFolder(const QString &folder)
{
    // readdir's entry types save a stat per name, which matters for folders of
    // many thousand files; only symbolic links and unknown types are looked up.
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return std::nullopt;
    const int fd = ::dirfd(dir);
    Listing listing;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') // hidden, and the "." and ".." entries
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat info;
            if (::fstatat(fd, entry->d_name, &info, 0) != 0)
                continue; // a dangling link
            type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type != DT_REG && type != DT_DIR)
            continue;
        QString name = QFile::decodeName(entry->d_name);
        if (!decodedFaithfully(entry->d_name, name))
            (type == DT_REG ? listing.unfaithfulFiles : listing.unfaithfulFolders).append(QByteArray(entry->d_name));
        else
            (type == DT_REG ? listing.files : listing.folders).append(std::move(name));
    }
    ::closedir(dir);
    return listing;
}

// What tells a folder's entries changed: any change of them moves its
// modification time.
struct FolderState {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified {};
    timespec changed {};
    bool operator==(const FolderState &o) const
    {
        return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec
               && modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec
               && changed.tv_nsec == o.changed.tv_nsec;
    }
};

std::optional<FolderState> stateOf(const QString &folder)
{
    struct stat info;
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return std::nullopt;
    return FolderState{info.st_dev, info.st_ino, info.st_mtim, info.st_ctim};
}

// The last folder read, kept for a moment. Opening a folder lists it two or
// three times in a row (the folder list, then the file lists that follow
// it); they share one pass over it. A reading is used again only within a
// second, while the folder's state is unchanged, and only when the folder
// had not changed for two seconds before it was read, so that a change even
// within one tick of a coarse clock shows.
class RecentFolder {
public:
    std::optional<Listing> read(const QString &folder)
    {
        const std::optional<FolderState> before = stateOf(folder);
        {
            const QMutexLocker lock(&m_mutex);
            if (m_listing && m_folder == folder && before && m_state == *before && m_readAt.isValid()
                && !m_readAt.hasExpired(KeptForMs))
                return m_listing;
        }
        std::optional<Listing> listing = readFolder(folder);
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const QMutexLocker lock(&m_mutex);
        m_listing.reset();
        if (listing && before && now.tv_sec - before->modified.tv_sec >= QuietForSeconds) {
            m_folder = folder;
            m_state = *before;
            m_listing = listing;
            m_readAt.start();
        }
        return listing;
    }

private:
    static constexpr qint64 KeptForMs = 1000;
    static constexpr time_t QuietForSeconds = 2;

    QMutex m_mutex;
    QString m_folder;
    FolderState m_state;
    std::optional<Listing> m_listing;
    QElapsedTimer m_readAt;
};
#else
std::optional<Listing> readFolder(const QString &folder)
{
    Listing listing;
    for (const auto &[filters, names] : {std::pair{QDir::Files, &listing.files}, std::pair{QDir::Dirs, &listing.folders}}) {
        QDirIterator it(folder, filters | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            it.next();
            names->append(it.fileName());
        }
    }
    return listing;
}

class RecentFolder {
public:
    std::optional<Listing> read(const QString &folder) { return readFolder(folder); }
};
#endif

std::optional<Listing> readRecently(const QString &folder)
{
    if (!isReadableFolder(folder))
        return std::nullopt;
    static RecentFolder recent;
    return recent.read(folder);
}

// The escaped forms of the names that keep passes, in natural order.
template <typename Keep>
QStringList escapedNames(const QList<QByteArray> &names, Keep keep)
{
    QStringList escaped;
    for (const QByteArray &name : names) {
        if (keep(name))
            escaped.append(escapedName(name));
    }
    sortNaturally(escaped);
    return escaped;
}

} // namespace

std::optional<QStringList> listFolder(const QString &folder, EntryKind kind, QStringList *leftOut)
{
    std::optional<Listing> listing = readRecently(folder);
    if (!listing)
        return std::nullopt;
    const bool files = kind == EntryKind::Files;
    if (leftOut) {
        *leftOut = escapedNames(files ? listing->unfaithfulFiles : listing->unfaithfulFolders,
                                [](const QByteArray &) { return true; });
    }
    return files ? std::move(listing->files) : std::move(listing->folders);
}

std::optional<QStringList> listFiles(const QString &folder, const QString &pattern, QStringList *leftOut)
{
    std::optional<Listing> listing = readRecently(folder);
    if (!listing)
        return std::nullopt;
    const NamePattern matcher(pattern);
    QStringList names = std::move(listing->files);
    names.removeIf([&matcher](const QString &name) { return !matcher.matches(name); });
    sortNaturally(names);
    if (leftOut) {
        *leftOut = escapedNames(listing->unfaithfulFiles,
                                [&](const QByteArray &name) { return matcher.matches(QFile::decodeName(name)); });
    }
    return names;
}

std::optional<QStringList> listSubFolders(const QString &folder, QStringList *leftOut)
{
    auto names = listFolder(folder, EntryKind::Folders, leftOut);
    if (names)
        sortNaturally(*names);
    return names;
}

} // namespace morvane::base
