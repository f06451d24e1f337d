// The command line: "morvane cfg" prints what the main window makes, "morvane
// convert" converts as the converter does, both with no display. Each run of
// commandline.txt: its exit status, output, messages and the files it leaves.
#include "app/frmmain.h"
#include "convert/picture.h"
#include "support/fixtures.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/multilineedit.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
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

// The installed program in the working folder workIn (this one when empty),
// its standard output to the file output when given. The arguments and workIn
// may spell bytes that are not valid UTF-8 as \xHH (see fixtures::rawBytes):
// Qt's strings cannot carry those, so the child starts the program itself.
Run runProgram(const QStringList &arguments, const QString &workIn, const QString &output)
{
    QByteArrayList bytes{QByteArrayLiteral(MORVANE_EXECUTABLE)};
    for (const QString &argument : arguments)
        bytes.append(fixtures::rawBytes(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray folder = fixtures::rawBytes(workIn);
    QProcess process;
    process.setChildProcessModifier([&] {
        if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    });
    if (!output.isEmpty())
        process.setStandardOutputFile(output);
    process.start(QStringLiteral(MORVANE_EXECUTABLE));
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// The main window's Text1 after "Apply" and "Go!" on folder, its controls set
// as the cfg options say.
QByteArray windowCfg(const QString &folder, const QStringList &options)
{
    test::RecordingMessageBoxes boxes;
    test::RecordingClipboard clipboard;
    app::FrmMain window(boxes, clipboard);
    static const QHash<QString, const char *> fields{
        {u"--map"_s, "txtNum"}, {u"--folder"_s, "WhatFolder"}, {u"--comment"_s, "txtComment"}, {u"--mask"_s, "txtMaska"}};
    static const QHash<QString, const char *> ticks{{u"--folders"_s, "chkDirektorije"},
                                                    {u"--remove-extension"_s, "chkMakni_ekstenziju"}};
    if (!test::control<ui::DirList>(&window, "Dir1")->setPath(folder))
        return "no such folder";
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (fields.contains(options[i]))
            test::control<QLineEdit>(&window, fields[options[i]])->setText(options[i + 1]);
        else if (ticks.contains(options[i]))
            test::control<QCheckBox>(&window, ticks[options[i]])->setChecked(true);
    }
    if (options.contains(u"--folders"_s) && !options.contains(u"--files"_s))
        test::control<QCheckBox>(&window, "chkDatoteke")->setChecked(false);
    test::control<QPushButton>(&window, "Izlistaj")->click();
    test::control<QPushButton>(&window, "Command1")->click();
    return test::control<ui::MultiLineEdit>(&window, "Text1")->text().toUtf8();
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void runs_data();
    void runs();
};

void TestCommandLine::initTestCase()
{
    // The program runs with no display at all.
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
}

// The runs of commandline.txt, each the list of its "key<tab>value" lines.
void TestCommandLine::runs_data()
{
    QTest::addColumn<QStringList>("lines");
    QFile file(QFINDTESTDATA("commandline.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QString name;
    QStringList lines;
    const QStringList all = QString::fromUtf8(file.readAll()).split(u'\n') << QString(); // ends the last run
    for (const QString &line : all) {
        if (line.startsWith(u'\t')) {
            lines.append(line.mid(1));
            continue;
        }
        if (line.startsWith(u'#') || (line.isEmpty() && name.isEmpty()))
            continue;
        if (!name.isEmpty())
            QTest::newRow(qPrintable(name)) << lines;
        name = line;
        lines.clear();
    }
}

void TestCommandLine::runs()
{
    QFETCH(QStringList, lines);
    // The run's folder, as commandline.txt tells.
    const fixtures::RawTemporaryDir dir;
    for (const QString &name : {u"stone.jpg"_s, u"wood.JPG"_s, u"tex10.png"_s, u"tex2.png"_s, u"notes.backup"_s,
                                u"say \"hi\".tga"_s, u".hidden.jpg"_s})
        test::touch(dir.filePath(name));
    for (const QString &name : {u"grass"_s, u"old.set"_s, u".git"_s})
        QVERIFY(QDir(dir.path()).mkdir(name));
    QVERIFY(fixtures::photoLike(20, 10, 1).save(dir.filePath(u"a.png"_s)));
    QVERIFY(fixtures::photoLike(20, 10, 2).save(dir.filePath(u"b.bmp"_s)));
    QVERIFY(fixtures::photoLike(20, 10, 4).save(dir.filePath(u"caf\ufffd.png"_s)));
    QVERIFY(fixtures::writeFile(dir.filePath(u"c.jpg"_s), "BM not a picture"));
    QVERIFY(fixtures::writeFile(dir.filePath(u"d.txt"_s), "left alone"));
    QVERIFY(fixtures::makeRaw(dir.path(), u"caf\\xe9.png"_s, false, fixtures::readFile(dir.filePath(u"a.png"_s))));
    QVERIFY(fixtures::makeRaw(dir.path(), u"d\\xe9"_s, true));
    const auto values = [&](const char *key) {
        QStringList found;
        for (const QString &line : lines) {
            if (line.section(u'\t', 0, 0) == QLatin1StringView(key))
                found.append(line.section(u'\t', 1).replace(u"{dir}"_s, dir.path())
                                 .replace(u"@VERSION@"_s, QStringLiteral(MORVANE_VERSION)));
        }
        return found;
    };
    // Pictures and texts the run adds to its folder: "picture NAME W H", "text NAME CONTENT".
    for (const QString &picture : values("picture")) {
        const QStringList field = picture.split(u'\t');
        QVERIFY(QDir(dir.path()).mkpath(QFileInfo(field[0]).path()));
        QVERIFY(fixtures::photoLike(field[1].toInt(), field[2].toInt(), 7).save(dir.filePath(field[0])));
    }
    for (const QString &text : values("text"))
        QVERIFY(fixtures::writeFile(dir.filePath(text.section(u'\t', 0, 0)), text.section(u'\t', 1).toUtf8()));
    const QStringList runs = values("run");
    const QStringList arguments = runs.value(runs.size() - 1).split(u'\t');
    const QStringList err = values("err"), out = values("out"), made = values("made") + values("copy");
    QStringList files = fixtures::fileNames(dir.path()) + made;
    files.sort();

    const QString window = values("window").value(0);
    const QByteArray cfg = // made before the run, which may add a file
        window.isEmpty() ? QByteArray() : windowCfg(arguments.last(), arguments.mid(1, arguments.size() - 2));

    // The runs before the last prepare its folder; the last one is checked.
    for (const QString &earlier : runs.mid(0, runs.size() - 1))
        QVERIFY(runProgram(earlier.split(u'\t'), QString(), QString()).status >= 0);
    const Run run = runProgram(arguments, values("in").value(0), values("stdout").value(0));
    QCOMPARE(run.status, values("status").value(0, u"0"_s).toInt());
    QCOMPARE(QString::fromLocal8Bit(run.err), err.isEmpty() ? QString() : err.join(u'\n') + u'\n');
    if (!window.isEmpty()) {
        QCOMPARE(window == u"stdout" ? run.out : fixtures::readFile(dir.filePath(window)), cfg);
        QVERIFY(window == u"stdout" || run.out.isEmpty());
    } else {
        const QStringList printed = QString::fromUtf8(run.out).split(u'\n');
        QCOMPARE(printed.mid(0, std::max<qsizetype>(out.size(), 1)), out.isEmpty() ? QStringList{QString()} : out);
    }
    // Qt lists neither the two names that are not UTF-8 nor any copy of them: the system counts them.
    QCOMPARE(fixtures::fileNames(dir.path()), files);
    const std::filesystem::directory_iterator entries(QFile::encodeName(dir.path()).toStdString());
    QCOMPARE(std::distance(begin(entries), end(entries)), files.size() + 2);
    // "same A B": two pictures with the same pixels; "size NAME W H"; "absent NAME".
    for (const QString &same : values("same")) {
        const QImage a = convert::loadPicture(dir.filePath(same.section(u'\t', 0, 0)), nullptr);
        QVERIFY2(fixtures::psnr(a, convert::loadPicture(dir.filePath(same.section(u'\t', 1)), nullptr)) > 90, qPrintable(same));
    }
    for (const QString &size : values("size")) {
        const QStringList field = size.split(u'\t');
        QCOMPARE(convert::loadPicture(dir.filePath(field[0]), nullptr).size(), QSize(field[1].toInt(), field[2].toInt()));
    }
    for (const QString &absent : values("absent"))
        QVERIFY2(!QFileInfo::exists(dir.filePath(absent)), qPrintable(absent));
    for (const QString &copy : values("copy")) // holds the picture of the PNG of its name
        QVERIFY(fixtures::psnr(QImage(dir.filePath(copy)), QImage(dir.filePath(copy.chopped(4) + u".png"_s))) > 90);
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
