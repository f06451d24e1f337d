// Times the converter's one durable point per run: a folder's images
// converted through convertEntries with and without the flush to disk after
// the last copy, each run on a fresh copy of the folder (flushed before the
// clock starts, so only the run's own writes are waiting), in turns.
//   durable_point [--rounds N] FOLDER DEST-FORMAT   e.g. corpus/512/jpg .bmp
// The copies are made beside FOLDER, on its file system. Prints the median
// run with and without the flush, their ratio, the flush's own median time,
// and how long the same flush takes when it is done after a run without it.
#include "convert/allocator.h"
#include "convert/conversion.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace morvane::convert;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Puts everything waiting on folder's volume onto the disk, so that a timed
// run starts with nothing of others' left to write.
void flushVolume(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0)
        qFatal("cannot flush %s", qPrintable(folder));
    ::close(fd);
}

struct Timing {
    double run = 0;   // the whole run, flush included when there is one
    double flush = 0; // the flush: inside the run, or just after a run without it
};

// One run on a fresh copy of entries of source, made in a folder beside it.
Timing timeRun(const QDir &source, const QStringList &entries, const QString &destText, bool durable)
{
    QTemporaryDir work(source.absoluteFilePath(u"../durable-point-XXXXXX"_s));
    if (!work.isValid())
        qFatal("cannot make a folder beside %s", qPrintable(source.path()));
    for (const QString &entry : entries) {
        if (!QFile::copy(source.filePath(entry), work.filePath(entry)))
            qFatal("cannot copy %s", qPrintable(entry));
    }
    QString error;
    flushVolume(work.path());

    Timing timing;
    ConversionOptions options;
    if (durable) {
        options.makeDurable = [&timing](const QString &folder, QString *flushError) {
            QElapsedTimer flush;
            flush.start();
            const bool flushed = morvane::base::flushFolder(folder, flushError);
            timing.flush = msSince(flush);
            return flushed;
        };
    } else {
        options.makeDurable = nullptr;
    }
    QElapsedTimer run;
    run.start();
    const ConversionReport report = convertEntries(work.path(), entries, destText, options);
    timing.run = msSince(run);
    if (report.saved != int(entries.size()) || !report.durabilityError.isEmpty())
        qFatal("the run did not save every image: %s", qPrintable(reportMessage(report)));
    if (!durable) {
        QElapsedTimer flush;
        flush.start();
        morvane::base::flushFolder(work.path(), &error);
        timing.flush = msSince(flush);
    }
    return timing;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    keepPictureBuffers();

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Times a run with and without its flush to disk."_s);
    parser.addHelpOption();
    const QCommandLineOption roundsOption(u"rounds"_s, u"Runs of each kind (default 5)."_s, u"N"_s, u"5"_s);
    parser.addOption(roundsOption);
    parser.addPositionalArgument(u"FOLDER"_s, u"A folder of images, all of which are converted."_s);
    parser.addPositionalArgument(u"DEST-FORMAT"_s, u"The destination, e.g. .bmp."_s);
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    bool roundsOk = false;
    const int rounds = parser.value(roundsOption).toInt(&roundsOk);
    if (arguments.size() != 2 || !roundsOk || rounds < 1) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    const QDir source(arguments[0]);
    const QStringList entries = source.entryList(QDir::Files, QDir::Name);
    if (entries.isEmpty()) {
        std::fprintf(stderr, "no files in %s\n", qPrintable(arguments[0]));
        return 2;
    }

    std::vector<double> with, without, flushInside, flushAfter;
    for (int round = 0; round < rounds; ++round) {
        // In turns, so that neither kind always runs on a warmer disk.
        for (const bool durable : {round % 2 == 0, round % 2 != 0}) {
            const Timing timing = timeRun(source, entries, arguments[1], durable);
            (durable ? with : without).push_back(timing.run);
            (durable ? flushInside : flushAfter).push_back(timing.flush);
        }
    }
    const double runWith = median(with), runWithout = median(without), flush = median(flushInside);
    std::printf("%lld images, %d rounds: run %.1f ms with the durable point, %.1f ms without (x %.3f); "
                "the flush %.1f ms (%.1f%% of the run, %.2f ms an image); the same flush after a run without it "
                "%.1f ms\n",
                qlonglong(entries.size()), rounds, runWith, runWithout, runWithout > 0 ? runWith / runWithout : 0.0,
                flush, runWith > 0 ? 100 * flush / runWith : 0.0, flush / double(entries.size()),
                median(flushAfter));
    return 0;
}
