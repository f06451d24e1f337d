#include "app/frmmain.h"
#include "app/windowframe.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"
#include "ui/multilineedit.h"

#include <QCheckBox>
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
    void form();
    void applyAndGo();
    void drives();
    void mask();

private:
    template <typename T = QWidget> T *control(const char *name) const { return test::control<T>(window.get(), name); }
    QString text(const char *box) const { return control<ui::MultiLineEdit>(box)->text(); }
    QString status() const { return control<QLabel>("Label3")->text(); }
    void click(const char *button) { QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton); }

    std::unique_ptr<QTemporaryDir> folder;
    test::RecordingMessageBoxes boxes;
    test::RecordingClipboard clipboard;
    std::unique_ptr<app::FrmMain> window;
};

void TestMainWindow::init()
{
    window.reset();
    folder = std::make_unique<QTemporaryDir>();
    boxes.shown.clear();
    clipboard = test::RecordingClipboard();
    window = std::make_unique<app::FrmMain>(boxes, clipboard);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

// Where each control stands, those Tab reaches first and in its order; the font; the state at opening.
void TestMainWindow::form()
{
    const std::pair<const char *, QRect> controls[] = {
        {"Izlistaj", {416, 9, 113, 89}},   {"Drive1", {8, 8, 193, 21}},        {"Dir1", {8, 32, 193, 66}},
        {"File1", {208, 1, 201, 97}},      {"Lista", {8, 104, 265, 95}},       {"Command1", {8, 336, 521, 41}},
        {"Text1", {8, 208, 521, 121}},     {"txtNum", {384, 104, 33, 19}},     {"WhatFolder", {384, 128, 137, 19}},
        {"chkCopyToClip", {280, 184, 201, 17}}, {"txtComment", {384, 152, 137, 19}}, {"Label1", {320, 104, 57, 17}},
        {"Label2", {320, 128, 57, 17}},    {"Label4", {280, 152, 97, 17}},     {"Label3", {0, 384, 537, 17}}};
    // Verdana, or where it is missing the family standing in for it.
    const QString formFamily = app::formFont(u"Verdana"_s, 8.25).family();
    QStringList names;
    for (const auto &[name, geometry] : controls) {
        const QWidget *widget = control(name);
        QCOMPARE(std::tuple(widget->geometry(), widget->font().family(), widget->font().pointSizeF()),
                 std::tuple(geometry, formFamily, 8.25));
        names.append(QString::fromLatin1(name));
    }
    QCOMPARE(window->centralWidget()->size(), QSize(537, 402));
    QStringList order;
    for (QWidget *widget = control("Izlistaj"); order.size() < 11; widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && names.contains(widget->objectName()))
            order.append(widget->objectName());
    }
    QCOMPARE(order, names.first(11));
    QCOMPARE(window->focusWidget(), control("Izlistaj"));
    QVERIFY(!control("Command1")->isEnabled());
    QCOMPARE(status(), u" Status :"_s);
    QVERIFY(control("txtMaska")->font().bold());
}

// "Apply", which Enter presses wherever the focus is, lists the files in natural order, hidden ones
// left out; Ctrl+Enter in the list breaks the line without pressing it; "Go!" (Enter on it presses it)
// takes the boxes and, only when asked, clears and sets the clipboard.
void TestMainWindow::applyAndGo()
{
    for (const char *name : {"tex10.jpg", "tex2.jpg", "Wall.TGA", ".hidden.jpg"})
        touch(folder->filePath(QString::fromLatin1(name)));
    QVERIFY(QDir(folder->path()).mkdir(u"sub"_s));
    QVERIFY(control<ui::DirList>("Dir1")->setPath(folder->path()));
    QTest::keyClick(control("Lista"), Qt::Key_Return);
    QTRY_COMPARE(text("Lista"), u"tex2.jpg\r\ntex10.jpg\r\nWall.TGA"_s);
    QCOMPARE(status(), u" Status : "_s);
    QTest::keyClick(control("Lista"), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(control("Lista"), Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(control("Lista"), u"x"_s);
    control<QLineEdit>("txtNum")->setText(u"12"_s);
    control<QLineEdit>("WhatFolder")->setText(u"two/folders"_s);
    control("Command1")->setFocus();
    QTest::keyClick(control("Command1"), Qt::Key_Return);
    QTRY_COMPARE(status(), u" Status : Done..."_s);
    const QString cfg = u"// My Quillo Textures\r\ntexture 12 \"two/folders/tex2.jpg\"\r\n"
                        u"texture 12 \"two/folders/tex10.jpg\"\r\ntexture 12 \"two/folders/Wall.TGA\"\r\n"_s;
    QCOMPARE(text("Text1"), cfg + u"texture 12 \"two/folders/x\"\r\n"_s);
    control<QCheckBox>("chkCopyToClip")->setChecked(true);
    click("Command1"); // disabled: a second "Go!" needs another "Apply"
    QCOMPARE(clipboard.text, std::optional(u"earlier contents"_s));
    QTest::keyClick(control("txtNum"), Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_VERIFY(control("Command1")->isEnabled());
    click("Command1");
    QCOMPARE(clipboard.clears, 1);
    QCOMPARE(clipboard.text, std::optional(cfg));

    // The hidden folder and extension boxes (nothing in the window ticks them) list the sub-folders first.
    control<QCheckBox>("chkDirektorije")->setChecked(true);
    control<QCheckBox>("chkMakni_ekstenziju")->setChecked(true);
    click("Izlistaj");
    QCOMPARE(text("Lista"), u"sub\r\n\r\n-----------\r\n\r\ntex2\r\ntex10\r\nWall"_s);
}

// Picking a drive opens it in the folder and file lists; a drive not ready is told and changes nothing.
void TestMainWindow::drives()
{
    touch(folder->filePath(u"on-the-stick.jpg"_s));
    auto *drives = control<ui::DriveList>("Drive1");
    const QString stick = QDir::toNativeSeparators(folder->path());
    const QString gone = folder->filePath(u"unplugged"_s);
    drives->setDrives({{QDir::rootPath(), QString()}, {stick, u"Stick"_s}, {gone, QString()}});
    control<ui::FileList>("File1")->setPattern(u"*.jpg"_s);
    for (const QString &picked : {stick, gone}) {
        QTest::keyClick(drives, Qt::Key_Down);
        QCOMPARE(drives->drive(), picked);
        QCOMPARE(boxes.shown.isEmpty(), picked == stick);
        QCOMPARE(control<ui::DirList>("Dir1")->path(), stick);
        QCOMPARE(control<ui::FileList>("File1")->path(), stick);
        QCOMPARE(control<ui::FileList>("File1")->listCount(), 1);
    }
    const test::ShownMessage notReady{u"This Drive seems to be un-available!"_s, u"Drive Not Ready"_s};
    QCOMPARE(boxes.shown, QList{notReady});
}

// The hidden mask box: the mp3 box switches it, forbidden characters are dropped as
// typed, the file list follows it, and focus selects its extension.
void TestMainWindow::mask()
{
    auto *mask = control<QLineEdit>("txtMaska");
    const auto shows = [&](const QString &pattern) {
        QCOMPARE(mask->text(), pattern);
        QCOMPARE(control<ui::FileList>("File1")->pattern(), pattern);
    };
    QCOMPARE(mask->text(), u"*.jpg"_s); // the file list's pattern is "*.*" until the mask changes
    QCOMPARE(control<ui::FileList>("File1")->pattern(), u"*.*"_s);
    control<QCheckBox>("chkMp3")->setChecked(true);
    shows(u"*.mp3"_s);
    control<QCheckBox>("chkMp3")->setChecked(false);
    shows(u"*.*"_s); // not back to "*.jpg"
    mask->setText(u"*.j/pg"_s);
    shows(u"*.jpg"_s);
    mask->setCursorPosition(0);
    QFocusEvent focusIn(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(mask, &focusIn);
    QCOMPARE(mask->selectedText(), u"jpg"_s);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
