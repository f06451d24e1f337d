// The main window for keyboard and assistive-technology users: captions are
// their fields' buddies, controls have accessible names and descriptions, the
// Tab key follows the window's focus order, and all of it works without a mouse.
#include "app/frmmain.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/multilineedit.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QKeySequence>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace morvane;
using namespace Qt::StringLiterals;

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void namesAndDescriptions();
    void tabFollowsFocusOrder();
    void textureFolderToCfgWithKeysOnly();
    void menusWithKeysOnly();

private:
    template <typename T = QWidget> T *control(const char *name) const { return test::control<T>(window.get(), name); }
    static QString focused() { return QApplication::focusWidget()->objectName(); }
    // Presses keys, named as in "Tab Ctrl+A Space", in the focused widget or the open menu.
    static void press(const QString &keys)
    {
        for (const QString &key : keys.split(u' ')) {
            QWidget *popup = QApplication::activePopupWidget();
            const QKeyCombination combination = QKeySequence(key)[0];
            QTest::keyClick(popup ? popup : QApplication::focusWidget(), combination.key(), combination.keyboardModifiers());
        }
    }

    test::RecordingMessageBoxes messages;
    test::RecordingClipboard clipboard;
    std::unique_ptr<app::FrmMain> window;
    QTemporaryDir folder;
};

// The lists start in the current folder: a small texture folder of our own.
void TestAccessibility::initTestCase()
{
    QVERIFY(QDir(folder.path()).mkpath(u"walls"_s));
    test::touch(folder.filePath(u"walls/brick.jpg"_s));
    test::touch(folder.filePath(u"walls/stone.png"_s));
    QVERIFY(QDir::setCurrent(folder.path()));
}

// A window of its own for each test.
void TestAccessibility::init()
{
    window = std::make_unique<app::FrmMain>(messages, clipboard);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

// Each control's name, its tool tip as its description; a field with a
// caption is the caption's buddy and named by it, without the colon.
void TestAccessibility::namesAndDescriptions()
{
    for (const auto &[name, accessibleName, caption] :
         {std::tuple{"Dir1", "Directory", ""}, {"File1", "Files", ""}, {"Izlistaj", "Apply", ""},
          {"Lista", "Texture list", ""}, {"chkCopyToClip", "Copy to ClipBoard when done", ""}, {"Text1", "Cfg content", ""},
          {"Command1", "Go!", ""}, {"txtNum", "Map Def", "Label1"}, {"WhatFolder", "Folder", "Label2"},
          {"txtComment", "Add Comment", "Label4"}}) {
        QWidget *widget = control(name);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), QString::fromUtf8(accessibleName));
        QCOMPARE(accessible->text(QAccessible::Description), widget->toolTip());
        QVERIFY(!accessible->state().invisible);
        QVERIFY(widget->focusPolicy() & Qt::TabFocus);
        if (*caption) {
            auto *label = control<QLabel>(caption);
            QCOMPARE(label->buddy(), widget);
            QCOMPARE(label->text().remove(u':').trimmed(), QString::fromUtf8(accessibleName));
        }
    }
}

void TestAccessibility::tabFollowsFocusOrder()
{
    const QStringList order{u"Izlistaj"_s,   u"Drive1"_s,        u"Dir1"_s,      u"File1"_s,
                            u"Lista"_s,      u"Command1"_s,      u"Text1"_s,     u"txtNum"_s,
                            u"WhatFolder"_s, u"chkCopyToClip"_s, u"txtComment"_s};
    QCOMPARE(focused(), order.first());
    press(u"Tab Tab Tab Tab Tab"_s); // "Go!" starts disabled, so Tab passes it by
    QCOMPARE(focused(), u"Text1"_s);
    control("Command1")->setEnabled(true);
    control("Izlistaj")->setFocus();
    for (qsizetype i = 1; i <= order.size(); ++i) {
        press(u"Tab"_s);
        QCOMPARE(focused(), order.at(i % order.size()));
    }
    for (qsizetype i = order.size() - 1; i >= 0; --i) {
        press(u"Backtab"_s);
        QCOMPARE(focused(), order.at(i));
    }
}

void TestAccessibility::textureFolderToCfgWithKeysOnly()
{
    // To the directory list, down to its last entry (the only sub-folder), open it.
    press(u"Tab Tab End Return"_s);
    QCOMPARE(QDir(control<ui::DirList>("Dir1")->path()).dirName(), u"walls"_s);
    // Enter in the file list presses "Apply".
    press(u"Tab Return"_s);
    QTRY_VERIFY(control("Command1")->isEnabled());
    const QString list = control<ui::MultiLineEdit>("Lista")->text();
    QVERIFY2(list.contains(u"brick.jpg"_s) && list.contains(u"stone.png"_s), qPrintable(list));
    // Over Lista, Go! and Text1 to the fields, each replaced from the keyboard, and the clipboard box.
    press(u"Tab Tab Tab Tab Ctrl+A 7 Tab Ctrl+A"_s);
    QTest::keyClicks(QApplication::focusWidget(), u"stone/walls"_s);
    press(u"Tab Space"_s);
    QVERIFY(control<QCheckBox>("chkCopyToClip")->isChecked());
    // Back over WhatFolder, txtNum and Text1 to "Go!", pressed with the space bar.
    press(u"Backtab Backtab Backtab Backtab Space"_s);
    const QString cfg = control<ui::MultiLineEdit>("Text1")->text();
    QVERIFY2(cfg.contains(u"7 \"stone/walls/brick.jpg\""_s), qPrintable(cfg));
    QCOMPARE(clipboard.text, std::optional(cfg));
    QCOMPARE(control<QLabel>("Label3")->text(), u" Status : Done..."_s);
    QVERIFY(messages.shown.isEmpty());
}

// F10 enters the menu bar from wherever the focus is, as desktop programs
// do, though no caption has an access key or a shortcut. (The program test
// opens About, the converter and Exit with Alt and F10 on an X display.)
void TestAccessibility::menusWithKeysOnly()
{
    for (const QAction *action : window->findChildren<QAction *>()) {
        QVERIFY2(!action->text().contains(u'&'), qPrintable(action->text()));
        QVERIFY(action->shortcuts().isEmpty());
    }
    // From a text box and from the file list, F10 opens File; Esc twice
    // closes it and leaves the bar for the control the focus was on.
    for (const char *from : {"txtNum", "File1"}) {
        control(from)->setFocus();
        press(u"F10"_s);
        QTRY_VERIFY(QApplication::activePopupWidget() == control<QMenu>("mnuFile"));
        press(u"Escape"_s);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        press(u"Escape"_s);
        QTRY_COMPARE(focused(), QString::fromLatin1(from));
    }
    // F10, right along the bar to Tools, Enter on Image Convert; then Down
    // to Conversion Options, whose dialog Tab walks through named controls
    // and Escape closes.
    QSignalSpy convert(control<QAction>("mnuImageConvert"), &QAction::triggered);
    QStringList stops;
    int waited = 0;
    QTimer walk;
    connect(&walk, &QTimer::timeout, window.get(), [&] {
        // Once the dialog has the focus: it may be shown a while before it is
        // active. One that never gets it is closed, failing the walk.
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || !stops.isEmpty())
            return;
        if (!dialog->isAncestorOf(QApplication::focusWidget())) {
            if (++waited == 250)
                dialog->close();
            return;
        }
        do {
            QAccessibleInterface *named = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
            stops.append(named->text(QAccessible::Name).isEmpty() ? u"unnamed "_s + focused() : focused());
            press(u"Tab"_s);
        } while (focused() != stops.constFirst() && stops.size() < 30);
        press(u"Escape"_s);
    });
    walk.start(20);
    for (const char *keys : {"Return", "Down Return"}) {
        window->activateWindow(); // from the converter, once it is open
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        press(u"F10"_s);
        QTRY_VERIFY(QApplication::activePopupWidget() == control<QMenu>("mnuFile"));
        press(u"Right"_s);
        QTRY_VERIFY(QApplication::activePopupWidget() == control<QMenu>("mnuTools"));
        press(QString::fromLatin1(keys));
    }
    QTRY_COMPARE(convert.count(), qsizetype(1)); // the main window closes the converter with itself
    for (const QString &stop : stops)
        QVERIFY2(!stop.startsWith(u"unnamed"_s), qPrintable(stop));
    QCOMPARE(stops.mid(0, 9), (QStringList{u"cboExisting"_s, u"cboResize"_s, u"spnQuality"_s, u"cboDdsFormat"_s,
                                          u"chkMipmaps"_s, u"chkNormalMap"_s, u"chkAlphaTest"_s, u"txtOutputFolder"_s,
                                          u"cmdBrowse"_s}));
    QCOMPARE(stops.size(), 12); // and the three buttons below
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
