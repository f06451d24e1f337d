#include "base/atomicwrite.h"
#include "convert/allocator.h"
#include "convert/conversion.h"
#include "convert/memorybudget.h"
#include "support/fixtures.h"

#include <QDir>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>
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

// Saves count test pictures in folder, named "<prefix>00.png" on; their names.
QStringList writePictures(const QString &folder, const QString &prefix, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names.append(prefix + u"%1.png"_s.arg(i, 2, 10, QChar(u'0')));
        if (!testPicture(i).save(folder + u'/' + names.last()))
            qFatal("cannot save %s", qPrintable(names.last()));
    }
    return names;
}

QImage pixelsOf(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

QSet<QString> filesIn(const QString &folder)
{
    const QStringList names = fixtures::fileNames(folder);
    return QSet<QString>(names.begin(), names.end());
}

// Sets the modification time of path (a link itself, not its target) an hour back.
bool writtenAnHourAgo(const QString &path)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

ConversionOptions threadCount(int threads)
{
    ConversionOptions options;
    options.threads = threads;
    return options;
}

QStringList names(const ConversionReport &report)
{
    QStringList result;
    for (const EntryResult &entry : report.entries)
        result.append(entry.entry);
    return result;
}

} // namespace

class TestConversion : public QObject {
    Q_OBJECT

private slots:
    void pictureBuffersKept(); // first, before other tests have moved the C library's own thresholds
    void paths_data();
    void paths();
    void namesOfOneFile();
    void independence();
    void convertsFolder_data();
    void convertsFolder();
    void caseInsensitiveSelf();
    void dependentEntriesKeepListOrder();
    void longNames_data();
    void longNames();
    void leftTemporaryFiles();
    void durablePoint();
    void copyModes_data();
    void copyModes();
    void volumeCaseRule();
    void memoryBudget();
    void cancel();
    void progress_data();
    void progress();
    void reportTexts();
};

void TestConversion::paths_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("destText");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("dest"); // "?" when there is none

    const QChar bs = u'\\', sl = u'/';
    const QString face = u"\U0001F600"_s; // one character, two UTF-16 units
    QTest::newRow("bmp") << u"C:\\Textures"_s << u"stone.jpg"_s << u".bmp"_s << bs << u"C:\\Textures\\stone.jpg"_s << u"C:\\Textures\\stone.bmp"_s;
    QTest::newRow("gif, slash") << u"/tex"_s << u"stone.jpg"_s << u".gif"_s << sl << u"/tex/stone.jpg"_s << u"/tex/stone.gif"_s;
    QTest::newRow("no dot searched") << u"C:\\T"_s << u"stone.jpeg"_s << u".bmp"_s << bs << u"C:\\T\\stone.jpeg"_s << u"C:\\T\\stone..bmp"_s;
    QTest::newRow("four characters") << u"/t"_s << u"a.gi"_s << u".bmp"_s << sl << u"/t/a.gi"_s << u"/t/.bmp"_s;
    QTest::newRow("typed .jpeg") << u"/t"_s << u"stone.bmp"_s << u".jpeg"_s << sl << u"/t/stone.bmp"_s << u"/t/stone.jpe"_s;
    QTest::newRow("Select Dest") << u"/t"_s << u"stone.jpg"_s << u"Select Dest"_s << sl << u"/t/stone.jpg"_s << u"/t/stoneSele"_s;
    QTest::newRow("drive root") << u"C:\\"_s << u"stone.jpg"_s << u".gif"_s << bs << u"C:\\\\stone.jpg"_s << u"C:\\\\stone.gif"_s;
    QTest::newRow("three characters") << u"/t"_s << u"a.b"_s << u".bmp"_s << sl << u"/t/a.b"_s << u"?"_s;
    QTest::newRow("pair before the cut") << u"/t"_s << (u"abc"_s + face + u"jpg"_s) << u".bmp"_s << sl << (u"/t/abc"_s + face + u"jpg"_s) << u"/t/abc.bmp"_s;
    QTest::newRow("pair kept in base") << u"/t"_s << (face + u".jpg"_s) << u".bmp"_s << sl << (u"/t/"_s + face + u".jpg"_s) << (u"/t/"_s + face + u".bmp"_s);
    QTest::newRow("two pairs are two characters") << u"/t"_s << (face + face) << u".bmp"_s << sl << (u"/t/"_s + face + face) << u"?"_s;
    QTest::newRow("pair in suffix") << u"/t"_s << u"stone.jpg"_s << (u".b"_s + face + u"mp"_s) << sl << u"/t/stone.jpg"_s << (u"/t/stone.b"_s + face + u"m"_s);
}

void TestConversion::paths()
{
    QFETCH(QString, folder);
    QFETCH(QString, entry);
    QFETCH(QString, destText);
    QFETCH(QChar, separator);
    QFETCH(QString, source);
    QFETCH(QString, dest);

    QCOMPARE(SourcePath(folder, entry, separator), source);
    const std::optional<QString> got = DestPath(folder, entry, destText, separator);
    QCOMPARE(got.value_or(u"?"_s), dest);
    QCOMPARE(baseName(entry).has_value(), got.has_value());
}

// Doubled separators do not matter; letter case only when told it does not.
void TestConversion::namesOfOneFile()
{
    QVERIFY(sameFileName(u"/t//a.bmp"_s, u"/t/a.bmp"_s, Qt::CaseSensitive));
    QVERIFY(sameFileName(u"//a.bmp"_s, u"/a.bmp"_s, Qt::CaseSensitive));
    QVERIFY(!sameFileName(u"/t/Stone.BMP"_s, u"/t/stone.bmp"_s, Qt::CaseSensitive));
    QVERIFY(sameFileName(u"/t/Stone.BMP"_s, u"/t/stone.bmp"_s, Qt::CaseInsensitive));
    QVERIFY(!sameFileName(u"/t/a.bmp"_s, u"/t/a.bmp2"_s, Qt::CaseInsensitive));
}

// Entries may run side by side unless one writes what another reads or writes.
void TestConversion::independence()
{
    const auto independent = [](const QStringList &entries, const QString &destText,
                                Qt::CaseSensitivity cs = Qt::CaseSensitive) {
        return entriesIndependent(u"/t"_s, entries, destText, u'/', cs);
    };
    QVERIFY(independent({u"a.jpg"_s, u"b.jpg"_s}, u".bmp"_s, Qt::CaseInsensitive));
    QVERIFY(!independent({u"a.jpg"_s, u"a.png"_s}, u".bmp"_s)); // a shared destination
    QVERIFY(!independent({u"m..png"_s, u"m...bmp"_s}, u"png"_s)); // a destination is another's source
    QVERIFY(independent({u"a.bmp"_s, u"b.jpg"_s}, u".bmp"_s, Qt::CaseInsensitive)); // its own source only
    QVERIFY(independent({u"ab"_s, u"b.jpg"_s}, u".bmp"_s)); // a short name writes nothing
    QVERIFY(independent({u"a.jpg"_s, u"A.png"_s}, u".bmp"_s));
    QVERIFY(!independent({u"a.jpg"_s, u"A.png"_s}, u".bmp"_s, Qt::CaseInsensitive));
}

void TestConversion::convertsFolder_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<QString>("tail"); // a folder at a root ends in a separator
    QTest::newRow("serial") << 1 << QString();
    QTest::newRow("doubled separator") << 1 << u"/"_s;
}

// One run over every kind of entry: saved, unreadable, short, its own
// destination, and a destination that already holds another file.
void TestConversion::convertsFolder()
{
    QFETCH(int, threads);
    QFETCH(QString, tail);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path() + tail;
    QVERIFY(testPicture(1).save(folder + u"/stone.png"_s));
    QVERIFY(fixtures::writeFile(folder + u"/bad.png"_s, "not a picture"));
    QVERIFY(testPicture(2).save(folder + u"/ab"_s, "PNG"));
    QVERIFY(testPicture(3).save(folder + u"/self.bmp"_s));
    QVERIFY(testPicture(4).save(folder + u"/keep.png"_s));
    QVERIFY(testPicture(5).save(folder + u"/keep.bmp"_s));
    const QStringList entries{u"stone.png"_s, u"bad.png"_s, u"ab"_s, u"self.bmp"_s, u"keep.png"_s};
    QHash<QString, QByteArray> before;
    for (const QString &entry : entries)
        before[entry] = fixtures::readFile(folder + u'/' + entry);

    ConversionOptions options;
    options.threads = threads;
    const ConversionReport report = convertEntries(folder, entries, u".bmp"_s, options);

    QCOMPARE(report.parallel, threads > 1);
    QCOMPARE(names(report), entries);
    const QList<Outcome> expected{Outcome::Saved, Outcome::Failed, Outcome::Skipped, Outcome::Skipped, Outcome::Saved};
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(report.entries[i].outcome, expected[i]);
        QCOMPARE(report.entries[i].reason.isEmpty(), expected[i] == Outcome::Saved);
    }
    QCOMPARE(report.saved, 2);
    QCOMPARE(report.skipped, 2);
    QCOMPARE(report.failed, 1);
    QVERIFY(!report.cancelled && !report.allSaved());

    QCOMPARE(report.entries[0].destination, folder + u"/stone.bmp"_s);
    QCOMPARE(filesIn(folder), (QSet<QString>{u"stone.png"_s, u"bad.png"_s, u"ab"_s, u"self.bmp"_s, u"keep.png"_s,
                                             u"keep.bmp"_s, u"stone.bmp"_s}));
    QCOMPARE(pixelsOf(folder + u"/stone.bmp"_s), testPicture(1));
    QCOMPARE(pixelsOf(folder + u"/keep.bmp"_s), testPicture(4));
    for (const QString &entry : entries)
        QCOMPARE(fixtures::readFile(folder + u'/' + entry), before[entry]);
}

void TestConversion::caseInsensitiveSelf()
{
    QTemporaryDir dir;
    QVERIFY(testPicture(1).save(dir.filePath(u"Stone.BMP"_s), "BMP"));
    const QByteArray before = fixtures::readFile(dir.filePath(u"Stone.BMP"_s));
    ConversionOptions options;
    options.caseSensitivity = Qt::CaseInsensitive;
    const ConversionReport report = convertEntries(dir.path(), {u"Stone.BMP"_s}, u".bmp"_s, options);
    QCOMPARE(report.skipped, 1);
    QCOMPARE(filesIn(dir.path()), QSet<QString>{u"Stone.BMP"_s});
    QCOMPARE(fixtures::readFile(dir.filePath(u"Stone.BMP"_s)), before);
}

// Entries that share a destination, or write another entry's source, run in
// list order even when threads are offered; a copy that a later one replaces
// is told apart from the copies that are left.
void TestConversion::dependentEntriesKeepListOrder()
{
    QTemporaryDir dir;
    const QStringList shared{u"pic.png"_s, u"pic_png"_s, u"other.png"_s, u"pic.gif"_s};
    for (int i = 0; i < shared.size(); ++i)
        QVERIFY(testPicture(i).save(dir.filePath(shared[i]), "PNG"));
    QVERIFY(testPicture(5).save(dir.filePath(u"m..png"_s)));
    QVERIFY(testPicture(6).save(dir.filePath(u"m...bmp"_s)));

    const ConversionReport written = convertEntries(dir.path(), shared, u".bmp"_s, threadCount(4));
    QVERIFY(!written.parallel);
    QCOMPARE(pixelsOf(dir.filePath(u"pic.bmp"_s)), testPicture(3));
    QCOMPARE(written.saved, 2); // pic.bmp and other.bmp are there
    QCOMPARE(written.replaced, 2);
    const QList<Outcome> outcomes{Outcome::Replaced, Outcome::Replaced, Outcome::Saved, Outcome::Saved};
    for (int i = 0; i < shared.size(); ++i)
        QCOMPARE(written.entries[i].outcome, outcomes[i]);
    // Each names the copy that replaced it directly.
    QVERIFY2(written.entries[0].reason.contains(u" pic_png,"_s), qPrintable(written.entries[0].reason));
    QVERIFY2(written.entries[1].reason.contains(u" pic.gif,"_s), qPrintable(written.entries[1].reason));
    QCOMPARE(countsCaption(written), u" Saved 2, skipped 0, failed 0, 2 copies replaced in this run"_s);

    const ConversionReport chain = convertEntries(dir.path(), {u"m..png"_s, u"m...bmp"_s}, u"png"_s, threadCount(4));
    QVERIFY(!chain.parallel);
    QCOMPARE(chain.saved, 2);
    QCOMPARE(pixelsOf(dir.filePath(u"m.png"_s)), testPicture(5));
    QCOMPARE(pixelsOf(dir.filePath(u"m..png"_s)), testPicture(6));
}

// Names up to the file system's 255-byte limit are written: the temporary
// file's name does not grow with the destination's.
void TestConversion::longNames_data()
{
    QTest::addColumn<QString>("base");
    QTest::newRow("251 ASCII characters") << QString(251, u'a');
    QTest::newRow("83 CJK characters and two letters") << QString(83, QChar(0x77F3)) + u"ab"_s;
}

void TestConversion::longNames()
{
    QFETCH(QString, base);
    QTemporaryDir dir;
    QCOMPARE(QFile::encodeName(base + u".png"_s).size(), 255);
    QVERIFY(testPicture(1).save(dir.filePath(base + u".png"_s)));
    const ConversionReport report = convertEntries(dir.path(), {base + u".png"_s}, u".bmp"_s);
    QVERIFY2(report.allSaved(), qPrintable(reportMessage(report)));
    QCOMPARE(filesIn(dir.path()), (QSet<QString>{base + u".png"_s, base + u".bmp"_s}));
    QCOMPARE(pixelsOf(dir.filePath(base + u".bmp"_s)), testPicture(1));
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
    const QStringList others{u".morvane-0123456789abcdef.tmp"_s, u".morvane-0123456789ABCDEF.tmp"_s,
                             u"morvane-0123456789abcdef.tmp"_s, u".stone.bmp.1x2y.tmp"_s};
    for (const QString &name : others)
        QVERIFY(fixtures::writeFile(dir.filePath(name), "a user's text") && writtenAnHourAgo(dir.filePath(name)));
    const QString link = dir.filePath(u".morvane-1111111111111111.tmp"_s);
    QVERIFY(QFile::link(others[2], link) && writtenAnHourAgo(link));
    QFile inUse(dir.filePath(others[0]));
    QVERIFY(inUse.open(QIODevice::ReadOnly) && ::flock(inUse.handle(), LOCK_EX | LOCK_NB) == 0);
    QVERIFY(testPicture(1).save(dir.filePath(u"stone.png"_s)));
    const QSet<QString> before = filesIn(dir.path()) + QSet<QString>{u"stone.gif"_s};

    convertEntries(dir.path(), {u"stone.png"_s}, u".gif"_s);
    QCOMPARE(filesIn(dir.path()), before); // the killed write's file is recent
    QVERIFY(writtenAnHourAgo(dir.filePath(killed)));
    convertEntries(dir.path(), {u"stone.png"_s}, u".gif"_s);
    QCOMPARE(filesIn(dir.path()), before - QSet<QString>{killed});
}

// The names are flushed once per run, after the last copy; when that fails,
// no copy is reported saved.
void TestConversion::durablePoint()
{
    QTemporaryDir dir;
    const QStringList entries = writePictures(dir.path(), u"d"_s, 5);
    QStringList calls;
    bool copiesThere = true;
    QString failure;
    ConversionOptions options;
    options.threads = 3;
    options.makeDurable = [&](const QString &folder, QString *error) {
        calls.append(folder);
        for (int i = 0; i < 5; ++i)
            copiesThere = copiesThere && QFile::exists(dir.filePath(u"d%1.bmp"_s.arg(i, 2, 10, QChar(u'0'))));
        if (!failure.isEmpty())
            *error = failure;
        return failure.isEmpty();
    };
    ConversionReport report = convertEntries(dir.path(), entries, u".bmp"_s, options);
    QCOMPARE(calls, QStringList{dir.path()});
    QVERIFY(copiesThere);
    QVERIFY(report.durabilityError.isEmpty());

    // Nothing written (a copy's own destination, a short name), nothing to flush.
    calls.clear();
    convertEntries(dir.path(), {u"d00.bmp"_s, u"ab"_s}, u".bmp"_s, options);
    QVERIFY(calls.isEmpty());

    failure = u"the names may not be saved to disk (Input/output error)"_s;
    report = convertEntries(dir.path(), entries.mid(1, 2) + QStringList{u"ab"_s}, u".gif"_s, options);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(report.failed, 2);
    QCOMPARE(report.skipped, 1);
    QCOMPARE(report.durabilityError, failure);
    QCOMPARE(toneOf(report), ReportTone::Error);
    QCOMPARE(statusCaption(report, true), u" Saved 0, skipped 1, failed 2"_s);
    QCOMPARE(report.entries[0].reason, u"could not write d01.gif: "_s + failure);
    QVERIFY2(reportMessage(report).startsWith(u"2 of 3 images could not be converted\nThe names may not"_s),
             qPrintable(reportMessage(report)));
}

// A copy's permissions: a new file's (the umask's), a replaced regular
// file's own less set-user-ID, set-group-ID and sticky, and never those of
// a symbolic link's target.
void TestConversion::copyModes_data()
{
    QTest::addColumn<QString>("existing"); // "", "file" or "link"
    QTest::addColumn<int>("mode");         // of the file, or of the link's target
    QTest::addColumn<int>("expected");
    QTest::newRow("new") << QString() << 0 << 0644;
    QTest::newRow("replaced 0640") << u"file"_s << 0640 << 0640;
    QTest::newRow("replaced 0666") << u"file"_s << 0666 << 0666;
    QTest::newRow("replaced 4755") << u"file"_s << 04755 << 0755;
    QTest::newRow("replaced 3775") << u"file"_s << 03775 << 0775;
    QTest::newRow("link to 0666") << u"link"_s << 0666 << 0644;
    QTest::newRow("link to 4755") << u"link"_s << 04755 << 0644;
}

void TestConversion::copyModes()
{
    QFETCH(QString, existing);
    QFETCH(int, mode);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"copy.bmp"_s);
    const QString target = dir.filePath(u"elsewhere.bmp"_s);
    if (!existing.isEmpty()) {
        const QString file = existing == u"link" ? target : path;
        QVERIFY(fixtures::writeFile(file, "old"));
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(mode)), 0);
        if (existing == u"link")
            QVERIFY(QFile::link(target, path));
    }
    const mode_t umask = ::umask(022);
    const bool written = writeFileAtomically(path, "new", nullptr);
    ::umask(umask);
    QVERIFY(written);
    struct stat status {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &status), 0);
    QVERIFY(S_ISREG(status.st_mode));
    QCOMPARE(int(status.st_mode & 07777), expected);
    if (existing == u"link") {
        QCOMPARE(fixtures::readFile(target), QByteArray("old"));
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &status), 0);
        QCOMPARE(int(status.st_mode & 07777), mode);
    }
}

// The volume is asked how it compares names; one that cannot be asked
// leaves the platform's rule. (A volume that folds case is tried on a real
// one by tests/conversion/volumes.sh.)
void TestConversion::volumeCaseRule()
{
    QTemporaryDir dir;
    QCOMPARE(folderFoldsCase(dir.path()), std::optional<bool>(false));
    QVERIFY(fixtures::fileNames(dir.path()).isEmpty()); // the probe leaves nothing
    QCOMPARE(folderFoldsCase(dir.filePath(u"missing"_s)), std::nullopt);

    // Told that the volume folds case, a run takes Stone.png and stone.jpg to
    // one copy: one after the other, the first reported replaced.
    QVERIFY(testPicture(1).save(dir.filePath(u"Stone.png"_s)));
    QVERIFY(testPicture(2).save(dir.filePath(u"stone.jpg"_s), "JPEG", 100));
    ConversionOptions options = threadCount(2);
    options.caseSensitivity = Qt::CaseInsensitive;
    const ConversionReport report = convertEntries(dir.path(), {u"Stone.png"_s, u"stone.jpg"_s}, u".bmp"_s, options);
    QVERIFY(!report.parallel);
    QCOMPARE(report.replaced, 1);
    QCOMPARE(report.saved, 1);
    QCOMPARE(report.entries[0].outcome, Outcome::Replaced);
}

// One picture always goes ahead, however large; a second waits until the
// two fit or the first is given back; a run on a budget of one byte takes
// its pictures one at a time and writes what a single worker writes.
void TestConversion::memoryBudget()
{
    MemoryBudget budget(100);
    MemoryBudget::Reservation first = budget.reserve(1000);
    std::atomic<bool> granted{false};
    std::thread second([&] {
        const MemoryBudget::Reservation held = budget.reserve(1);
        granted = true;
    });
    while (budget.waiting() == 0)
        std::this_thread::yield();
    QVERIFY(!granted);
    first.release();
    second.join();
    QVERIFY(granted);
    QCOMPARE(budget.mostHeld(), 1);
    MemoryBudget::Reservation a = budget.reserve(50), b = budget.reserve(50); // both fit
    QCOMPARE(budget.mostHeld(), 2);

    QTemporaryDir dir;
    const QStringList entries = writePictures(dir.path(), u"m"_s, 6);
    MemoryBudget tiny(1);
    ConversionOptions options = threadCount(2);
    options.memoryBudget = &tiny;
    const ConversionReport report = convertEntries(dir.path(), entries, u".bmp"_s, options);
    QVERIFY(report.parallel);
    QCOMPARE(report.saved, 6);
    QCOMPARE(tiny.mostHeld(), 1);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(pixelsOf(dir.filePath(u"m%1.bmp"_s.arg(i, 2, 10, QChar(u'0')))), pixelsOf(dir.filePath(entries[i])));
}

void TestConversion::cancel()
{
    for (const int threads : {1, 2}) {
        QTemporaryDir dir;
        const QStringList entries = writePictures(dir.path(), u"c"_s, 8);
        std::atomic<bool> cancel{false};
        ConversionOptions options;
        options.threads = threads;
        options.cancel = &cancel;
        options.progress = [&](int done, int, const QString &) {
            if (done == 2)
                cancel = true;
        };
        const ConversionReport report = convertEntries(dir.path(), entries, u".bmp"_s, options);
        QVERIFY(report.cancelled);
        // Images already being converted finish; none is started after.
        QVERIFY(report.entries.size() >= 2 && report.entries.size() <= 1 + threads);
        QCOMPARE(names(report), entries.mid(0, report.entries.size()));
        QCOMPARE(report.saved, report.entries.size());
        QCOMPARE(report.notConverted, entries.size() - report.entries.size());
        QCOMPARE(filesIn(dir.path()).size(), entries.size() + report.saved);

        cancel = true;
        const ConversionReport none = convertEntries(dir.path(), entries, u".gif"_s, options);
        QVERIFY(none.entries.isEmpty() && none.cancelled);
        QCOMPARE(none.notConverted, 8);
    }
}

void TestConversion::progress_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("serial") << 1;
    QTest::newRow("three threads") << 3;
}

void TestConversion::progress()
{
    QFETCH(int, threads);
    QTemporaryDir dir;
    const QStringList entries = writePictures(dir.path(), u"g"_s, 9);
    QList<int> counts;
    QStringList seen;
    std::atomic<int> inside{0};
    bool overlapped = false;
    bool wrongTotal = false;
    ConversionOptions options;
    options.threads = threads;
    options.progress = [&](int done, int total, const QString &entry) {
        if (inside.fetch_add(1) != 0)
            overlapped = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // widen any overlap
        wrongTotal = wrongTotal || total != 9;
        counts.append(done);
        seen.append(entry);
        inside.fetch_sub(1);
    };
    convertEntries(dir.path(), entries, u".bmp"_s, options);
    QVERIFY(!overlapped);
    QVERIFY(!wrongTotal);
    QCOMPARE(counts, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    if (threads == 1)
        QCOMPARE(seen, entries);
    seen.sort();
    QCOMPARE(seen, entries);
}

// Failures lead with a summary; everything saved tells nothing more than
// the caption.
void TestConversion::reportTexts()
{
    ConversionReport report;
    for (int i = 0; i < 25; ++i)
        report.entries.append({u"f%1.jpg"_s.arg(i), u"/t/f%1.gif"_s.arg(i), Outcome::Failed, u"broken"_s});
    report.entries.insert(3, {u"ok.jpg"_s, u"/t/ok.gif"_s, Outcome::Saved, QString()});
    report.entries.insert(0, {u"ab"_s, QString(), Outcome::Skipped, u"too short"_s});
    report.saved = 1;
    report.skipped = 1;
    report.failed = 25;
    QCOMPARE(toneOf(report), ReportTone::Error);
    QCOMPARE(statusCaption(report, true), u" Saved 1, skipped 1, failed 25"_s);

    const QStringList lines = reportMessage(report).split(u'\n');
    QCOMPARE(lines.size(), 23);
    QCOMPARE(lines[0], u"25 of 27 images could not be converted"_s);
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[2], u"ab - skipped: too short"_s);
    QCOMPARE(lines[3], u"f0.jpg - failed: broken"_s);
    QVERIFY(!lines.join(u'\n').contains(u"ok.jpg"_s));
    QCOMPARE(lines.last(), u"and 6 more"_s);
    QCOMPARE(reportMessage(report, 26).split(u'\n').size(), 28);

    report.notConverted = 4;
    report.cancelled = true;
    QCOMPARE(countsCaption(report), u" Saved 1, skipped 1, failed 25, not converted 4 (cancelled)"_s);
    QVERIFY(reportMessage(report).startsWith(u"25 of 31 images could not be converted\n"_s));
    QVERIFY(reportMessage(report).endsWith(u"Cancelled: 4 of 31 images were not converted."_s));

    ConversionReport one;
    one.entries.append({u"a.jpg"_s, u"/t/a.gif"_s, Outcome::Failed, u"broken"_s});
    one.failed = 1;
    QCOMPARE(reportMessage(one), u"1 of 1 image could not be converted\n\na.jpg - failed: broken"_s);

    ConversionReport clean;
    clean.entries.append({u"ok.jpg"_s, u"/t/ok.gif"_s, Outcome::Saved, QString()});
    clean.saved = 1;
    QCOMPARE(toneOf(clean), ReportTone::Quiet);
    QCOMPARE(statusCaption(clean, false), u" Saved  image"_s);
    QCOMPARE(statusCaption(clean, true), u" Saved  images's"_s);
    QCOMPARE(reportMessage(clean), QString());
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
