// The main window for keyboard and assistive-technology users: captions are
// their fields' buddies, controls have accessible names and descriptions, the
// Tab key follows the window's focus order, and all of it works without a mouse.
#include "app/frmabout.h"
#include "app/frmmain.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/multilineedit.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace morvane;
using namespace Qt::StringLiterals;

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void namesAndDescriptions_data();
    void namesAndDescriptions();
    void tabFollowsFocusOrder();
    void textureFolderToCfgWithKeysOnly();
    void menusWithKeysOnly();
    void f10EntersMenuBar();

private:
    template <typename T = QWidget> T *control(const QString &name) const { return test::control<T>(window.get(), name); }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }
    // Alt alone, pressed and released, puts the menu bar under the keyboard.
    void tapAlt()
    {
        QWindow *handle = window->windowHandle();
        QTest::keyPress(handle, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(handle, Qt::Key_Alt, Qt::NoModifier);
    }

    test::RecordingMessageBoxes messages;
    test::RecordingClipboard clipboard;
    std::unique_ptr<app::FrmMain> window;
    QTemporaryDir folder;
    QString startFolder;
};

void TestAccessibility::init()
{
    // The lists start in the current folder: a small texture folder of our own.
    QVERIFY(folder.isValid());
    QVERIFY(QDir(folder.path()).mkpath(u"walls"_s));
    for (const QString &name : {u"walls/brick.jpg"_s, u"walls/stone.png"_s})
        test::touch(folder.filePath(name));
    startFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));

    window = std::make_unique<app::FrmMain>(messages, clipboard);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TestAccessibility::cleanup()
{
    window.reset();
    QDir::setCurrent(startFolder);
}

void TestAccessibility::namesAndDescriptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("accessibleName");
    QTest::addColumn<QString>("caption"); // the label whose buddy it is, if any
    QTest::newRow("Dir1") << u"Dir1"_s << u"Directory"_s << QString();
    QTest::newRow("File1") << u"File1"_s << u"Files"_s << QString();
    QTest::newRow("Izlistaj") << u"Izlistaj"_s << u"Apply"_s << QString();
    QTest::newRow("Lista") << u"Lista"_s << u"Texture list"_s << QString();
    QTest::newRow("chkCopyToClip") << u"chkCopyToClip"_s << u"Copy to ClipBoard when done"_s << QString();
    QTest::newRow("Text1") << u"Text1"_s << u"Cfg content"_s << QString();
    QTest::newRow("Command1") << u"Command1"_s << u"Go!"_s << QString();
    QTest::newRow("txtNum") << u"txtNum"_s << u"Map Def"_s << u"Label1"_s;
    QTest::newRow("WhatFolder") << u"WhatFolder"_s << u"Folder"_s << u"Label2"_s;
    QTest::newRow("txtComment") << u"txtComment"_s << u"Add Comment"_s << u"Label4"_s;
}

// Each control's name, its tool tip as its description; a field with a
// caption is the caption's buddy and named by it, without the colon.
void TestAccessibility::namesAndDescriptions()
{
    QFETCH(QString, name);
    QFETCH(QString, accessibleName);
    QFETCH(QString, caption);
    QWidget *widget = control(name);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), accessibleName);
    QCOMPARE(accessible->text(QAccessible::Description), widget->toolTip());
    QVERIFY(!accessible->state().invisible);
    QVERIFY(widget->focusPolicy() & Qt::TabFocus);
    if (!caption.isEmpty()) {
        auto *label = control<QLabel>(caption);
        QCOMPARE(label->buddy(), widget);
        QCOMPARE(label->text().remove(u':').trimmed(), accessibleName);
    }
}

void TestAccessibility::tabFollowsFocusOrder()
{
    const QStringList order{u"Izlistaj"_s, u"Drive1"_s, u"Dir1"_s,     u"File1"_s,
                            u"Lista"_s,    u"Command1"_s, u"Text1"_s,  u"txtNum"_s,
                            u"WhatFolder"_s, u"chkCopyToClip"_s, u"txtComment"_s};
    QCOMPARE(QApplication::focusWidget(), control(order.first()));

    // "Go!" starts disabled, so Tab passes it by.
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control(u"Lista"_s));
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control(u"Text1"_s));

    control(u"Command1"_s)->setEnabled(true);
    control(order.first())->setFocus();
    for (qsizetype i = 1; i <= order.size(); ++i) {
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), order.at(i % order.size()));
    }
    for (qsizetype i = order.size() - 1; i >= 0; --i) {
        press(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), order.at(i));
    }
}

void TestAccessibility::textureFolderToCfgWithKeysOnly()
{
    // To the directory list, down to its last entry (the only sub-folder), open it.
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control(u"Dir1"_s));
    press(Qt::Key_End);
    press(Qt::Key_Return);
    QCOMPARE(QDir(control<ui::DirList>(u"Dir1"_s)->path()).dirName(), u"walls"_s);

    // Enter in the file list presses "Apply".
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control(u"File1"_s));
    press(Qt::Key_Return);
    QTRY_VERIFY(control(u"Command1"_s)->isEnabled());
    const QString list = control<ui::MultiLineEdit>(u"Lista"_s)->text();
    QVERIFY2(list.contains(u"brick.jpg"_s) && list.contains(u"stone.png"_s), qPrintable(list));

    // The fields, each replaced from the keyboard, and the clipboard box.
    for (int i = 0; i < 4; ++i)
        press(Qt::Key_Tab); // Lista, Go!, Text1, Map Def
    QCOMPARE(QApplication::focusWidget(), control(u"txtNum"_s));
    press(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), u"7"_s);
    press(Qt::Key_Tab);
    press(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), u"stone/walls"_s);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), control(u"chkCopyToClip"_s));
    press(Qt::Key_Space);
    QVERIFY(control<QCheckBox>(u"chkCopyToClip"_s)->isChecked());

    // Back to "Go!" and press it with the space bar.
    for (int i = 0; i < 4; ++i)
        press(Qt::Key_Backtab); // WhatFolder, txtNum, Text1, Go!
    QCOMPARE(QApplication::focusWidget(), control(u"Command1"_s));
    press(Qt::Key_Space);
    const QString cfg = control<ui::MultiLineEdit>(u"Text1"_s)->text();
    QVERIFY2(cfg.contains(u"7 \"stone/walls/brick.jpg\""_s), qPrintable(cfg));
    QCOMPARE(clipboard.text, std::optional(cfg));
    QCOMPARE(control<QLabel>(u"Label3"_s)->text(), u" Status : Done..."_s);
    QVERIFY(messages.shown.isEmpty());
}

void TestAccessibility::menusWithKeysOnly()
{
    auto *bar = window->findChild<QMenuBar *>();
    QVERIFY(bar);

    // Alt, right twice: About; Enter opens it, Esc closes it.
    tapAlt();
    QTRY_VERIFY(bar->hasFocus());
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    QCOMPARE(bar->activeAction(), control<QAction>(u"mnuAbout"_s));
    bool aboutOpened = false;
    test::whenModalShows(this, [&aboutOpened](QWidget *modal) {
        aboutOpened = qobject_cast<app::FrmAbout *>(modal) != nullptr;
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    press(Qt::Key_Return); // returns once About has been closed
    QVERIFY(aboutOpened);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    // The offscreen platform has no window manager to hand activation back.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    // Alt, down into File, Enter on Exit.
    QSignalSpy exit(control<QAction>(u"mnuExit"_s), &QAction::triggered);
    tapAlt();
    QTRY_VERIFY(bar->hasFocus());
    press(Qt::Key_Down);
    QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
    QCOMPARE(qobject_cast<QMenu *>(QApplication::activePopupWidget())->activeAction(),
             control<QAction>(u"mnuExit"_s));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
    QTRY_COMPARE(exit.count(), qsizetype(1));
}

// F10 opens the first menu from wherever the focus is, as desktop programs
// do, though no caption has an access key or a shortcut.
void TestAccessibility::f10EntersMenuBar()
{
    for (const QAction *action : window->findChildren<QAction *>()) {
        QVERIFY2(!action->text().contains(u'&'), qPrintable(action->text()));
        QVERIFY(action->shortcuts().isEmpty());
    }
    auto *bar = window->findChild<QMenuBar *>();
    QVERIFY(bar);

    // From a text box: F10 opens File; Esc twice closes it and leaves the bar.
    control(u"txtNum"_s)->setFocus();
    press(Qt::Key_F10);
    QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
    QCOMPARE(bar->activeAction(), control<QMenu>(u"mnuFile"_s)->menuAction());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
    press(Qt::Key_Escape);
    QTRY_COMPARE(QApplication::focusWidget(), control(u"txtNum"_s));

    // From the file list: F10, right along the bar to Tools, Enter on Image Convert.
    QSignalSpy convert(control<QAction>(u"mnuImageConvert"_s), &QAction::triggered);
    control(u"File1"_s)->setFocus();
    press(Qt::Key_F10);
    QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Right);
    QTRY_COMPARE(bar->activeAction(), control<QMenu>(u"mnuTools"_s)->menuAction());
    QTRY_VERIFY(QApplication::activePopupWidget() == control<QMenu>(u"mnuTools"_s));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
    QTRY_COMPARE(convert.count(), qsizetype(1)); // the main window closes the converter with itself
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
