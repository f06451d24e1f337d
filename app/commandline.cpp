#include "app/commandline.h"

#include "appinfo.h"
#include "base/atomicwrite.h"
#include "base/folders.h"
#include "base/paths.h"
#include "convert/allocator.h"
#include "convert/conversion.h"
#include "convert/formats/formats.h"
#include "convert/picture.h"
#include "texcfg/cfgcontent.h"
#include "texcfg/defaults.h"
#include "texcfg/mask.h"
#include "texcfg/texturelist.h"

#include <QCommandLineParser>
#include <QDir>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
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

// The error of the first write to standard output that failed; 0 while none has.
int outputError = 0;

void write(std::FILE *to, QByteArrayView bytes)
{
    if (std::fwrite(bytes.data(), 1, size_t(bytes.size()), to) != size_t(bytes.size()) && to == stdout
        && outputError == 0)
        outputError = errno != 0 ? errno : EIO;
}

void print(std::FILE *to, const QString &text)
{
    write(to, text.toLocal8Bit());
}

// Flushes and closes standard output: false, with a message, when any of it
// could not be written (a full volume, a closed pipe, /dev/full). A large
// write that failed leaves nothing buffered, so the flush alone cannot tell.
bool closeOutput(const QString &command)
{
    if (std::fflush(stdout) != 0 && outputError == 0)
        outputError = errno;
    if (std::ferror(stdout) && outputError == 0)
        outputError = EIO;
    if (std::fclose(stdout) != 0 && outputError == 0)
        outputError = errno;
    if (outputError == 0)
        return true;
    print(stderr, ProgramName + u' ' + command + u": cannot write the output (%1)\n"_s
                                                   .arg(QString::fromLocal8Bit(std::strerror(outputError))));
    return false;
}

int usageError(const QString &command, const QString &message)
{
    print(stderr, ProgramName + (command.isEmpty() ? QString() : u' ' + command) + u": "_s + message + u'\n');
    return ExitUsage;
}

const QString NotUtf8 = QString::fromUtf16(base::NotUtf8Reason);

// The arguments' bytes that Qt made argument of: a whole argument, or the
// value after the "=" of an option written "--name=VALUE".
QByteArrayList sourcesOf(const QString &argument, const QByteArrayList &raw)
{
    QByteArrayList sources;
    for (const QByteArray &bytes : raw) {
        const qsizetype equals = bytes.startsWith('-') ? bytes.indexOf('=') : -1;
        for (const QByteArray &source : {bytes, equals < 0 ? QByteArray() : bytes.mid(equals + 1)}) {
            if (!source.isNull() && QFile::decodeName(source) == argument)
                sources.append(source);
        }
    }
    return sources;
}

// True when the path bytes and the path Qt uses name the same file: the same
// device and inode, or, when neither exists, the same name in the same folder.
bool sameFile(const QByteArray &bytes, const QString &path)
{
    struct stat byBytes;
    struct stat byPath;
    const bool bytesExist = ::stat(bytes.constData(), &byBytes) == 0;
    const bool pathExists = ::stat(QFile::encodeName(path).constData(), &byPath) == 0;
    if (bytesExist || pathExists)
        return bytesExist && pathExists && byBytes.st_dev == byPath.st_dev && byBytes.st_ino == byPath.st_ino;
    QByteArray trimmed = bytes;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    if (trimmed == "." || trimmed == "/")
        return false; // the current folder or the root gone: nothing to compare
    const qsizetype slash = trimmed.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : trimmed.left(slash);
    const QFileInfo info(path);
    return trimmed.mid(slash + 1) == QFile::encodeName(info.fileName()) && sameFile(folder, info.absolutePath());
}

QByteArray currentFolderBytes()
{
    std::error_code error;
    return QByteArray::fromStdString(std::filesystem::current_path(error).native());
}

// Nullopt when path, which the program made of the argument text argument,
// names the file that the argument's own bytes in raw name; otherwise the
// path as those bytes spell it, escaped, for a message. Qt's strings cannot
// hold a name that is not valid UTF-8, whether the argument's own or that of
// the current folder a relative argument starts from: such a path would name
// another file, or none.
std::optional<QString> unfaithfulPath(const QString &argument, const QString &path, const QByteArrayList &raw)
{
    const QByteArray current = currentFolderBytes();
    for (const QByteArray &bytes : sourcesOf(argument, raw)) {
        const bool relative = !bytes.startsWith('/');
        const bool ownName = base::isFaithfulName(bytes);
        if ((ownName && (!relative || base::isFaithfulName(current))) || sameFile(bytes, path))
            continue;
        if (!ownName)
            return base::escapedName(bytes);
        return base::escapedName(bytes == "." ? current : current + '/' + bytes);
    }
    return std::nullopt;
}

// True when argument, a text such as a name pattern, came from bytes that are
// valid UTF-8: a pattern Qt decoded with replacement characters could match
// another file than the one meant.
bool isFaithfulText(const QString &argument, const QByteArrayList &raw)
{
    const QByteArrayList sources = sourcesOf(argument, raw);
    return std::all_of(sources.cbegin(), sources.cend(), [](const QByteArray &b) { return base::isFaithfulName(b); });
}

QString usage()
{
    return uR"(Usage: morvane [FOLDER]
       morvane cfg [OPTIONS] FOLDER
       morvane convert --to SUFFIX [OPTIONS] FOLDER|FILE...

Without a command, opens the main window in FOLDER (or the current folder).
  cfg      prints the cfg content that "Apply" then "Go!" make for FOLDER
  convert  converts the images of each FOLDER, and each FILE, into copies

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

// Parses arguments (the program, the command, its arguments), whose bytes
// raw holds; the exit status when the command must stop here (help, or an
// error reported), else nullopt and *folder set to the one folder given, cleaned.
std::optional<int> parse(QCommandLineParser &parser, const QString &command, const QStringList &arguments,
                         const QByteArrayList &raw, QString *folder)
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
    if (const auto shown = unfaithfulPath(positional.first(), base::normalFolderPath(positional.first()), raw))
        return usageError(command, u"cannot open the folder %1: its path is not valid UTF-8"_s.arg(*shown));
    if (!base::isReadableFolder(positional.first()))
        return usageError(command, u"cannot open the folder %1"_s.arg(positional.first()));
    *folder = base::normalFolderPath(positional.first());
    return std::nullopt;
}

// Tells each name left out of a listing on standard error.
void tellLeftOut(const QString &command, const QStringList &leftOut)
{
    for (const QString &name : leftOut)
        print(stderr, ProgramName + u' ' + command + u": left out "_s + name + u": "_s + NotUtf8 + u'\n');
}

int runCfg(const QStringList &arguments, const QByteArrayList &raw)
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
    if (const std::optional<int> status = parse(parser, command, arguments, raw, &folder))
        return *status;
    if (parser.value(map).size() > texcfg::NumberMaxLength)
        return usageError(command, u"--map takes at most %1 characters"_s.arg(texcfg::NumberMaxLength));
    if (!isFaithfulText(parser.value(mask), raw))
        return usageError(command, u"--mask is not valid UTF-8"_s);
    if (parser.isSet(output)) {
        const QString file = parser.value(output);
        if (const auto shown = unfaithfulPath(file, QFileInfo(file).absoluteFilePath(), raw))
            return usageError(command, u"cannot write %1: its path is not valid UTF-8"_s.arg(*shown));
    }

    const texcfg::TextureListOptions list{parser.isSet(folders), parser.isSet(files) || !parser.isSet(folders),
                                          parser.isSet(removeExtension)};
    QStringList subFolders;
    QStringList leftOut;
    if (list.listFolders) {
        for (const QString &name : base::listSubFolders(folder, &leftOut).value_or(QStringList()))
            subFolders.append(base::joinPath(folder, name));
    }
    QStringList fileNames;
    if (list.listFiles) {
        QStringList leftOutFiles;
        fileNames = base::listFiles(folder, texcfg::CleanMask(parser.value(mask)), &leftOutFiles).value_or(QStringList());
        leftOut += leftOutFiles;
    }
    tellLeftOut(command, leftOut);
    const int status = leftOut.isEmpty() ? 0 : ExitFailed;
    const QString listText = texcfg::BuildTextureList(subFolders, folder, fileNames, list);
    const QByteArray content =
        texcfg::BuildCfgContent(listText, parser.value(map), parser.value(folderOption), parser.value(comment)).toUtf8();

    if (parser.isSet(output)) {
        QString error;
        if (!base::writeFileAtomically(parser.value(output), content, &error))
            return usageError(command, parser.value(output) + u": "_s + error);
        return status;
    }
    write(stdout, content);
    return status;
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

// How a conversion's lines are printed.
struct ReportStyle {
    QString outputFolder; // where the copies go; empty when beside their sources
    bool dryRun = false;
    bool quiet = false; // failures and the summary alone
};

// The copy of entry as shown: its path under the output folder, or beside
// the entry as the entry is shown (sub/b.bmp gives sub/b.png).
QString shownCopy(const convert::EntryResult &entry, const ReportStyle &style)
{
    if (!style.outputFolder.isEmpty())
        return QDir(style.outputFolder).relativeFilePath(entry.destination);
    return entry.entry.left(entry.entry.lastIndexOf(u'/') + 1)
           + entry.destination.mid(entry.destination.lastIndexOf(QDir::separator()) + 1);
}

// One line per entry (outcome, name, copy or reason) and the summary, on standard output.
void printReport(const convert::ConversionReport &report, const QStringList &leftOut, const ReportStyle &style)
{
    int replacing = 0;
    for (const convert::EntryResult &entry : report.entries) {
        const bool written = entry.outcome == convert::Outcome::Saved;
        replacing += written && entry.existed;
        if (style.quiet && entry.outcome != convert::Outcome::Failed)
            continue;
        QString word = QString::fromLatin1(outcomeWord(entry.outcome));
        if (style.dryRun && written)
            word = entry.existed ? u"would replace"_s : u"would write"_s;
        const QString detail = written ? shownCopy(entry, style) : entry.reason;
        print(stdout, word + u'\t' + entry.entry + u'\t' + detail + u'\n');
    }
    QString summary = style.dryRun
                          ? u"would write %1 (replacing %2), skipped %3, failed %4 of %5; nothing written"_s
                                .arg(report.saved)
                                .arg(replacing)
                                .arg(report.skipped)
                                .arg(report.failed)
                                .arg(report.total())
                          : u"saved %1, replaced %2, skipped %3, failed %4 of %5"_s.arg(report.saved)
                                .arg(report.replaced)
                                .arg(report.skipped)
                                .arg(report.failed)
                                .arg(report.total());
    if (!leftOut.isEmpty())
        summary += u", left out %1 (%2)"_s.arg(leftOut.size()).arg(NotUtf8);
    if (report.cancelled)
        summary += u"; stopped: %1 not converted"_s.arg(report.notConverted);
    print(stdout, summary + u'\n');
}

// The files of folder that pattern matches as jobs whose copies go into
// copies (beside them when empty), the entries named under prefix; with
// recursive, those of its sub-folders too, their tree mirrored under copies.
void addFolderJobs(const QString &folder, const QString &prefix, const QString &pattern, const QString &suffix,
                   const QString &copies, bool recursive, QList<convert::ConversionJob> *jobs, QStringList *leftOut)
{
    QStringList leftOutHere;
    for (const QString &name : base::listFiles(folder, pattern, &leftOutHere).value_or(QStringList())) {
        const QString copyFolder = copies.isEmpty() ? folder : copies;
        jobs->append({prefix + name, convert::SourcePath(folder, name),
                      convert::DestPath(copyFolder, name, suffix), false});
    }
    if (recursive) {
        for (const QString &sub : base::listSubFolders(folder, &leftOutHere).value_or(QStringList()))
            addFolderJobs(base::joinPath(folder, sub), prefix + sub + u'/', pattern, suffix,
                          copies.isEmpty() ? QString() : base::joinPath(copies, sub), true, jobs, leftOut);
    }
    for (const QString &name : std::as_const(leftOutHere))
        leftOut->append(prefix + name);
}

// The name --alpha-test=THRESHOLD is given to the parser under: its value
// may be left out, which QCommandLineParser's options cannot do.
const QString AlphaThreshold = u"alpha-test-threshold"_s;

// arguments with each --alpha-test=THRESHOLD (or -alpha-test=THRESHOLD)
// before a "--" split into --alpha-test and the hidden threshold option.
QStringList withAlphaThreshold(const QStringList &arguments)
{
    QStringList split;
    bool options = true;
    for (const QString &argument : arguments) {
        options = options && argument != u"--";
        const qsizetype equals = argument.indexOf(u'=');
        if (options && equals > 0 && (argument.first(equals) == u"--alpha-test" || argument.first(equals) == u"-alpha-test")) {
            split << u"--alpha-test"_s << u"--"_s + AlphaThreshold + argument.sliced(equals);
            continue;
        }
        split.append(argument);
    }
    return split;
}

// The DDS kinds by their names on the command line.
const std::pair<QStringView, formats::WriteOptions::DdsKind> DdsKinds[] = {
    {u"auto", formats::WriteOptions::DdsKind::Auto}, {u"bc1", formats::WriteOptions::DdsKind::Bc1},
    {u"bc1a", formats::WriteOptions::DdsKind::Bc1a}, {u"bc2", formats::WriteOptions::DdsKind::Bc2},
    {u"bc3", formats::WriteOptions::DdsKind::Bc3},   {u"bc4", formats::WriteOptions::DdsKind::Bc4},
    {u"bc5", formats::WriteOptions::DdsKind::Bc5},   {u"bgra", formats::WriteOptions::DdsKind::Bgra},
    {u"bgr", formats::WriteOptions::DdsKind::Bgr},
};

int runConvert(const QStringList &givenArguments, const QByteArrayList &raw)
{
    const QStringList arguments = withAlphaThreshold(givenArguments);
    const QString command = u"convert"_s;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Converts the images of each FOLDER, and each FILE, into copies beside them, as \"Convert all images\""
        " does in the converter window: the copy of NAME is NAME without its last four characters followed by"
        " the first four characters of SUFFIX (stone.jpg with .bmp gives stone.bmp). No copy replaces a source"
        " of the run: a copy that would is skipped, and of several sources that give the same copy only the one"
        " that holds the most is converted (a lossless format before a lossy one, then the larger picture, then"
        " the first listed). Files of a FOLDER whose names end in no picture suffix and that hold no picture are"
        " skipped as not an image; a FILE named is always converted. Prints one line per image (saved,"
        " replaced, skipped or failed, with the reason) and a summary. Files whose names are not valid UTF-8"
        " are left out, each told on standard error. Exits with 1 when an image failed or was left out, 130"
        " when Ctrl+C stopped the run before its end."_s);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addPositionalArgument(u"FOLDER|FILE"_s, u"The folders of the images, or images; one at least."_s,
                                 u"FOLDER|FILE..."_s);
    const QCommandLineOption to(u"to"_s, u"The destination suffix: "_s + convert::writtenSuffixes().join(u", "_s),
                                u"SUFFIX"_s);
    const QCommandLineOption only(u"only"_s, u"Convert only the files of each FOLDER whose names match PATTERN,"
                                             " as *.jpg."_s,
                                  u"PATTERN"_s, u"*"_s);
    const QCommandLineOption recursive(u"recursive"_s, u"Convert the files of each FOLDER's sub-folders too."_s);
    const QCommandLineOption outputDir(u"output-dir"_s,
                                       u"Write the copies into DIR (made when missing) under the same names; with"
                                       " --recursive, the sub-folders' tree is mirrored under it. Without it,"
                                       " each copy goes beside its source."_s,
                                       u"DIR"_s);
    const QCommandLineOption existing(u"existing"_s,
                                      u"What becomes of a file already at a copy's name: replace (the default)"
                                      " replaces it, skip keeps it, newer replaces it only when the source was"
                                      " modified after it."_s,
                                      u"replace|skip|newer"_s, u"replace"_s);
    const QCommandLineOption quality(u"quality"_s, u"The quality of .jpg and .webp copies, from 1 to 100 (default 92)."_s,
                                     u"N"_s, u"92"_s);
    const QCommandLineOption resize(u"resize"_s,
                                    u"Resample each picture before writing it: pot (each side to its nearest power"
                                    " of two), pot-up, pot-down (to the power of two at or above, at or below it),"
                                    " max:N (the longer side at most N, proportions kept) or half."_s,
                                    u"RULE"_s);
    const QCommandLineOption dryRun(u"dry-run"_s, u"Tell what would be written, replaced or skipped, and write nothing."_s);
    const QCommandLineOption quiet(u"quiet"_s, u"Print only the failures and the summary."_s);
    const QCommandLineOption threads(u"threads"_s, u"Worker threads: 1 converts one image after another, 0 (the"
                                                   " default) one per core."_s,
                                     u"N"_s, u"0"_s);
    const QCommandLineOption ddsFormat(
        u"dds-format"_s,
        u"The kind of .dds copies: auto (the default: bc1 when the picture is opaque, else bc3), bc1 (DXT1),"
        " bc1a (DXT1 with one-bit alpha, clear below 128), bc2 (DXT3), bc3 (DXT5), bc4 (ATI1: red, or grey),"
        " bc5 (ATI2: red and green), bgra (32-bit pixels) or bgr (24-bit pixels)."_s,
        u"KIND"_s, u"auto"_s);
    const QCommandLineOption mipmaps(u"mipmaps"_s,
                                     u"all (the default) writes the chain of mipmaps down to 1 x 1 into .dds"
                                     " copies, none the picture alone."_s,
                                     u"all|none"_s, u"all"_s);
    const QCommandLineOption normalMap(u"normal-map"_s,
                                       u"The pictures are normal maps: no colour profile is applied, and each"
                                       " mipmap is averaged as vectors and made unit length again."_s);
    const QCommandLineOption alphaTest(u"alpha-test"_s,
                                       u"For cut-outs: every mipmap keeps the share of texels whose alpha is above"
                                       " the threshold that the picture has, so they do not fade in the distance;"
                                       " --alpha-test=THRESHOLD sets it (from 0 to 1, default 0.5)."_s);
    QCommandLineOption threshold(AlphaThreshold, QString(), u"THRESHOLD"_s);
    threshold.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({to, only, recursive, outputDir, existing, quality, resize, dryRun, quiet, threads, ddsFormat,
                       mipmaps, normalMap, alphaTest, threshold});
    QStringList withoutCommand = arguments;
    withoutCommand.removeAt(1);
    if (!parser.parse(withoutCommand))
        return usageError(command, parser.errorText());
    if (parser.isSet(u"help"_s)) {
        print(stdout, parser.helpText().replace(withoutCommand.first(), ProgramName + u' ' + command));
        return 0;
    }
    const QStringList given = parser.positionalArguments();
    if (given.isEmpty())
        return usageError(command, u"no FOLDER or FILE given"_s);
    for (const QString &path : given) {
        const bool isFolder = QFileInfo(path).isDir();
        const QString full = isFolder ? base::normalFolderPath(path) : QFileInfo(path).absoluteFilePath();
        if (const auto shown = unfaithfulPath(path, full, raw))
            return usageError(command, u"cannot open the %1 %2: its path is not valid UTF-8"_s
                                           .arg(isFolder ? u"folder"_s : u"file"_s, *shown));
        if (!QFileInfo::exists(path))
            return usageError(command, u"cannot open %1: no such file or folder"_s.arg(path));
        if (isFolder ? !base::isReadableFolder(path) : !QFileInfo(path).isFile())
            return usageError(command, u"cannot open the %1 %2"_s.arg(isFolder ? u"folder"_s : u"file"_s, path));
    }
    if (!isFaithfulText(parser.value(only), raw))
        return usageError(command, u"--only is not valid UTF-8"_s);
    const QString suffix = parser.value(to);
    if (suffix.isEmpty())
        return usageError(command, u"--to SUFFIX is needed"_s);
    if (convert::lacksDot(suffix))
        return usageError(command, convert::lacksDotMessage());
    const formats::Format *writer = convert::writerFor(convert::destSuffix(suffix));
    if (!writer)
        return usageError(command, u"no picture format is written under the suffix %1"_s.arg(suffix));
    bool threadsOk = false;
    const int threadCount = parser.value(threads).toInt(&threadsOk);
    if (!threadsOk || threadCount < 0)
        return usageError(command, u"--threads takes a number from 0 up"_s);
    formats::WriteOptions write;
    const auto kind = std::find_if(std::begin(DdsKinds), std::end(DdsKinds),
                                   [&](const auto &k) { return k.first == parser.value(ddsFormat); });
    if (kind == std::end(DdsKinds))
        return usageError(command, u"--dds-format takes auto, bc1, bc1a, bc2, bc3, bc4, bc5, bgra or bgr"_s);
    write.ddsKind = kind->second;
    if (parser.value(mipmaps) != u"all" && parser.value(mipmaps) != u"none")
        return usageError(command, u"--mipmaps takes all or none"_s);
    write.mipmaps = parser.value(mipmaps) == u"all";
    write.normalMap = parser.isSet(normalMap);
    if (parser.isSet(alphaTest)) {
        bool thresholdOk = true;
        const double value = parser.isSet(threshold) ? parser.value(threshold).toDouble(&thresholdOk) : 0.5;
        if (!thresholdOk || !(value >= 0 && value <= 1))
            return usageError(command, u"--alpha-test takes a threshold from 0 to 1"_s);
        write.alphaTest = value;
    }
    // The DDS choices say nothing about other copies: given with them, they
    // are a mistake (a mistyped suffix, say) rather than something to ignore.
    if (writer != &formats::dds()) {
        for (const QCommandLineOption *option : {&ddsFormat, &mipmaps, &normalMap, &alphaTest}) {
            if (parser.isSet(*option))
                return usageError(command, u"--%1 applies to .dds copies only"_s.arg(option->names().constFirst()));
        }
    }
    bool qualityOk = false;
    write.quality = parser.value(quality).toInt(&qualityOk);
    if (!qualityOk || write.quality < 1 || write.quality > 100)
        return usageError(command, u"--quality takes a number from 1 to 100"_s);
    if (parser.isSet(quality) && writer != &formats::jpeg() && writer != &formats::webp())
        return usageError(command, u"--quality applies to .jpg and .webp copies only"_s);

    convert::ConversionOptions options;
    if (parser.isSet(resize)) {
        options.resize = convert::parseResizeRule(parser.value(resize));
        if (!options.resize)
            return usageError(command, u"--resize takes pot, pot-up, pot-down, half or max:N with N from 1 to %1"_s
                                           .arg(convert::MaxSideLimit));
    }
    static const QHash<QString, convert::Existing> ExistingChoices{{u"replace"_s, convert::Existing::Replace},
                                                                   {u"skip"_s, convert::Existing::Skip},
                                                                   {u"newer"_s, convert::Existing::Newer}};
    if (!ExistingChoices.contains(parser.value(existing)))
        return usageError(command, u"--existing takes replace, skip or newer"_s);
    options.existing = ExistingChoices.value(parser.value(existing));
    QString copies;
    if (parser.isSet(outputDir)) {
        const QString dir = parser.value(outputDir);
        if (!base::isFolderOrMakeable(dir))
            return usageError(command, u"--output-dir %1 is not a folder"_s.arg(dir));
        copies = base::normalFolderPath(dir);
        if (const auto shown = unfaithfulPath(dir, copies, raw))
            return usageError(command, u"cannot write into %1: its path is not valid UTF-8"_s.arg(*shown));
    }

    QStringList leftOut;
    QList<convert::ConversionJob> jobs;
    for (const QString &path : given) {
        if (QFileInfo(path).isDir()) {
            addFolderJobs(base::normalFolderPath(path), QString(), parser.value(only), suffix, copies,
                          parser.isSet(recursive), &jobs, &leftOut);
            continue;
        }
        const QFileInfo file(path);
        const QString folder = file.absolutePath();
        jobs.append({path, convert::SourcePath(folder, file.fileName()),
                     convert::DestPath(copies.isEmpty() ? folder : copies, file.fileName(), suffix), true});
    }
    tellLeftOut(command, leftOut);
    options.threads = threadCount;
    options.write = write;
    options.keepSources = true;
    options.skipNonImages = true;
    options.dryRun = parser.isSet(dryRun);
    options.cancel = &interrupted;
    if (!copies.isEmpty() && !options.dryRun) {
        for (const convert::ConversionJob &job : std::as_const(jobs)) {
            if (job.destination)
                QDir().mkpath(QFileInfo(*job.destination).absolutePath()); // a failure fails its copies
        }
    }
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
    const convert::ConversionReport report = convert::convertJobs(jobs, options);
    std::signal(SIGINT, SIG_DFL);
    if (progressShown)
        print(stderr, u"\r\x1b[K"_s);

    printReport(report, leftOut, {copies, options.dryRun, parser.isSet(quiet)});
    if (!report.durabilityError.isEmpty())
        print(stderr, ProgramName + u' ' + command + u": "_s + report.durabilityError + u'\n');
    if (report.cancelled)
        return ExitInterrupted;
    return report.failed > 0 || !report.durabilityError.isEmpty() || !leftOut.isEmpty() ? ExitFailed : 0;
}

// Qt's notes (a missing runtime folder, a picture reader's complaint) are
// not the user's business on a command line: each entry's outcome says what
// matters.
void dropNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        print(stderr, qFormatLogMessage(type, context, message) + u'\n');
}

// How many arguments from arguments[i] on are one of the window system's
// own options, which the application takes out of the arguments itself
// (-platform NAME, -style=NAME, -reverse, ...); 0 when arguments[i] is none.
// *platform is set when the option chooses where windows are shown.
int windowSystemOption(const QByteArrayList &arguments, qsizetype i, bool *platform)
{
    static const QByteArrayList withValue{"platform", "platformpluginpath", "platformtheme", "plugin",
                                          "qwindowgeometry", "geometry", "qwindowtitle", "title",
                                          "qwindowicon", "icon", "display", "session", "style", "stylesheet",
                                          "name", "visual"};
    static const QByteArrayList alone{"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
    static const QByteArrayList withEquals{"style=", "stylesheet=", "qmljsdebugger="};
    QByteArray option = arguments[i];
    if (!option.startsWith('-'))
        return 0;
    option.remove(0, option.startsWith("--") ? 2 : 1);
    if (withValue.contains(option)) {
        *platform = *platform || option == "platform" || option == "display";
        return i + 1 < arguments.size() ? 2 : 1;
    }
    if (alone.contains(option))
        return 1;
    return std::any_of(withEquals.cbegin(), withEquals.cend(), [&](const QByteArray &p) { return option.startsWith(p); })
               ? 1
               : 0;
}

// Parses the main window's arguments: *folder set as windowFolder tells,
// *platform as windowSystemOption does; false when they are refused.
bool parseWindowArguments(const QByteArrayList &arguments, QString *folder, bool *platform)
{
    QStringList own{arguments.isEmpty() ? ProgramName : QFile::decodeName(arguments.first())};
    QByteArray first; // the first argument of the program's own
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (const int taken = windowSystemOption(arguments, i, platform)) {
            i += taken - 1;
            continue;
        }
        if (own.size() == 1)
            first = arguments[i];
        own.append(QFile::decodeName(arguments[i]));
    }
    // A mistyped command ("covert") is a word with no slash and no file of its name.
    struct stat info;
    if (!first.isEmpty() && !first.startsWith('-') && !first.contains('/') && !first.contains('\\')
        && ::stat(first.constData(), &info) != 0) {
        usageError(QString(), u"no command or folder named %1 (see morvane --help)"_s.arg(base::escapedName(first)));
        return false;
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(own)) {
        usageError(QString(), parser.errorText());
        return false;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        if (const auto shown = unfaithfulPath(u"."_s, QDir::currentPath(), {"."})) {
            usageError(QString(), u"cannot open the current folder %1: its path is not valid UTF-8"_s.arg(*shown));
            return false;
        }
        folder->clear();
        return true;
    }
    if (positional.size() > 1) {
        usageError(QString(), u"give one FOLDER only (see morvane --help)"_s);
        return false;
    }
    const QString given = positional.first();
    const QString path = base::normalFolderPath(given);
    if (const auto shown = unfaithfulPath(given, path, arguments.mid(1))) {
        usageError(QString(), u"cannot open the folder %1: its path is not valid UTF-8"_s.arg(*shown));
        return false;
    }
    if (!base::isReadableFolder(given)) {
        usageError(QString(), u"cannot open the folder %1"_s.arg(given));
        return false;
    }
    *folder = path;
    return true;
}

// True when windows could be shown: a display named in the environment, a
// platform chosen there or on the command line, or a system whose windows
// need no display server.
bool hasDisplay(bool platformChosen)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    return platformChosen || !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    Q_UNUSED(platformChosen);
    return true;
#endif
}

} // namespace

std::optional<int> runWithoutWindow(int argc, char *argv[], QString *folder)
{
    QByteArrayList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    const QByteArrayList raw = arguments.mid(1);
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == u"cfg" || command == u"convert")
        qInstallMessageHandler(dropNotes);
    if (command == u"cfg") {
        QCoreApplication application(argc, argv);
        const int status = runCfg(QCoreApplication::arguments(), raw);
        return closeOutput(command) ? status : ExitFailed;
    }
    if (command == u"convert") {
        // Metafile text is drawn with fonts, which need a platform; the
        // offscreen one needs no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication application(argc, argv);
        convert::keepPictureBuffers();
        const int status = runConvert(QCoreApplication::arguments(), raw);
        return closeOutput(command) ? status : ExitUsage;
    }
    for (const QByteArray &argument : raw) {
        if (argument == "--help" || argument == "-h" || argument == "-?") {
            print(stdout, usage());
            return 0;
        }
        if (argument == "--version" || argument == "-v") {
            print(stdout, ProgramName + u' ' + appinfo::versionString() + u'\n');
            return 0;
        }
    }
    bool platformChosen = false;
    if (!parseWindowArguments(arguments, folder, &platformChosen))
        return ExitUsage;
    if (!hasDisplay(platformChosen)) {
        print(stderr, u"morvane: no display to open the window on; morvane cfg and morvane convert need none\n"_s);
        return ExitUsage;
    }
    return std::nullopt;
}

std::optional<QString> windowFolder(const QByteArrayList &arguments)
{
    QString folder;
    bool platform = false;
    if (!parseWindowArguments(arguments, &folder, &platform))
        return std::nullopt;
    return folder;
}

} // namespace morvane::app
