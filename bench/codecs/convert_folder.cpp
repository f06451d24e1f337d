// Converts every image of a folder through the converter's own code and
// tells what became of each:
//   morvane-convert-folder [--threads N] [--only PATTERN] FOLDER DESTTEXT
// The base name is the file name without its last four characters; the
// suffix is the first four characters of DESTTEXT. One line per file
// ("ok", "replaced", "skipped" or "failed", the name, the reason), then a
// summary.
// Exit status: 0 when nothing failed, 1 when something did, 2 on bad usage.

#include "convert/allocator.h"
#include "convert/conversion.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace morvane::convert;

namespace {

const char *outcomeWord(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Saved: return "ok";
    case Outcome::Replaced: return "replaced";
    case Outcome::Skipped: return "skipped";
    case Outcome::Failed: return "failed";
    }
    return "failed";
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures of metafiles are drawn with fonts, which need a platform;
    // no window is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    morvane::convert::keepPictureBuffers();

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Converts every image of FOLDER into copies named by DESTTEXT."_s);
    parser.addHelpOption();
    const QCommandLineOption threadsOption(u"threads"_s, u"Worker threads (1 converts one after another; 0 takes one per core)."_s,
                                           u"N"_s, u"0"_s);
    const QCommandLineOption onlyOption(u"only"_s, u"Convert only the files whose names match PATTERN, e.g. *.jpg."_s,
                                        u"PATTERN"_s);
    parser.addOption(threadsOption);
    parser.addOption(onlyOption);
    parser.addPositionalArgument(u"FOLDER"_s, u"The folder of the images; the copies are written there too."_s);
    parser.addPositionalArgument(u"DESTTEXT"_s, u"The destination, e.g. .bmp; its first four characters end each copy's name."_s);
    parser.process(app);

    const QStringList arguments = parser.positionalArguments();
    bool threadsOk = false;
    const int threads = parser.value(threadsOption).toInt(&threadsOk);
    if (arguments.size() != 2 || !threadsOk) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    const QString folder = arguments[0];
    QDir dir(folder);
    if (!dir.exists()) {
        std::fprintf(stderr, "no such folder: %s\n", qPrintable(folder));
        return 2;
    }
    if (parser.isSet(onlyOption))
        dir.setNameFilters({parser.value(onlyOption)});
    const QStringList entries = dir.entryList(QDir::Files, QDir::Name);

    ConversionOptions options;
    options.threads = threads;
    QElapsedTimer timer;
    timer.start();
    const ConversionReport report = convertEntries(QDir::cleanPath(dir.absolutePath()), entries, arguments[1], options);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;

    for (const EntryResult &entry : report.entries)
        std::printf("%s\t%s\t%s\n", outcomeWord(entry.outcome), qPrintable(entry.entry), qPrintable(entry.reason));
    if (!report.durabilityError.isEmpty())
        std::printf("%s\n", qPrintable(report.durabilityError));
    std::printf("saved %d, replaced %d, skipped %d, failed %d of %d in %.3f s (%.1f images/s), %s\n", report.saved,
                report.replaced, report.skipped, report.failed, report.total(), seconds,
                seconds > 0 ? report.total() / seconds : 0.0, report.parallel ? "in parallel" : "one after another");
    return report.failed > 0 || !report.durabilityError.isEmpty() ? 1 : 0;
}
