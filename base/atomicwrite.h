// Replacing a file whole or not at all and on disk, clearing up after writes
// that were cut short, and asking a folder's volume how it compares names.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>

namespace morvane::base {

// A file's new content written under a temporary name beside it, on its way
// to the disk, and not yet in place: commit() puts it there, and one that is
// dropped uncommitted is removed, leaving the file as it was. The temporary
// file has a short hidden name of its own (isTemporaryFileName) whatever the
// length of the destination's, and is locked until it is committed.
class StagedFile {
public:
    StagedFile(StagedFile &&other) noexcept;
    StagedFile &operator=(StagedFile &&other) noexcept;
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;
    ~StagedFile();

    // Writes bytes to a new temporary file in path's folder and starts the
    // disk on it without waiting; nullopt and *error set when it cannot.
    static std::optional<StagedFile> stage(const QString &path, QByteArrayView bytes, QString *error);

    // Waits until the data is on disk and renames it over the destination.
    // A replaced regular file's permission bits are kept (not set-user-ID,
    // set-group-ID or sticky); a new file, or one that replaces a symbolic
    // link, has those of any new file (0666 less the umask): a link's target
    // lends nothing. The new name is on disk once the folder is flushed
    // (flushFolder). On failure the temporary file is removed, the
    // destination is left as it was and *error says why. Once only.
    bool commit(QString *error);

private:
    StagedFile(int fd, QByteArray temporary, QByteArray target);
    void discard();

    int m_fd = -1;
    QByteArray m_temporary;
    QByteArray m_target;
};

// When the folder's record of a replaced name is forced to disk.
enum class FolderFlush {
    Now,   // before writeFileAtomically returns
    Later, // by the caller, once for many files (flushFolder)
};

// Replaces path's content with bytes whole or not at all: staged and
// committed (StagedFile). With FolderFlush::Now the new name is on disk too
// when it returns true; with Later only once the caller's flushFolder
// succeeds. False and *error set on failure, path left as it was.
bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error,
                         FolderFlush folderFlush = FolderFlush::Now);

// True when name is one that writeFileAtomically gives its temporary files:
// ".morvane-", sixteen lowercase hexadecimal digits and ".tmp".
bool isTemporaryFileName(QStringView name);

// Removes the temporary files that writes cut short (a killed program) left
// in folder: regular files with our temporary names only, owned by this
// user, last written at least olderThan ago, and not locked by a write under
// way. Returns how many were removed; anything it cannot check is left alone.
int removeLeftTemporaryFiles(const QString &folder,
                             std::chrono::seconds olderThan = std::chrono::minutes(10));

// Forces folder's own record (the names written and renamed in it) onto the
// disk; the files' data is each file's own business. False and *error set
// when the system reports that it could not.
bool flushFolder(const QString &folder, QString *error);

// Whether folder's volume takes names that differ only in letter case as one
// (exFAT, FAT, case-insensitive NTFS or ext4 folders): told by creating a
// temporary file there and looking for it under another spelling; nullopt
// when that cannot be tried (a folder that cannot be written to).
std::optional<bool> folderFoldsCase(const QString &folder);

} // namespace morvane::base
