// The command line: "morvane cfg" prints what the main window makes, "morvane
// convert" converts as the converter does, both with no display, and bad
// input gets a one-line message, exit status 2 and nothing written.
#include "app/commandline.h"
#include "app/frmmain.h"
#include "support/fixtures.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/multilineedit.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <iterator>

#include <unistd.h>

using namespace morvane;
using namespace Qt::StringLiterals;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The line that tells a name left out of the listing.
QByteArray leftOutLine(const char *command, const char *name)
{
    return QByteArray("morvane ") + command + ": left out " + name + ": name is not valid UTF-8\n";
}

QByteArray pngBytes(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

// The installed program's way: the real executable, with no display at all,
// in the working folder workIn (this one when empty), its standard output
// to the file output when given. The arguments and workIn may name bytes
// that are not valid UTF-8 as \xHH (see fixtures::rawBytes): Qt's strings
// cannot carry those, so the program is started here, in the child.
Run runProgram(const QStringList &arguments, const QString &workIn = {}, const QString &output = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    QByteArrayList argvBytes{QByteArrayLiteral(MORVANE_EXECUTABLE)};
    for (const QString &argument : arguments)
        argvBytes.append(fixtures::rawBytes(argument));
    QByteArrayList envBytes;
    for (const QString &variable : environment.toStringList())
        envBytes.append(variable.toLocal8Bit());
    std::vector<char *> argv;
    std::vector<char *> envp;
    for (QByteArray &bytes : argvBytes)
        argv.push_back(bytes.data());
    for (QByteArray &bytes : envBytes)
        envp.push_back(bytes.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const QByteArray folder = fixtures::rawBytes(workIn);
    process.setChildProcessModifier([&] {
        if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    });
    if (!output.isEmpty())
        process.setStandardOutputFile(output);
    process.start(QStringLiteral(MORVANE_EXECUTABLE));
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cfgMatchesTheWindow_data();
    void cfgMatchesTheWindow();
    void cfgToFile();
    void convertFolder();
    void refusals_data();
    void refusals();
    void helpAndVersion_data();
    void helpAndVersion();
    void windowFolder();

private:
    fixtures::RawTemporaryDir m_dir;
};

void TestCommandLine::initTestCase()
{
    for (const QString &name : {u"stone.jpg"_s, u"wood.JPG"_s, u"tex10.png"_s, u"tex2.png"_s, u"notes.backup"_s,
                                u"say \"hi\".tga"_s, u".hidden.jpg"_s})
        test::touch(m_dir.filePath(name));
    for (const QString &name : {u"grass"_s, u"old.set"_s, u".git"_s})
        QVERIFY(QDir(m_dir.path()).mkdir(name));
    // Left out of the window's lists and the command's, and told by the command.
    QVERIFY(fixtures::makeRaw(m_dir.path(), u"caf\\xe9.jpg"_s, false));
    QVERIFY(fixtures::makeRaw(m_dir.path(), u"d\\xe9"_s, true));
}

// Each row sets the window's controls as its options say; the command's
// output is Text1 after "Apply" and "Go!", byte for byte. Names that are not
// valid UTF-8 are in neither, and the command tells them and exits with 1.
void TestCommandLine::cfgMatchesTheWindow_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("leftOut");
    const QByteArray file = leftOutLine("cfg", "caf\\xe9.jpg");
    QTest::newRow("defaults") << QStringList{} << file;
    QTest::newRow("number, folder, comment") << QStringList{u"--map"_s, u"1 2"_s, u"--folder"_s, u"two/folders/"_s,
                                                            u"--comment"_s, u"Castle \"walls\" ✓"_s}
                                             << file;
    QTest::newRow("empty comment and number") << QStringList{u"--comment"_s, QString(), u"--map"_s, QString()} << file;
    QTest::newRow("folders, files, no extensions")
        << QStringList{u"--folders"_s, u"--files"_s, u"--remove-extension"_s} << leftOutLine("cfg", "d\\xe9") + file;
    QTest::newRow("folders alone") << QStringList{u"--folders"_s} << leftOutLine("cfg", "d\\xe9");
    QTest::newRow("mask") << QStringList{u"--mask"_s, u"*.p/ng"_s, u"--remove-extension"_s} << QByteArray();
}

void TestCommandLine::cfgMatchesTheWindow()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, leftOut);
    test::RecordingMessageBoxes boxes;
    test::RecordingClipboard clipboard;
    app::FrmMain window(boxes, clipboard);
    const auto control = [&window](const char *name) { return test::control<QWidget>(&window, name); };
    QVERIFY(qobject_cast<ui::DirList *>(control("Dir1"))->setPath(m_dir.path()));
    for (int i = 0; i < options.size(); ++i) {
        const QString option = options[i];
        const auto box = [&](const char *name) { return qobject_cast<QLineEdit *>(control(name)); };
        const auto tick = [&](const char *name) { qobject_cast<QCheckBox *>(control(name))->setChecked(true); };
        if (option == u"--map")
            box("txtNum")->setText(options[++i]);
        else if (option == u"--folder")
            box("WhatFolder")->setText(options[++i]);
        else if (option == u"--comment")
            box("txtComment")->setText(options[++i]);
        else if (option == u"--mask")
            box("txtMaska")->setText(options[++i]);
        else if (option == u"--folders")
            tick("chkDirektorije");
        else if (option == u"--remove-extension")
            tick("chkMakni_ekstenziju");
    }
    if (options.contains(u"--folders"_s) && !options.contains(u"--files"_s))
        qobject_cast<QCheckBox *>(control("chkDatoteke"))->setChecked(false);
    qobject_cast<QPushButton *>(control("Izlistaj"))->click();
    qobject_cast<QPushButton *>(control("Command1"))->click();

    const Run run = runProgram(QStringList{u"cfg"_s} + options + QStringList{m_dir.path()});
    QCOMPARE(run.status, leftOut.isEmpty() ? 0 : 1);
    QCOMPARE(run.out, qobject_cast<ui::MultiLineEdit *>(control("Text1"))->text().toUtf8());
    QCOMPARE(run.err, leftOut);
}

void TestCommandLine::cfgToFile()
{
    const QString file = m_dir.filePath(u"out/walls.cfg"_s);
    QVERIFY(QDir(m_dir.path()).mkdir(u"out"_s));
    const Run toFile = runProgram({u"cfg"_s, u"--map"_s, u"7"_s, u"--output"_s, file, m_dir.path()});
    QCOMPARE(toFile.status, 1); // a name left out, and the rest written
    QCOMPARE(toFile.err, leftOutLine("cfg", "caf\\xe9.jpg"));
    QVERIFY(toFile.out.isEmpty());
    QCOMPARE(fixtures::readFile(file), runProgram({u"cfg"_s, u"--map"_s, u"7"_s, m_dir.path()}).out);
    QCOMPARE(fixtures::fileNames(m_dir.filePath(u"out"_s)), QStringList{u"walls.cfg"_s});
    QVERIFY(QDir(m_dir.filePath(u"out"_s)).removeRecursively());
}

// A saved copy, a skip, a failure, a name left out beside its look-alike
// of valid UTF-8: the files, the lines, the exit status.
void TestCommandLine::convertFolder()
{
    const fixtures::RawTemporaryDir dir;
    QVERIFY(fixtures::photoLike(20, 10, 1).save(dir.filePath(u"a.png"_s)));
    QVERIFY(fixtures::makeRaw(dir.path(), u"caf\\xef\\xbf\\xbd.png"_s, false, pngBytes(fixtures::photoLike(20, 10, 4))));
    QVERIFY(fixtures::makeRaw(dir.path(), u"caf\\xe9.png"_s, false, pngBytes(fixtures::photoLike(20, 10, 5))));
    QVERIFY(fixtures::photoLike(20, 10, 2).save(dir.filePath(u"b.bmp"_s)));
    QVERIFY(fixtures::writeFile(dir.filePath(u"c.jpg"_s), "BM not a picture"));
    QVERIFY(fixtures::writeFile(dir.filePath(u"d.txt"_s), "left alone"));
    const Run run = runProgram({u"convert"_s, u"--to"_s, u".bmp"_s, u"--only"_s, u"*.?m?;*.?n?;*.jpg"_s, dir.path()});
    QCOMPARE(run.status, 1);
    QCOMPARE(QString::fromUtf8(run.out).split(u'\n'),
             (QStringList{u"saved\ta.png\ta.bmp"_s, u"skipped\tb.bmp\tthe destination is the source itself"_s,
                          u"failed\tc.jpg\tcould not be read: file is truncated"_s,
                          u"saved\tcaf\ufffd.png\tcaf\ufffd.bmp"_s,
                          u"saved 2, replaced 0, skipped 1, failed 1 of 4, left out 1 (name is not valid UTF-8)"_s,
                          QString()}));
    QCOMPARE(run.err, leftOutLine("convert", "caf\\xe9.png"));
    // Qt lists neither the source left out nor any copy of it: the system counts them.
    QCOMPARE(fixtures::fileNames(dir.path()), (QStringList{u"a.bmp"_s, u"a.png"_s, u"b.bmp"_s, u"c.jpg"_s,
                                                           u"caf\ufffd.bmp"_s, u"caf\ufffd.png"_s, u"d.txt"_s}));
    const std::filesystem::directory_iterator entries(QFile::encodeName(dir.path()).toStdString());
    QCOMPARE(std::distance(begin(entries), end(entries)), 8);
    QVERIFY(fixtures::psnr(QImage(dir.filePath(u"a.bmp"_s)), QImage(dir.filePath(u"a.png"_s))) > 90);
    QVERIFY(fixtures::psnr(QImage(dir.filePath(u"caf\ufffd.bmp"_s)), fixtures::photoLike(20, 10, 4)) > 90);
}

void TestCommandLine::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("workIn"); // {dir} is the row's folder
    QTest::addColumn<QString>("output");
    const QString missing = u"/no/such/folder"_s;
    const auto row = [](const char *name, const QStringList &arguments, const QString &message,
                        const QString &workIn = {}, int status = 2, const QString &output = {}) {
        QTest::newRow(name) << arguments << message << status << workIn << output;
    };
    row("cfg, missing folder", {u"cfg"_s, missing}, u"morvane cfg: cannot open the folder /no/such/folder\n"_s);
    row("cfg, unknown option", {u"cfg"_s, u"--colour"_s, QString()}, u"morvane cfg: Unknown option 'colour'.\n"_s);
    row("cfg, number too long", {u"cfg"_s, u"--map"_s, u"1234"_s, QString()},
        u"morvane cfg: --map takes at most 3 characters\n"_s);
    row("convert, unknown suffix", {u"convert"_s, u"--to"_s, u"Select Dest"_s, QString()},
        u"morvane convert: no picture format is written under the suffix Select Dest\n"_s);
    row("convert, no suffix", {u"convert"_s, QString()}, u"morvane convert: --to SUFFIX is needed\n"_s);
    row("convert, missing folder", {u"convert"_s, u"--to"_s, u".bmp"_s, missing},
        u"morvane convert: cannot open the folder /no/such/folder\n"_s);
    // The window's refusals need no display.
    row("window, mistyped command", {u"covert"_s, u"--to"_s, u".jpg"_s, u"tex"_s},
        u"morvane: no command or folder named covert (see morvane --help)\n"_s);
    row("window, unknown option", {u"-platform"_s, u"xcb"_s, u"--colour"_s}, u"morvane: Unknown option 'colour'.\n"_s);
    row("window, missing folder", {missing}, u"morvane: cannot open the folder /no/such/folder\n"_s);
    row("window, no display", {QString()},
        u"morvane: no display to open the window on; morvane cfg and morvane convert need none\n"_s);
    // Paths that are not valid UTF-8, the argument's own or the current folder's.
    row("window, folder not UTF-8", {u"d\\xe9"_s}, u"morvane: cannot open the folder d\\xe9: its path is not valid UTF-8\n"_s,
        u"{dir}"_s);
    row("window, current folder not UTF-8", {u"-reverse"_s},
        u"morvane: cannot open the current folder {dir}/d\\xe9: its path is not valid UTF-8\n"_s, u"{dir}/d\\xe9"_s);
    row("cfg, folder not UTF-8", {u"cfg"_s, u"d\\xe9"_s},
        u"morvane cfg: cannot open the folder d\\xe9: its path is not valid UTF-8\n"_s, u"{dir}"_s);
    row("convert, current folder not UTF-8", {u"convert"_s, u"--to"_s, u".bmp"_s, u"."_s},
        u"morvane convert: cannot open the folder {dir}/d\\xe9: its path is not valid UTF-8\n"_s, u"{dir}/d\\xe9"_s);
    row("cfg, output not UTF-8", {u"cfg"_s, u"--output=o\\xe9.cfg"_s, QString()},
        u"morvane cfg: cannot write o\\xe9.cfg: its path is not valid UTF-8\n"_s, u"{dir}"_s);
    // Standard output that cannot be written.
    row("cfg, output to a full device", {u"cfg"_s, QString()},
        u"morvane cfg: cannot write the output (No space left on device)\n"_s, {}, 1, u"/dev/full"_s);
    row("convert, output to a full device", {u"convert"_s, u"--to"_s, u".bmp"_s, u"--only"_s, u"*.none"_s, QString()},
        u"morvane convert: cannot write the output (No space left on device)\n"_s, {}, 2, u"/dev/full"_s);
}

// The exit status (2 unless the row says), one line naming the problem, and
// nothing written.
void TestCommandLine::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QFETCH(int, status);
    QFETCH(QString, workIn);
    QFETCH(QString, output);
    const fixtures::RawTemporaryDir dir;
    QVERIFY(fixtures::photoLike(8, 8, 3).save(dir.filePath(u"a.png"_s)));
    QVERIFY(fixtures::makeRaw(dir.path(), u"d\\xe9"_s, true));
    const QStringList before = fixtures::fileNames(dir.path());
    if (arguments.last().isEmpty())
        arguments.last() = dir.path();
    const Run run = runProgram(arguments, workIn.replace(u"{dir}"_s, dir.path()), output);
    QCOMPARE(run.status, status);
    QCOMPARE(QString::fromLocal8Bit(run.err), message.replace(u"{dir}"_s, dir.path()));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(fixtures::fileNames(dir.path()), before);
}

void TestCommandLine::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("begins");
    QTest::newRow("--help") << QStringList{u"--help"_s} << u"Usage: morvane [FOLDER]\n"_s;
    QTest::newRow("--version") << QStringList{u"--version"_s} << u"morvane %1\n"_s.arg(QStringLiteral(MORVANE_VERSION));
    QTest::newRow("cfg --help") << QStringList{u"cfg"_s, u"--help"_s} << u"Usage: morvane cfg [options] FOLDER\n"_s;
    QTest::newRow("convert --help") << QStringList{u"convert"_s, u"--help"_s}
                                    << u"Usage: morvane convert [options] FOLDER\n"_s;
}

void TestCommandLine::helpAndVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, begins);
    const Run run = runProgram(arguments);
    QCOMPARE(run.status, 0);
    QVERIFY2(QString::fromUtf8(run.out).startsWith(begins), run.out.constData());
}

// The folder the window opens in; one that cannot be opened keeps it shut.
void TestCommandLine::windowFolder()
{
    const QByteArray dir = QFile::encodeName(m_dir.path());
    QCOMPARE(app::windowFolder({"morvane"}).value_or(u"?"_s), QString());
    QCOMPARE(app::windowFolder({"morvane", "-style", "fusion", dir + "/grass/.."}).value_or(u"?"_s),
             QDir::toNativeSeparators(m_dir.path()));
    QVERIFY(!app::windowFolder({"morvane", "/no/such/folder"}));
    QVERIFY(!app::windowFolder({"morvane", dir, dir}));

    QProcess process;
    process.start(QStringLiteral(MORVANE_EXECUTABLE), {u"-platform"_s, u"offscreen"_s, u"/no/such/folder"_s});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("morvane: cannot open the folder /no/such/folder\n"));
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
