#include "convert/atomicwrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace morvane::convert {

namespace {

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

} // namespace

bool writeFileAtomically(const QString &path, QByteArrayView bytes, QString *error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        setError(error, u"cannot write the file: a folder has that name"_s);
        return false;
    }
    if (!QFileInfo(info.absolutePath()).isDir()) {
        setError(error, u"cannot write the file: its folder does not exist"_s);
        return false;
    }
    const QByteArray target = QFile::encodeName(path);

    // A hidden name of our own beside the destination; 0666 lets the umask
    // decide the permissions, as for any new file.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = QFile::encodeName(info.absolutePath() + u"/."_s + info.fileName() + u'.'
                                      + QString::number(QRandomGenerator::global()->generate(), 36) + u".tmp"_s);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setError(error, u"cannot write the file (%1)"_s.arg(systemReason(errno)));
        return false;
    }

    int failure = writeAll(fd, bytes);
    struct stat existing {};
    if (failure == 0 && ::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777); // best effort, as a copy would
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.constData());
        setError(error, u"cannot write the file (%1)"_s.arg(systemReason(failure)));
        return false;
    }
    return true;
}

} // namespace morvane::convert
