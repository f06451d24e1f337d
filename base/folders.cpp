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
};

#ifdef Q_OS_UNIX
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
        if (type == DT_REG)
            listing.files.append(QFile::decodeName(entry->d_name));
        else if (type == DT_DIR)
            listing.folders.append(QFile::decodeName(entry->d_name));
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

} // namespace

std::optional<QStringList> listFolder(const QString &folder, EntryKind kind)
{
    if (!isReadableFolder(folder))
        return std::nullopt;
    static RecentFolder recent;
    std::optional<Listing> listing = recent.read(folder);
    if (!listing)
        return std::nullopt;
    return kind == EntryKind::Files ? std::move(listing->files) : std::move(listing->folders);
}

std::optional<QStringList> listFiles(const QString &folder, const QString &pattern)
{
    auto names = listFolder(folder, EntryKind::Files);
    if (!names)
        return names;
    const NamePattern matcher(pattern);
    names->removeIf([&matcher](const QString &name) { return !matcher.matches(name); });
    sortNaturally(*names);
    return names;
}

std::optional<QStringList> listSubFolders(const QString &folder)
{
    auto names = listFolder(folder, EntryKind::Folders);
    if (names)
        sortNaturally(*names);
    return names;
}

} // namespace morvane::base
