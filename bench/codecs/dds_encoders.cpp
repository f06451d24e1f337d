// Converts a folder's JPEG files into DDS copies beside them with one of the
// DDS writer's colour block packers, on one thread or one per core, so that
// bench/codecs/dds-encoders.sh can time and measure each beside ImageMagick.
//   bench_dds_encoders FIT KIND THREADS FOLDER
// FIT: stb, stb-hq, squish-range, squish-cluster; KIND: bc1 or bc3;
// THREADS: 1, or 0 for one per core. Reads, decodes, encodes and writes
// each picture, as a converter does, without the atomic replacement.
#include "convert/formats/ddswrite.h"
#include "convert/picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using morvane::formats::WriteOptions;
using morvane::formats::ddsfile::ColourFit;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s stb|stb-hq|squish-range|squish-cluster bc1|bc3 THREADS FOLDER\n", argv[0]);
        return 2;
    }
    const std::pair<const char *, ColourFit> fits[] = {{"stb", ColourFit::Stb},
                                                       {"stb-hq", ColourFit::StbHighQuality},
                                                       {"squish-range", ColourFit::SquishRange},
                                                       {"squish-cluster", ColourFit::SquishCluster}};
    const auto fit = std::find_if(std::begin(fits), std::end(fits),
                                  [&](const auto &f) { return std::strcmp(f.first, argv[1]) == 0; });
    WriteOptions options;
    if (std::strcmp(argv[2], "bc1") == 0)
        options.ddsKind = WriteOptions::DdsKind::Bc1;
    else if (std::strcmp(argv[2], "bc3") == 0)
        options.ddsKind = WriteOptions::DdsKind::Bc3;
    if (fit == std::end(fits) || options.ddsKind == WriteOptions::DdsKind::Auto) {
        std::fprintf(stderr, "unknown packer %s or kind %s\n", argv[1], argv[2]);
        return 2;
    }
    int threads = std::atoi(argv[3]);
    if (threads <= 0)
        threads = QThread::idealThreadCount();
    const QDir folder(QString::fromLocal8Bit(argv[4]));
    const QStringList names = folder.entryList({u"*.jpg"_s}, QDir::Files, QDir::Name);

    std::atomic<qsizetype> next = 0;
    std::atomic<int> failed = 0;
    const auto work = [&] {
        for (qsizetype i = next++; i < names.size(); i = next++) {
            QString error;
            const QImage picture = morvane::convert::loadPicture(folder.filePath(names[i]), &error);
            const auto encoded = morvane::formats::ddsfile::encodeWith(picture, options, fit->second);
            QFile out(folder.filePath(names[i].chopped(3) + u"dds"_s));
            if (picture.isNull() || !encoded.error.isEmpty() || !out.open(QIODevice::WriteOnly)
                || out.write(encoded.bytes) != encoded.bytes.size())
                ++failed;
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back(work);
    work();
    for (std::thread &worker : workers)
        worker.join();
    if (failed > 0)
        std::fprintf(stderr, "%d pictures failed\n", failed.load());
    return failed > 0 ? 1 : 0;
}
