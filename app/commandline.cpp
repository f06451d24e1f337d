#include "app/commandline.h"

#include "appinfo.h"
#include "base/atomicwrite.h"
#include "base/folders.h"
#include "base/paths.h"
#include "convert/allocator.h"
#include "convert/conversion.h"
#include "convert/picture.h"
#include "texcfg/cfgcontent.h"
#include "texcfg/defaults.h"
#include "texcfg/mask.h"
#include "texcfg/texturelist.h"

#include <QCommandLineParser>
#include <QDir>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <atomic>
#include <csignal>
#include <cstdio>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace morvane::app {

namespace {

// Exit statuses: a failure of some entry, bad input, and a run the user stopped.
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitInterrupted = 130;
// A conversion shows its progress on a terminal once it has run this long.
constexpr qint64 ProgressAfterMs = 500;

const QString ProgramName = u"morvane"_s;

void print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
}

int usageError(const QString &command, const QString &message)
{
    print(stderr, ProgramName + (command.isEmpty() ? QString() : u' ' + command) + u": "_s + message + u'\n');
    return ExitUsage;
}

QString usage()
{
    return uR"(Usage: morvane [FOLDER]
       morvane cfg [OPTIONS] FOLDER
       morvane convert --to SUFFIX [OPTIONS] FOLDER

Without a command, opens the main window in FOLDER (or the current folder).
  cfg      prints the cfg content that "Apply" then "Go!" make for FOLDER
  convert  converts FOLDER's images into copies, as "Convert all images" does

"morvane cfg --help" and "morvane convert --help" tell their options.
--help shows this text, --version the version.
)"_s;
}

// A parser with --help and the given command's positional FOLDER.
void addCommon(QCommandLineParser &parser, const QString &folderHelp)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addPositionalArgument(u"FOLDER"_s, folderHelp);
}

// Parses arguments (the program, the command, its arguments); the exit status
// when the command must stop here (help, or an error reported), else nullopt
// and *folder set to the one folder given, cleaned.
std::optional<int> parse(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
                         QString *folder)
{
    QStringList withoutCommand = arguments;
    withoutCommand.removeAt(1);
    if (!parser.parse(withoutCommand))
        return usageError(command, parser.errorText());
    if (parser.isSet(u"help"_s) || parser.isSet(u"help-all"_s)) {
        print(stdout, parser.helpText().replace(withoutCommand.first(), ProgramName + u' ' + command));
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usageError(command, positional.isEmpty() ? u"no FOLDER given"_s : u"give one FOLDER only"_s);
    if (!base::isReadableFolder(positional.first()))
        return usageError(command, u"cannot open the folder %1"_s.arg(positional.first()));
    *folder = base::normalFolderPath(positional.first());
    return std::nullopt;
}

int runCfg(const QStringList &arguments)
{
    const QString command = u"cfg"_s;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Prints the cfg content that \"Apply\" then \"Go!\" make in the main window for FOLDER: a comment"
        " line, then one texture line per listed name, each line ending in CR LF. Every text goes into the"
        " output exactly as given: nothing is trimmed, validated or escaped, as in the window."_s);
    addCommon(parser, u"The folder whose files (and sub-folders) are listed."_s);
    const QCommandLineOption map(u"map"_s, u"The number in every texture line, at most 3 characters (default 0)."_s,
                                 u"NUMBER"_s, QString::fromUtf16(texcfg::DefaultNumber));
    const QCommandLineOption folderOption(u"folder"_s, u"The engine-side folder (default \"default\")."_s,
                                          u"FOLDER"_s, QString::fromUtf16(texcfg::DefaultFolder));
    const QCommandLineOption comment(u"comment"_s, u"The comment line's text (default \"My Quillo Textures\")."_s,
                                     u"TEXT"_s, QString::fromUtf16(texcfg::DefaultComment));
    const QCommandLineOption files(u"files"_s, u"List the files (the default when --folders is not given)."_s);
    const QCommandLineOption folders(u"folders"_s, u"List the sub-folders, before the files when both are listed."_s);
    const QCommandLineOption removeExtension(u"remove-extension"_s,
                                             u"List file names without an extension of up to five characters."_s);
    const QCommandLineOption mask(u"mask"_s,
                                  u"List only the files that match the name mask, as *.jpg (default *.*); the"
                                  " characters \\ / ; : are taken out of it, as in the window."_s,
                                  u"MASK"_s, QString::fromUtf16(texcfg::DefaultFilePattern));
    const QCommandLineOption output(u"output"_s, u"Write the cfg content to FILE, whole or not at all, instead."_s,
                                    u"FILE"_s);
    parser.addOptions({map, folderOption, comment, files, folders, removeExtension, mask, output});
    QString folder;
    if (const std::optional<int> status = parse(parser, command, arguments, &folder))
        return *status;
    if (parser.value(map).size() > texcfg::NumberMaxLength)
        return usageError(command, u"--map takes at most %1 characters"_s.arg(texcfg::NumberMaxLength));

    const texcfg::TextureListOptions list{parser.isSet(folders), parser.isSet(files) || !parser.isSet(folders),
                                          parser.isSet(removeExtension)};
    QStringList subFolders;
    if (list.listFolders) {
        for (const QString &name : base::listSubFolders(folder).value_or(QStringList()))
            subFolders.append(base::joinPath(folder, name));
    }
    QStringList fileNames;
    if (list.listFiles)
        fileNames = base::listFiles(folder, texcfg::CleanMask(parser.value(mask))).value_or(QStringList());
    const QString listText = texcfg::BuildTextureList(subFolders, folder, fileNames, list);
    const QByteArray content =
        texcfg::BuildCfgContent(listText, parser.value(map), parser.value(folderOption), parser.value(comment)).toUtf8();

    if (parser.isSet(output)) {
        QString error;
        if (!base::writeFileAtomically(parser.value(output), content, &error))
            return usageError(command, parser.value(output) + u": "_s + error);
        return 0;
    }
    std::fwrite(content.constData(), 1, size_t(content.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : ExitFailed;
}

std::atomic<bool> interrupted = false;

void stopAtNextImage(int)
{
    interrupted = true;
    std::signal(SIGINT, SIG_DFL); // a second Ctrl+C ends the program at once
}

const char *outcomeWord(convert::Outcome outcome)
{
    switch (outcome) {
    case convert::Outcome::Saved: return "saved";
    case convert::Outcome::Replaced: return "replaced";
    case convert::Outcome::Skipped: return "skipped";
    case convert::Outcome::Failed: return "failed";
    }
    return "failed";
}

int runConvert(const QStringList &arguments)
{
    const QString command = u"convert"_s;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Converts the images of FOLDER into copies beside them, as \"Convert all images\" does in the converter"
        " window: the copy of NAME is NAME without its last four characters followed by the first four"
        " characters of SUFFIX (stone.jpg with .bmp gives stone.bmp). A copy that would be its own source is"
        " skipped; another file of the copy's name is replaced. Prints one line per image (saved, replaced,"
        " skipped or failed, with the reason) and a summary; exits with 1 when an image failed, 130 when"
        " Ctrl+C stopped the run before its end."_s);
    addCommon(parser, u"The folder of the images; the copies are written there too."_s);
    const QCommandLineOption to(u"to"_s, u"The destination suffix: .bmp, .gif, .jpg, .png, .tif, .webp, .wmf, .tga, .dds"_s,
                                u"SUFFIX"_s);
    const QCommandLineOption only(u"only"_s, u"Convert only the files whose names match PATTERN, as *.jpg."_s,
                                  u"PATTERN"_s, u"*"_s);
    const QCommandLineOption threads(u"threads"_s, u"Worker threads: 1 converts one image after another, 0 (the"
                                                   " default) one per core."_s,
                                     u"N"_s, u"0"_s);
    parser.addOptions({to, only, threads});
    QString folder;
    if (const std::optional<int> status = parse(parser, command, arguments, &folder))
        return *status;
    const QString suffix = parser.value(to);
    if (suffix.isEmpty())
        return usageError(command, u"--to SUFFIX is needed"_s);
    const QString extension = convert::pictureExtension(u"name"_s + convert::destSuffix(suffix));
    if (!convert::formatForExtension(extension))
        return usageError(command, u"no picture format is written under the suffix %1"_s.arg(suffix));
    bool threadsOk = false;
    const int threadCount = parser.value(threads).toInt(&threadsOk);
    if (!threadsOk || threadCount < 0)
        return usageError(command, u"--threads takes a number from 0 up"_s);

    const QStringList entries = base::listFiles(folder, parser.value(only)).value_or(QStringList());
    convert::ConversionOptions options;
    options.threads = threadCount;
    options.cancel = &interrupted;
    std::signal(SIGINT, stopAtNextImage);
    QElapsedTimer clock;
    clock.start();
    bool progressShown = false;
    if (::isatty(::fileno(stderr))) {
        options.progress = [&](int done, int total, const QString &entry) {
            if (clock.elapsed() < ProgressAfterMs)
                return;
            progressShown = true;
            print(stderr, u"\rconverted %1 of %2: %3\x1b[K"_s.arg(done).arg(total).arg(entry));
        };
    }
    const convert::ConversionReport report = convert::convertEntries(folder, entries, suffix, options);
    std::signal(SIGINT, SIG_DFL);
    if (progressShown)
        print(stderr, u"\r\x1b[K"_s);

    for (const convert::EntryResult &entry : report.entries) {
        const QString detail = entry.outcome == convert::Outcome::Saved
                                   ? entry.destination.mid(entry.destination.lastIndexOf(QDir::separator()) + 1)
                                   : entry.reason;
        print(stdout, QString::fromLatin1(outcomeWord(entry.outcome)) + u'\t' + entry.entry + u'\t' + detail + u'\n');
    }
    QString summary = u"saved %1, replaced %2, skipped %3, failed %4 of %5"_s.arg(report.saved)
                          .arg(report.replaced)
                          .arg(report.skipped)
                          .arg(report.failed)
                          .arg(report.total());
    if (report.cancelled)
        summary += u"; stopped: %1 not converted"_s.arg(report.notConverted);
    print(stdout, summary + u'\n');
    if (!report.durabilityError.isEmpty())
        print(stderr, ProgramName + u' ' + command + u": "_s + report.durabilityError + u'\n');
    std::fflush(stdout);
    if (report.cancelled)
        return ExitInterrupted;
    return report.failed > 0 || !report.durabilityError.isEmpty() ? ExitFailed : 0;
}

// Qt's notes (a missing runtime folder, a picture reader's complaint) are
// not the user's business on a command line: each entry's outcome says what
// matters.
void dropNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        print(stderr, qFormatLogMessage(type, context, message) + u'\n');
}

} // namespace

std::optional<int> runWithoutWindow(int argc, char *argv[])
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == u"cfg" || command == u"convert")
        qInstallMessageHandler(dropNotes);
    if (command == u"cfg") {
        QCoreApplication application(argc, argv);
        return runCfg(QCoreApplication::arguments());
    }
    if (command == u"convert") {
        // Metafile text is drawn with fonts, which need a platform; the
        // offscreen one needs no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication application(argc, argv);
        convert::keepPictureBuffers();
        return runConvert(QCoreApplication::arguments());
    }
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--help" || argument == "-h" || argument == "-?") {
            print(stdout, usage());
            return 0;
        }
        if (argument == "--version" || argument == "-v") {
            print(stdout, ProgramName + u' ' + appinfo::versionString() + u'\n');
            return 0;
        }
    }
    return std::nullopt;
}

std::optional<QString> windowFolder(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments)) {
        usageError(QString(), parser.errorText());
        return std::nullopt;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return QString();
    if (positional.size() > 1) {
        usageError(QString(), u"give one FOLDER only (see morvane --help)"_s);
        return std::nullopt;
    }
    if (!base::isReadableFolder(positional.first())) {
        usageError(QString(), u"cannot open the folder %1"_s.arg(positional.first()));
        return std::nullopt;
    }
    return base::normalFolderPath(positional.first());
}

} // namespace morvane::app
