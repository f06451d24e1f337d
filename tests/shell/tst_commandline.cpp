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

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace morvane;
using namespace Qt::StringLiterals;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The installed program's way: the real executable, with no display at all.
Run runProgram(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MORVANE_EXECUTABLE), arguments);
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
    QTemporaryDir m_dir;
};

void TestCommandLine::initTestCase()
{
    for (const QString &name : {u"stone.jpg"_s, u"wood.JPG"_s, u"tex10.png"_s, u"tex2.png"_s, u"notes.backup"_s,
                                u"say \"hi\".tga"_s, u".hidden.jpg"_s})
        test::touch(m_dir.filePath(name));
    for (const QString &name : {u"grass"_s, u"old.set"_s, u".git"_s})
        QVERIFY(QDir(m_dir.path()).mkdir(name));
}

// Each row sets the window's controls as its options say; the command's
// output is Text1 after "Apply" and "Go!", byte for byte.
void TestCommandLine::cfgMatchesTheWindow_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("defaults") << QStringList{};
    QTest::newRow("number, folder, comment") << QStringList{u"--map"_s, u"1 2"_s, u"--folder"_s, u"two/folders/"_s,
                                                            u"--comment"_s, u"Castle \"walls\" ✓"_s};
    QTest::newRow("empty comment and number") << QStringList{u"--comment"_s, QString(), u"--map"_s, QString()};
    QTest::newRow("folders, files, no extensions")
        << QStringList{u"--folders"_s, u"--files"_s, u"--remove-extension"_s};
    QTest::newRow("folders alone") << QStringList{u"--folders"_s};
    QTest::newRow("mask") << QStringList{u"--mask"_s, u"*.p/ng"_s, u"--remove-extension"_s};
}

void TestCommandLine::cfgMatchesTheWindow()
{
    QFETCH(QStringList, options);
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
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, qobject_cast<ui::MultiLineEdit *>(control("Text1"))->text().toUtf8());
    QVERIFY(run.err.isEmpty());
}

void TestCommandLine::cfgToFile()
{
    const QString file = m_dir.filePath(u"out/walls.cfg"_s);
    QVERIFY(QDir(m_dir.path()).mkdir(u"out"_s));
    const Run toFile = runProgram({u"cfg"_s, u"--map"_s, u"7"_s, u"--output"_s, file, m_dir.path()});
    QCOMPARE(toFile.status, 0);
    QVERIFY(toFile.out.isEmpty());
    QCOMPARE(fixtures::readFile(file), runProgram({u"cfg"_s, u"--map"_s, u"7"_s, m_dir.path()}).out);
    QCOMPARE(fixtures::fileNames(m_dir.filePath(u"out"_s)), QStringList{u"walls.cfg"_s});
    QVERIFY(QDir(m_dir.filePath(u"out"_s)).removeRecursively());
}

// A saved copy, a skip, a failure: the files, the lines, the exit status.
void TestCommandLine::convertFolder()
{
    QTemporaryDir dir;
    QVERIFY(fixtures::photoLike(20, 10, 1).save(dir.filePath(u"a.png"_s)));
    QVERIFY(fixtures::photoLike(20, 10, 2).save(dir.filePath(u"b.bmp"_s)));
    QVERIFY(fixtures::writeFile(dir.filePath(u"c.jpg"_s), "BM not a picture"));
    QVERIFY(fixtures::writeFile(dir.filePath(u"d.txt"_s), "left alone"));
    const Run run = runProgram({u"convert"_s, u"--to"_s, u".bmp"_s, u"--only"_s, u"*.?m?;*.?n?;*.jpg"_s, dir.path()});
    QCOMPARE(run.status, 1);
    QCOMPARE(QString::fromUtf8(run.out).split(u'\n'),
             (QStringList{u"saved\ta.png\ta.bmp"_s, u"skipped\tb.bmp\tthe destination is the source itself"_s,
                          u"failed\tc.jpg\tcould not be read: file is truncated"_s,
                          u"saved 1, replaced 0, skipped 1, failed 1 of 3"_s, QString()}));
    QCOMPARE(fixtures::fileNames(dir.path()), (QStringList{u"a.bmp"_s, u"a.png"_s, u"b.bmp"_s, u"c.jpg"_s, u"d.txt"_s}));
    QVERIFY(fixtures::psnr(QImage(dir.filePath(u"a.bmp"_s)), QImage(dir.filePath(u"a.png"_s))) > 90);
}

void TestCommandLine::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString missing = u"/no/such/folder"_s;
    QTest::newRow("cfg, missing folder") << QStringList{u"cfg"_s, missing}
                                         << u"morvane cfg: cannot open the folder /no/such/folder\n"_s;
    QTest::newRow("cfg, unknown option") << QStringList{u"cfg"_s, u"--colour"_s, QString()}
                                         << u"morvane cfg: Unknown option 'colour'.\n"_s;
    QTest::newRow("cfg, number too long") << QStringList{u"cfg"_s, u"--map"_s, u"1234"_s, QString()}
                                          << u"morvane cfg: --map takes at most 3 characters\n"_s;
    QTest::newRow("convert, unknown suffix")
        << QStringList{u"convert"_s, u"--to"_s, u"Select Dest"_s, QString()}
        << u"morvane convert: no picture format is written under the suffix Select Dest\n"_s;
    QTest::newRow("convert, no suffix") << QStringList{u"convert"_s, QString()}
                                        << u"morvane convert: --to SUFFIX is needed\n"_s;
    QTest::newRow("convert, missing folder") << QStringList{u"convert"_s, u"--to"_s, u".bmp"_s, missing}
                                             << u"morvane convert: cannot open the folder /no/such/folder\n"_s;
}

// Exit status 2, one line naming the problem, and nothing written.
void TestCommandLine::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(fixtures::photoLike(8, 8, 3).save(dir.filePath(u"a.png"_s)));
    if (arguments.last().isEmpty())
        arguments.last() = dir.path();
    const Run run = runProgram(arguments);
    QCOMPARE(run.status, 2);
    QCOMPARE(QString::fromLocal8Bit(run.err), message);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(fixtures::fileNames(dir.path()), QStringList{u"a.png"_s});
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
    QCOMPARE(app::windowFolder({u"morvane"_s}).value_or(u"?"_s), QString());
    QCOMPARE(app::windowFolder({u"morvane"_s, m_dir.path() + u"/grass/.."_s}).value_or(u"?"_s),
             QDir::toNativeSeparators(m_dir.path()));
    QVERIFY(!app::windowFolder({u"morvane"_s, u"/no/such/folder"_s}));
    QVERIFY(!app::windowFolder({u"morvane"_s, m_dir.path(), m_dir.path()}));

    QProcess process;
    process.start(QStringLiteral(MORVANE_EXECUTABLE), {u"-platform"_s, u"offscreen"_s, u"/no/such/folder"_s});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("morvane: cannot open the folder /no/such/folder\n"));
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
