// Where one image's time goes when a folder is converted one image at a
// time: read, decode, convert (to the rows the encoder takes), encode,
// write (the temporary file, its disk write started), flush (waiting for
// its data to be on disk), rename, and the flush of the folder's names once
// at the end, each summed over the folder's images and shown per image, the
// best of several rounds. As the converter does, a copy's data is waited for
// and renamed only once the next image is encoded, so the disk works on it
// in the meantime. The copies go to the folder given as OUT, by default one
// in the temporary folder (on the volume of the real copies for real figures).
//   bench_stages FOLDER FROM TO [ROUNDS [OUT]]   e.g. bench_stages corpus/512/png png jpg
#include "convert/formats/rows.h"
#include "convert/picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <array>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FOLDER FROM TO [ROUNDS [OUT]]\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString from = QString::fromLocal8Bit(argv[2]), to = QString::fromLocal8Bit(argv[3]);
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
    const QStringList names = folder.entryList({u"*."_s + from}, QDir::Files, QDir::Name);
    const morvane::formats::Format *format = morvane::convert::writerFor(u'.' + to);
    if (names.isEmpty() || !format) {
        std::fprintf(stderr, "no %s files, or no writer for %s\n", argv[2], argv[3]);
        return 2;
    }
    const QString out = argc > 5 ? QString::fromLocal8Bit(argv[5]) + u"/morvane-stages"_s
                                 : QDir::temp().filePath(u"morvane-stages"_s);
    QDir().mkpath(out);

    constexpr const char *Stages[] = {"read", "decode", "convert", "encode", "write", "flush", "rename", "folder"};
    enum { Read, Decode, Convert, Encode, Write, Flush, Rename, Folder, Count };
    std::array<qint64, Count> best {};
    best.fill(-1);
    for (int round = 0; round < rounds; ++round) {
        std::array<qint64, Count> sum {};
        QElapsedTimer clock;
        // The copy written last, waiting for its flush and rename.
        int waiting = -1;
        QByteArray waitingTemporary, waitingTarget;
        const auto commitWaiting = [&] {
            if (waiting < 0)
                return true;
            clock.start();
            const bool flushed = ::fdatasync(waiting) == 0;
            ::close(waiting);
            waiting = -1;
            sum[Flush] += clock.nsecsElapsed();
            clock.start();
            const bool renamed = ::rename(waitingTemporary.constData(), waitingTarget.constData()) == 0;
            sum[Rename] += clock.nsecsElapsed();
            return flushed && renamed;
        };
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString &name = names[i];
            clock.start();
            QFile file(folder.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = file.readAll();
            sum[Read] += clock.nsecsElapsed();
            clock.start();
            QString error;
            const QImage picture = morvane::convert::decodePicture(bytes, &error);
            sum[Decode] += clock.nsecsElapsed();
            clock.start();
            const QImage rows = morvane::formats::inRowFormat(picture);
            sum[Convert] += clock.nsecsElapsed();
            clock.start();
            const morvane::formats::Encoded encoded = format->encode(rows, {});
            sum[Encode] += clock.nsecsElapsed();
            if (!commitWaiting())
                return 1;
            clock.start();
            const QByteArray temporary = QFile::encodeName(out + u"/.stage%1.tmp"_s.arg(i % 2));
            const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0 || ::write(fd, encoded.bytes.constData(), size_t(encoded.bytes.size())) != encoded.bytes.size())
                return 1;
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            sum[Write] += clock.nsecsElapsed();
            waiting = fd;
            waitingTemporary = temporary;
            waitingTarget = QFile::encodeName(out + u'/' + name.chopped(from.size()) + to);
        }
        if (!commitWaiting())
            return 1;
        clock.start();
        const int dir = ::open(QFile::encodeName(out).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0 || ::fsync(dir) != 0)
            return 1;
        ::close(dir);
        sum[Folder] += clock.nsecsElapsed();
        for (size_t s = 0; s < sum.size(); ++s)
            best[s] = best[s] < 0 ? sum[s] : std::min(best[s], sum[s]);
    }
    qint64 total = 0;
    for (const qint64 t : best)
        total += t;
    std::printf("| stage | µs per image | share |\n|---|---|---|\n");
    for (size_t s = 0; s < best.size(); ++s)
        std::printf("| %s | %.0f | %.0f %% |\n", Stages[s], double(best[s]) / 1e3 / double(names.size()),
                    100.0 * double(best[s]) / double(total));
    std::printf("| all | %.0f | |\n", double(total) / 1e3 / double(names.size()));
    QDir(out).removeRecursively();
    return 0;
}
