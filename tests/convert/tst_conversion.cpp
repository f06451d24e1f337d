#include "base/atomicwrite.h"
#include "convert/allocator.h"
#include "convert/conversion.h"
#include "convert/memorybudget.h"
#include "support/fixtures.h"

#include <QSet>
#include <QSettings>
#include <QTest>

#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <thread>

#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace morvane::base;
using namespace morvane::convert;

namespace {

// A small picture that differs for every seed, so a file written from the
// wrong source shows.
QImage testPicture(int seed)
{
    return fixtures::randomPixels(40, 30, quint32(seed));
}

QSet<QString> filesIn(const QString &folder)
{
    const QStringList names = fixtures::fileNames(folder);
    return QSet<QString>(names.begin(), names.end());
}

// "a=1 b=!" by name: {a: 1, b: !}.
QHash<QString, QString> parseFiles(const QString &list)
{
    QHash<QString, QString> files;
    for (const QString &item : list.split(u' ', Qt::SkipEmptyParts))
        files.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
    return files;
}

} // namespace

class TestConversion : public QObject {
    Q_OBJECT

private slots:
    void pictureBuffersKept(); // first, before other tests have moved the C library's own thresholds
    void paths_data();
    void paths();
    void namesOfOneFile();
    void runs_data();
    void runs();
    void leftTemporaryFiles();
};

// Rows of data/paths.txt: folder, entry, typed destination and separator
// give the source's path and the copy's, or none.
void TestConversion::paths_data()
{
    QTest::addColumn<QStringList>("cells");
    QFile table(QStringLiteral(MORVANE_CONVERSION_DATA "/paths.txt"));
    QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
    for (const QString &line : QString::fromUtf8(table.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        if (!line.startsWith(u'#'))
            QTest::newRow(qPrintable(line.section(u" | "_s, 0, 0))) << line.split(u" | "_s);
    }
}

void TestConversion::paths()
{
    QFETCH(QStringList, cells);
    QCOMPARE(cells.size(), 7);
    const QString folder = cells[1], entry = cells[2], typed = cells[3], source = cells[5], copy = cells[6];
    const QChar separator = cells[4].front();
    QCOMPARE(SourcePath(folder, entry, separator), source);
    const std::optional<QString> got = DestPath(folder, entry, typed, separator);
    QCOMPARE(got.value_or(u"?"_s), copy);
    QCOMPARE(baseName(entry).has_value(), got.has_value());
}

// Doubled separators do not matter, letter case only when told it does not;
// a run asks the folder's volume, and the probe leaves nothing behind.
void TestConversion::namesOfOneFile()
{
    QVERIFY(sameFileName(u"/t//a.bmp"_s, u"/t/a.bmp"_s, Qt::CaseSensitive));
    QVERIFY(sameFileName(u"/a.bmp"_s, u"//a.bmp"_s, Qt::CaseSensitive));
    QVERIFY(!sameFileName(u"/t/Stone.BMP"_s, u"/t/stone.bmp"_s, Qt::CaseSensitive));
    QVERIFY(!sameFileName(u"/t/a.bmp"_s, u"/t/a.bmp2"_s, Qt::CaseInsensitive));
    QTemporaryDir dir; // a volume that folds case is tried by volumes.sh
    QCOMPARE(folderFoldsCase(dir.path()), std::optional<bool>(false));
    QVERIFY(fixtures::fileNames(dir.path()).isEmpty());
    QCOMPARE(folderFoldsCase(dir.filePath(u"missing"_s)), std::nullopt);
}

// Runs, one a block of data/runs.ini, which tells its keys.
void TestConversion::runs_data()
{
    QTest::addColumn<QVariantHash>("row");
    QSettings runs(QStringLiteral(MORVANE_CONVERSION_DATA "/runs.ini"), QSettings::IniFormat);
    QVERIFY(runs.childGroups().size() >= 10);
    for (const QString &name : runs.childGroups()) {
        runs.beginGroup(name);
        QVariantHash row{{u"dest"_s, u".bmp"_s}, {u"threads"_s, 1}};
        for (const QString &key : runs.childKeys())
            row.insert(key, runs.value(key));
        QTest::newRow(qPrintable(name)) << row;
        runs.endGroup();
    }
}

void TestConversion::runs()
{
    QFETCH(QVariantHash, row);
    const auto value = [&](const QString &key) { return row.value(key).toString(); };
    const QString flags = value(u"flags"_s);
    QTemporaryDir dir;
    // "name=...@mode": the file, not a link, has that mode (octal).
    const auto hasModeAsked = [&](const QString &name, const QString &content) {
        struct stat status {};
        return !content.contains(u'@') || (::lstat(QFile::encodeName(dir.filePath(name)).constData(), &status) == 0
                                           && S_ISREG(status.st_mode)
                                           && QString::number(status.st_mode & 07777, 8) == content.section(u'@', 1));
    };
    const QString folder = dir.path() + (flags.contains(u'/') ? u"/"_s : QString());
    const QHash<QString, QString> made = parseFiles(value(u"files"_s)), copies = parseFiles(value(u"after"_s));
    QHash<QString, QByteArray> before;
    for (const auto &[name, content] : made.asKeyValueRange()) {
        const QString path = dir.filePath(name), seed = content.section(u'@', 0, 0);
        if (seed.startsWith(u'>'))
            QVERIFY(QFile::link(seed.mid(1), path));
        else
            QVERIFY(seed == u"!" ? fixtures::writeFile(path, "not a picture") : testPicture(seed.toInt()).save(path, "PNG"));
        if (content.contains(u'@'))
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(content.section(u'@', 1).toUInt(nullptr, 8))), 0);
        before.insert(name, fixtures::readFile(path));
    }

    // The names are flushed once, after the last copy, when anything was written.
    QStringList flushed;
    bool copiesThere = true;
    ConversionOptions options;
    options.threads = value(u"threads"_s).toInt();
    if (flags.contains(u"ci"))
        options.caseSensitivity = Qt::CaseInsensitive;
    options.makeDurable = [&](const QString &flushedFolder, QString *error) {
        flushed.append(flushedFolder);
        for (const QString &name : copies.keys())
            copiesThere = copiesThere && QFile::exists(dir.filePath(name));
        if (flags.contains(u"flush fails"))
            *error = u"the names may not be saved to disk (Input/output error)"_s;
        return !flags.contains(u"flush fails");
    };
    const QStringList entries = value(u"entries"_s).split(u' ');
    // Progress is told once an entry, from one thread at a time; a cancel
    // lets the images under way finish and starts none after them.
    std::atomic<bool> cancel{value(u"cancel"_s) == u"before the start"};
    std::atomic<int> inside{0};
    QStringList progressed;
    bool wrongProgress = false; // calls at once, a wrong total or count
    options.cancel = &cancel;
    options.progress = [&](int done, int total, const QString &entry) {
        wrongProgress = wrongProgress || inside.fetch_add(1) != 0 || total != entries.size() || done != progressed.size() + 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // widen any overlap
        progressed.append(entry);
        if (value(u"cancel"_s) == QString::number(done))
            cancel = true;
        inside.fetch_sub(1);
    };
    MemoryBudget oneByte(1); // takes the pictures one at a time
    if (flags.contains(u"one-byte budget"))
        options.memoryBudget = &oneByte;
    const mode_t umask = ::umask(022);
    const ConversionReport report = convertEntries(folder, entries, value(u"dest"_s), options);
    ::umask(umask);

    QCOMPARE(report.parallel, value(u"parallel"_s) == u"true");
    QString outcomes;
    QStringList converted;
    for (const EntryResult &entry : report.entries) {
        outcomes += u"SRKF"_s[int(entry.outcome)];
        converted.append(entry.entry);
        QCOMPARE(entry.reason.isEmpty(), entry.outcome == Outcome::Saved);
    }
    QCOMPARE(outcomes, value(u"outcomes"_s));
    QCOMPARE(converted, entries.first(outcomes.size()));
    QVERIFY(!wrongProgress && progressed.size() == converted.size());
    if (options.threads == 1)
        QCOMPARE(progressed, converted);
    QCOMPARE(QSet<QString>(progressed.cbegin(), progressed.cend()), QSet<QString>(converted.cbegin(), converted.cend()));
    QCOMPARE(oneByte.mostHeld(), flags.contains(u"one-byte budget") ? 1 : 0);
    QCOMPARE(countsCaption(report), value(u"counts"_s));
    const QString message = reportMessage(report), told = value(u"told"_s);
    QVERIFY2(told.isEmpty() ? message.isEmpty() : message.contains(told), qPrintable(message));
    QCOMPARE(flushed, copies.isEmpty() ? QStringList() : QStringList{folder});
    QVERIFY(copiesThere);

    // The copies and the files left as they were; nothing else, not even a temporary file.
    QSet<QString> expected(before.keyBegin(), before.keyEnd());
    QCOMPARE(filesIn(dir.path()), expected.unite(QSet<QString>(copies.keyBegin(), copies.keyEnd())));
    for (const auto &[name, content] : copies.asKeyValueRange()) {
        QCOMPARE(QImage(dir.filePath(name)).convertToFormat(QImage::Format_RGB32), testPicture(content.section(u'@', 0, 0).toInt()));
        QVERIFY2(hasModeAsked(name, content), qPrintable(name));
    }
    for (const auto &[name, content] : made.asKeyValueRange()) {
        if (!copies.contains(name))
            QVERIFY2(fixtures::readFile(dir.filePath(name)) == before[name] && hasModeAsked(name, content), qPrintable(name));
    }
}

// A write killed half-way leaves a hidden temporary file of ours; the next
// run in that folder removes it once it is old, and nothing else.
void TestConversion::leftTemporaryFiles()
{
    QTemporaryDir dir;
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Killed by the file size limit in the middle of its write.
        rlimit limit{0, 0};
        ::setrlimit(RLIMIT_CORE, &limit);
        limit = {4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_DFL);
        writeFileAtomically(dir.filePath(u"killed.bmp"_s), QByteArray(1 << 20, 'x'), nullptr);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
    const QStringList left = fixtures::fileNames(dir.path());
    QCOMPARE(left.size(), 1);
    const QString killed = left.first();
    QVERIFY2(killed.startsWith(u'.') && isTemporaryFileName(killed), qPrintable(killed));

    // Old files beside it that are ours but in use, or not ours, stay.
    const auto anHourAgo = [&](const QString &name) {
        const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}}; // of a link itself
        return ::utimensat(AT_FDCWD, QFile::encodeName(dir.filePath(name)).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
    };
    const QStringList others{u".morvane-0123456789abcdef.tmp"_s, u".morvane-0123456789ABCDEF.tmp"_s,
                             u"morvane-0123456789abcdef.tmp"_s, u".stone.bmp.1x2y.tmp"_s};
    for (const QString &name : others)
        QVERIFY(fixtures::writeFile(dir.filePath(name), "a user's text") && anHourAgo(name));
    QVERIFY(QFile::link(others[2], dir.filePath(u".morvane-1111111111111111.tmp"_s)) && anHourAgo(u".morvane-1111111111111111.tmp"_s));
    QFile inUse(dir.filePath(others[0]));
    QVERIFY(inUse.open(QIODevice::ReadOnly) && ::flock(inUse.handle(), LOCK_EX | LOCK_NB) == 0);
    QVERIFY(testPicture(1).save(dir.filePath(u"stone.png"_s)));
    const QSet<QString> before = filesIn(dir.path()) + QSet<QString>{u"stone.gif"_s};

    convertEntries(dir.path(), {u"stone.png"_s}, u".gif"_s);
    QCOMPARE(filesIn(dir.path()), before); // the killed write's file is recent
    QVERIFY(anHourAgo(killed));
    convertEntries(dir.path(), {u"stone.png"_s}, u".gif"_s);
    QCOMPARE(filesIn(dir.path()), before - QSet<QString>{killed});
}

void TestConversion::pictureBuffersKept()
{
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
    QSKIP("the C library's own allocator is not the one in use");
#else
    // A freed picture-sized block stays with the process for the next picture
    // instead of going back to the system and being faulted in again.
    morvane::convert::keepPictureBuffers();
    constexpr size_t Picture = 16u << 20;
    void *block = std::malloc(Picture);
    QVERIFY(block);
    std::memset(block, 1, Picture);
    std::free(block);
    QCOMPARE_GE(mallinfo2().fordblks, Picture);
#endif
}

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
