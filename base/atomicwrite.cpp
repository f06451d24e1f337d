#include "base/atomicwrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace morvane::base {

namespace {

constexpr QLatin1StringView TemporaryPrefix = ".morvane-"_L1;
constexpr QLatin1StringView TemporarySuffix = ".tmp"_L1;
constexpr qsizetype TemporaryDigits = 16;

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// Writes all of bytes to fd; the errno of the failure, or 0.
int writeAll(int fd, QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(qMin<qsizetype>(left, qsizetype(1) << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        left -= n;
    }
    return 0;
}

QByteArray temporaryName()
{
    const QString digits = u"%1"_s.arg(QRandomGenerator::global()->generate64(), TemporaryDigits, 16, QChar(u'0'));
    return (TemporaryPrefix + digits + TemporarySuffix).toLatin1();
}

// Removes the temporary file called name in the folder open as dirFd when it
// is ours, left behind and not in use; true when it was removed.
bool removeIfLeftBehind(int dirFd, const char *name, std::time_t writtenBefore)
{
    struct stat seen {};
    if (::fstatat(dirFd, name, &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(seen.st_mode)
        || seen.st_uid != ::geteuid() || seen.st_mtime > writtenBefore)
        return false;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened {};
    // A write under way holds the lock until its rename; one that was killed
    // holds nothing. The name must still be the file that was checked.
    const bool leftBehind = ::fstat(fd, &opened) == 0 && opened.st_dev == seen.st_dev
                            && opened.st_ino == seen.st_ino && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    bool removed = false;
    if (leftBehind) {
        struct stat now {};
        removed = ::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == opened.st_dev
                  && now.st_ino == opened.st_ino && ::unlinkat(dirFd, name, 0) == 0;
    }
    ::close(fd);
    return removed;
}

} // namespace

bool isTemporaryFileName(QStringView name)
{
    if (name.size() != TemporaryPrefix.size() + TemporaryDigits + TemporarySuffix.size()
        || !name.startsWith(TemporaryPrefix) || !name.endsWith(TemporarySuffix))
        return false;
    const QStringView digits = name.mid(TemporaryPrefix.size(), TemporaryDigits);
    return std::all_of(digits.begin(), digits.end(),
                       [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); });
}

StagedFile::StagedFile(int fd, QByteArray temporary, QByteArray target)
    : m_fd(fd), m_temporary(std::move(temporary)), m_target(std::move(target))
{
}

StagedFile::StagedFile(StagedFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_temporary(std::move(other.m_temporary)),
      m_target(std::move(other.m_target))
{
}

StagedFile &StagedFile::operator=(StagedFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_fd = std::exchange(other.m_fd, -1);
        m_temporary = std::move(other.m_temporary);
        m_target = std::move(other.m_target);
    }
    return *this;
}

StagedFile::~StagedFile()
{
    discard();
}

void StagedFile::discard()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    ::unlink(m_temporary.constData());
    m_fd = -1;
}

std::optional<StagedFile> StagedFile::stage(const QString &path, QByteArrayView bytes, QString *error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        setError(error, u"cannot write the file: a folder has that name"_s);
        return std::nullopt;
    }
    if (!QFileInfo(info.absolutePath()).isDir()) {
        setError(error, u"cannot write the file: its folder does not exist"_s);
        return std::nullopt;
    }
    const QByteArray folder = QFile::encodeName(info.absolutePath()) + '/';

    // A short hidden name of our own beside the destination, so that any name
    // the destination may have leaves room for it; 0666 lets the umask decide
    // the permissions, as for any new file.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = folder + temporaryName();
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setError(error, u"cannot write the file (%1)"_s.arg(systemReason(errno)));
        return std::nullopt;
    }
    // Tells removeLeftTemporaryFiles that this one is in use; best effort.
    ::flock(fd, LOCK_EX | LOCK_NB);
    StagedFile staged(fd, temporary, QFile::encodeName(path));
    if (const int failure = writeAll(fd, bytes); failure != 0) {
        setError(error, u"cannot write the file (%1)"_s.arg(systemReason(failure)));
        return std::nullopt;
    }
#ifdef __linux__
    // Start the disk on this file now; by the time it is committed there is
    // little or nothing left to wait for.
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    return staged;
}

bool StagedFile::commit(QString *error)
{
    if (m_fd < 0) {
        setError(error, u"cannot write the file"_s);
        return false;
    }
    // A regular file that is replaced keeps its permissions, less the bits
    // that would let the new content run as its owner; a symbolic link is
    // replaced, not followed, so its target lends nothing.
    struct stat existing {};
    if (::lstat(m_target.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(m_fd, existing.st_mode & 0777); // best effort, as a copy would
    int failure = ::fdatasync(m_fd) == 0 ? 0 : errno;
    if (::close(std::exchange(m_fd, -1)) != 0 && failure == 0)
        failure = errno;
    // Between the close and the rename the file is unlocked, but so freshly
    // written that removeLeftTemporaryFiles leaves it alone.
    if (failure == 0 && ::rename(m_temporary.constData(), m_target.constData()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(m_temporary.constData());
        setError(error, u"cannot write the file (%1)"_s.arg(systemReason(failure)));
        return false;
    }
    return true;
}

bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error, FolderFlush folderFlush)
{
    std::optional<StagedFile> staged = StagedFile::stage(path, bytes, error);
    if (!staged || !staged->commit(error))
        return false;
    return folderFlush == FolderFlush::Later || flushFolder(QFileInfo(path).absolutePath(), error);
}

int removeLeftTemporaryFiles(const QString &folder, std::chrono::seconds olderThan)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return 0;
    const std::time_t writtenBefore = std::time(nullptr) - std::time_t(olderThan.count());
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, TemporaryPrefix.data(), size_t(TemporaryPrefix.size())) == 0
            && isTemporaryFileName(QString::fromLatin1(entry->d_name))
            && removeIfLeftBehind(dirFd, entry->d_name, writtenBefore))
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

bool flushFolder(const QString &folder, QString *error)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        setError(error, u"cannot reach the folder to save the names to disk (%1)"_s.arg(systemReason(errno)));
        return false;
    }
    int failure = ::fsync(fd) == 0 ? 0 : errno;
    // Some file systems cannot flush a folder by itself, and keep its
    // names safe by other means.
    if (failure == EINVAL || failure == ENOTSUP)
        failure = 0;
    ::close(fd);
    if (failure != 0) {
        setError(error, u"the names may not be saved to disk (%1)"_s.arg(systemReason(failure)));
        return false;
    }
    return true;
}

std::optional<bool> folderFoldsCase(const QString &folder)
{
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return std::nullopt;
    std::optional<bool> folds;
    for (int attempt = 0; !folds && attempt < 4; ++attempt) {
        const QByteArray name = temporaryName();
        const QByteArray otherSpelling = name.toUpper();
        struct stat seen {};
        if (::fstatat(dirFd, otherSpelling.constData(), &seen, AT_SYMLINK_NOFOLLOW) == 0)
            continue; // someone's file has that name already: try another
        const int fd = ::openat(dirFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        ::close(fd);
        folds = ::fstatat(dirFd, otherSpelling.constData(), &seen, AT_SYMLINK_NOFOLLOW) == 0;
        ::unlinkat(dirFd, name.constData(), 0);
    }
    ::close(dirFd);
    return folds;
}

} // namespace morvane::base
