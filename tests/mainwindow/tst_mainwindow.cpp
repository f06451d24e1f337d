#include "app/frmmain.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"
#include "ui/multilineedit.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace morvane;
using namespace Qt::StringLiterals;
using morvane::test::touch;

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startState();
    void enterPressesApply_data();
    void enterPressesApply();
    void enterOnGoPressesGo();
    void applyThenGoOnRealFolder();
    void typedListWithCtrlEnter();
    void applyWithFoldersThenBrowse();
    void browsingChainFollowsDrive();
    void driveNotReadyKeepsLists();
    void maskHandlers();

private:
    template <typename T> T *control(const char *name) const { return test::control<T>(window.get(), name); }
    void openFolder(const QString &path);
    QTemporaryDir &folder() { return *folderHolder; }

    std::unique_ptr<QTemporaryDir> folderHolder;
    test::RecordingMessageBoxes boxes;
    test::RecordingClipboard clipboard;
    std::unique_ptr<app::FrmMain> window;
};

void TestMainWindow::init()
{
    folderHolder = std::make_unique<QTemporaryDir>();
    boxes.shown.clear();
    clipboard = test::RecordingClipboard();
    window = std::make_unique<app::FrmMain>(boxes, clipboard);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TestMainWindow::cleanup()
{
    window.reset();
}

void TestMainWindow::openFolder(const QString &path)
{
    QVERIFY(control<ui::DirList>("Dir1")->setPath(path));
}

void TestMainWindow::startState()
{
    QVERIFY(!control<QPushButton>("Command1")->isEnabled());
    QCOMPARE(window->focusWidget(), control<QPushButton>("Izlistaj"));
    QCOMPARE(control<QLabel>("Label3")->text(), u" Status :"_s);
    QCOMPARE(control<ui::FileList>("File1")->pattern(), u"*.*"_s);
    QCOMPARE(control<QLineEdit>("txtMaska")->text(), u"*.jpg"_s);
    QCOMPARE(control<ui::FileList>("File1")->path(), QDir::toNativeSeparators(QDir::currentPath()));
    QCOMPARE(control<ui::DirList>("Dir1")->path(), QDir::toNativeSeparators(QDir::currentPath()));
    QVERIFY(control<QCheckBox>("chkDatoteke")->isChecked());
    QVERIFY(!control<QCheckBox>("chkCopyToClip")->isChecked());
}

void TestMainWindow::enterPressesApply_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("on Apply itself") << u"Izlistaj"_s;
    QTest::newRow("in a text box") << u"txtNum"_s;
    QTest::newRow("in the texture list") << u"Lista"_s;
    QTest::newRow("on the drive list") << u"Drive1"_s;
}

void TestMainWindow::enterPressesApply()
{
    QFETCH(QString, focus);
    touch(folder().filePath(u"stone.jpg"_s));
    openFolder(folder().path());
    auto *target = window->findChild<QWidget *>(focus);
    QVERIFY(target);
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);

    QTest::keyClick(target, Qt::Key_Return);
    QTRY_VERIFY(control<QPushButton>("Command1")->isEnabled());
    QCOMPARE(control<ui::MultiLineEdit>("Lista")->text(), u"stone.jpg"_s);
    QCOMPARE(control<QLabel>("Label3")->text(), u" Status : "_s);
}

void TestMainWindow::enterOnGoPressesGo()
{
    touch(folder().filePath(u"stone.jpg"_s));
    openFolder(folder().path());
    QTest::keyClick(control<QPushButton>("Izlistaj"), Qt::Key_Return);
    auto *go = control<QPushButton>("Command1");
    QTRY_VERIFY(go->isEnabled());
    go->setFocus();
    QTest::keyClick(go, Qt::Key_Return);
    QTRY_COMPARE(control<QLabel>("Label3")->text(), u" Status : Done..."_s);
    QVERIFY(!go->isEnabled());
    QVERIFY(control<ui::MultiLineEdit>("Text1")->text().contains("\"default/stone.jpg\""_L1));
}

void TestMainWindow::applyThenGoOnRealFolder()
{
    for (const char *name : {"tex10.jpg", "tex2.jpg", "Wall.TGA", ".hidden.jpg"})
        touch(folder().filePath(QString::fromLatin1(name)));
    QVERIFY(QDir(folder().path()).mkdir(u"sub"_s));
    openFolder(folder().path());

    control<QLineEdit>("txtNum")->setText(u"12"_s);
    control<QLineEdit>("WhatFolder")->setText(u"two/folders"_s);
    control<QCheckBox>("chkCopyToClip")->setChecked(true);
    QTest::mouseClick(control<QPushButton>("Izlistaj"), Qt::LeftButton);
    QCOMPARE(control<ui::MultiLineEdit>("Lista")->text(), u"tex2.jpg\r\ntex10.jpg\r\nWall.TGA"_s);

    auto *go = control<QPushButton>("Command1");
    QTest::mouseClick(go, Qt::LeftButton);
    const QString expected = u"// My Quillo Textures\r\n"
                             u"texture 12 \"two/folders/tex2.jpg\"\r\n"
                             u"texture 12 \"two/folders/tex10.jpg\"\r\n"
                             u"texture 12 \"two/folders/Wall.TGA\"\r\n"_s;
    QCOMPARE(control<ui::MultiLineEdit>("Text1")->text(), expected);
    QCOMPARE(clipboard.clears, 1);
    QCOMPARE(clipboard.text, std::optional(expected));
    QCOMPARE(control<QLabel>("Label3")->text(), u" Status : Done..."_s);
    QVERIFY(!go->isEnabled());
    QTest::mouseClick(go, Qt::LeftButton); // disabled: a second "Go!" needs another "Apply"
    QCOMPARE(clipboard.clears, 1);
}

// Ctrl+Enter in the texture list breaks the line without pressing "Apply"
// (which would list the empty folder again), the list reads as CR LF, and
// with the clipboard box clear "Go!" leaves the clipboard alone.
void TestMainWindow::typedListWithCtrlEnter()
{
    QTemporaryDir empty;
    openFolder(empty.path());
    QTest::mouseClick(control<QPushButton>("Izlistaj"), Qt::LeftButton);
    QCOMPARE(control<ui::MultiLineEdit>("Lista")->text(), QString()); // nothing listed, "Go!" enabled anyway
    QVERIFY(control<QPushButton>("Command1")->isEnabled());

    auto *lista = control<ui::MultiLineEdit>("Lista");
    lista->setFocus();
    QTest::keyClicks(lista, u"x"_s);
    QTest::keyClick(lista, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(lista, u"y"_s);
    QCOMPARE(lista->text(), u"x\r\ny"_s);
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(control<ui::MultiLineEdit>("Text1")->text(),
             u"// My Quillo Textures\r\ntexture 0 \"default/x\"\r\ntexture 0 \"default/y\"\r\n"_s);
    QCOMPARE(clipboard.clears, 0); // the clipboard box is clear: the clipboard is left alone
    QCOMPARE(clipboard.text, std::optional(u"earlier contents"_s));
}

// "Apply" with the hidden folder and extension boxes ticked (nothing in the
// window ticks them) lists the sub-folders above the files; opening another
// folder leaves the list as "Apply" made it.
void TestMainWindow::applyWithFoldersThenBrowse()
{
    QVERIFY(QDir(folder().path()).mkpath(u"grass"_s));
    QVERIFY(QDir(folder().path()).mkpath(u"old.set"_s));
    touch(folder().filePath(u"stone.jpg"_s));
    openFolder(folder().path());
    control<QCheckBox>("chkDirektorije")->setChecked(true);
    control<QCheckBox>("chkMakni_ekstenziju")->setChecked(true);
    QTest::mouseClick(control<QPushButton>("Izlistaj"), Qt::LeftButton);
    const QString list = u"grass\r\nold.set\r\n\r\n-----------\r\n\r\nstone"_s;
    QCOMPARE(control<ui::MultiLineEdit>("Lista")->text(), list);

    openFolder(folder().filePath(u"grass"_s));
    QCOMPARE(control<ui::FileList>("File1")->listCount(), 0);
    QCOMPARE(control<ui::MultiLineEdit>("Lista")->text(), list);
    QVERIFY(control<QPushButton>("Command1")->isEnabled());
}

void TestMainWindow::browsingChainFollowsDrive()
{
    touch(folder().filePath(u"on-the-stick.jpg"_s));
    auto *drives = control<ui::DriveList>("Drive1");
    drives->setDrives({{QDir::toNativeSeparators(QDir::rootPath()), QString()},
                       {QDir::toNativeSeparators(folder().path()), u"Stick"_s}});
    drives->setFocus();
    control<ui::FileList>("File1")->setPattern(u"*.jpg"_s);
    QTest::keyClick(drives, Qt::Key_Down); // the user picks the second drive
    QCOMPARE(control<ui::DirList>("Dir1")->path(), QDir::toNativeSeparators(folder().path()));
    QCOMPARE(control<ui::FileList>("File1")->path(), QDir::toNativeSeparators(folder().path()));
    QCOMPARE(control<ui::FileList>("File1")->pattern(), u"*.jpg"_s);
    QCOMPARE(control<ui::FileList>("File1")->listCount(), 1);
    QVERIFY(boxes.shown.isEmpty());
}

void TestMainWindow::driveNotReadyKeepsLists()
{
    touch(folder().filePath(u"a.jpg"_s));
    openFolder(folder().path());
    QTest::mouseClick(control<QPushButton>("Izlistaj"), Qt::LeftButton);

    auto *drives = control<ui::DriveList>("Drive1");
    drives->setDrives({{QDir::toNativeSeparators(QDir::rootPath()), QString()},
                       {folder().filePath(u"unplugged"_s), u"Gone"_s}});
    drives->setFocus();
    QTest::keyClick(drives, Qt::Key_Down);

    QCOMPARE(boxes.shown, (QList<test::ShownMessage>{{u"This Drive seems to be un-available!"_s, u"Drive Not Ready"_s}}));
    QCOMPARE(drives->drive(), folder().filePath(u"unplugged"_s)); // the drive list shows the choice
    QCOMPARE(control<ui::DirList>("Dir1")->path(), QDir::toNativeSeparators(folder().path()));
    QCOMPARE(control<ui::FileList>("File1")->path(), QDir::toNativeSeparators(folder().path()));
    QCOMPARE(control<ui::MultiLineEdit>("Lista")->text(), u"a.jpg"_s);
    QVERIFY(control<QPushButton>("Command1")->isEnabled());
}

// The hidden mask box: the mp3 box switches it, forbidden characters are
// dropped as typed, and the file list follows it.
void TestMainWindow::maskHandlers()
{
    auto *mask = control<QLineEdit>("txtMaska");
    auto *mp3 = control<QCheckBox>("chkMp3");
    auto *files = control<ui::FileList>("File1");

    mp3->setChecked(true);
    QCOMPARE(mask->text(), u"*.mp3"_s);
    QCOMPARE(files->pattern(), u"*.mp3"_s);
    mp3->setChecked(false);
    QCOMPARE(mask->text(), u"*.*"_s); // not back to "*.jpg"
    QCOMPARE(files->pattern(), u"*.*"_s);

    mask->setText(u"*.j/pg"_s);
    QCOMPARE(mask->text(), u"*.jpg"_s);
    QCOMPARE(files->pattern(), u"*.jpg"_s);
    mask->setText(u"::"_s);
    QCOMPARE(mask->text(), QString());
    QCOMPARE(files->pattern(), QString());
    QCOMPARE(files->listCount(), 0);

    // Focus selects the extension, or puts the caret after a trailing dot.
    for (const auto &[text, selected] : {std::pair{u"*.jpg"_s, u"jpg"_s}, std::pair{u"abc."_s, QString()}}) {
        mask->setText(text);
        mask->setCursorPosition(0);
        QFocusEvent focusIn(QEvent::FocusIn, Qt::OtherFocusReason);
        QApplication::sendEvent(mask, &focusIn);
        QCOMPARE(mask->selectedText(), selected);
        QCOMPARE(mask->cursorPosition(), text.size());
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
