// Where one image's time goes when a folder is converted one image at a
// time: read, decode, convert (to the rows the encoder takes), encode,
// write (the temporary file) and rename, each summed over the folder's
// images and shown per image, the best of several rounds.
//   bench_stages FOLDER FROM TO [ROUNDS]     e.g. bench_stages corpus/512/png png jpg
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
        std::fprintf(stderr, "usage: %s FOLDER FROM TO [ROUNDS]\n", argv[0]);
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
    const QString out = QDir::temp().filePath(u"morvane-stages"_s);
    QDir().mkpath(out);

    constexpr const char *Stages[] = {"read", "decode", "convert", "encode", "write", "rename"};
    std::array<qint64, 6> best {};
    best.fill(-1);
    for (int round = 0; round < rounds; ++round) {
        std::array<qint64, 6> sum {};
        QElapsedTimer clock;
        for (const QString &name : names) {
            clock.start();
            QFile file(folder.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = file.readAll();
            sum[0] += clock.nsecsElapsed();
            clock.start();
            QString error;
            const QImage picture = morvane::convert::decodePicture(bytes, &error);
            sum[1] += clock.nsecsElapsed();
            clock.start();
            const QImage rows = morvane::formats::inRowFormat(picture);
            sum[2] += clock.nsecsElapsed();
            clock.start();
            const morvane::formats::Encoded encoded = format->encode(rows, {});
            sum[3] += clock.nsecsElapsed();
            clock.start();
            const QByteArray temporary = QFile::encodeName(out + u"/.stage.tmp"_s);
            const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0 || ::write(fd, encoded.bytes.constData(), size_t(encoded.bytes.size())) != encoded.bytes.size())
                return 1;
            ::close(fd);
            sum[4] += clock.nsecsElapsed();
            clock.start();
            const QByteArray target = QFile::encodeName(out + u'/' + name.chopped(from.size()) + to);
            if (::rename(temporary.constData(), target.constData()) != 0)
                return 1;
            sum[5] += clock.nsecsElapsed();
        }
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
