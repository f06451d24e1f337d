#include "app/frmmain.h"
#include "convert/convertwindow.h"
#include "convert/filters.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace morvane;
using namespace Qt::StringLiterals;
using morvane::test::touch;

namespace {

QStringList entries(const ui::FileList *list)
{
    QStringList out;
    for (int i = 0; i < list->listCount(); ++i)
        out.append(list->list(i));
    return out;
}

// Picks entry index from the combo's drop-down list with the mouse, as a user does.
void pick(QComboBox *combo, int index)
{
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    QTRY_VERIFY(view->isVisible());
    const QRect item = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!view->isVisible());
}

// Delivers one tick of timer, as its interval running out would.
void tick(QTimer *timer)
{
    QTimerEvent event(timer->timerId());
    QCoreApplication::sendEvent(timer, &event);
}

} // namespace

class TestConvertWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void patterns_data();
    void patterns();
    void stateAfterLoad();
    void pickingFilters();
    void typingChangesNoPattern();
    void openingFolderMovesBothLists();
    void driveNotReady();
    void refreshAllAndClearTimer();
    void loadFailure();
    void singleInstanceAndRestart();

private:
    template <typename T> T *control(const char *name) const { return test::control<T>(window.get(), name); }

    std::unique_ptr<QTemporaryDir> folder;
    test::RecordingMessageBoxes boxes;
    std::unique_ptr<convert::Convert> window;
};

void TestConvertWindow::init()
{
    folder = std::make_unique<QTemporaryDir>();
    for (const char *name : {"a.bmp", "a.bmpx", "b.jpg", "c.gif", "README"})
        touch(folder->filePath(QString::fromLatin1(name)));
    boxes.shown.clear();
    window = std::make_unique<convert::Convert>(boxes, folder->path());
    QVERIFY(window->load());
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TestConvertWindow::cleanup()
{
    window.reset();
    folder.reset();
}

void TestConvertWindow::patterns_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("dest");
    QTest::newRow("all files") << u"*.*"_s << u"*"_s << u"**.*"_s;
    QTest::newRow(".jpg") << u".jpg"_s << u"*.jpg"_s << u"*.jpg"_s;
    QTest::newRow(".wmf") << u".wmf"_s << u"*.wmf"_s << u"*.wmf"_s;
    QTest::newRow("typed .jpeg") << u".jpeg"_s << u"*.jpe"_s << u"*.jpe"_s;
    QTest::newRow("short") << u".j"_s << u"*.j"_s << u"*.j"_s;
    QTest::newRow("empty") << QString() << u"*"_s << u"*"_s;
    QTest::newRow("near miss of all files") << u"*.* "_s << u"**.* "_s << u"**.* "_s;
}

void TestConvertWindow::patterns()
{
    QFETCH(QString, entry);
    QFETCH(QString, source);
    QFETCH(QString, dest);
    QCOMPARE(convert::SourcePattern(entry), source);
    QCOMPARE(convert::DestPattern(entry), dest);
}

void TestConvertWindow::stateAfterLoad()
{
    const QString path = QDir::toNativeSeparators(folder->path());
    QCOMPARE(control<ui::DirList>("Dir1")->path(), path);
    QCOMPARE(control<ui::FileList>("File1")->path(), path);
    QCOMPARE(control<ui::FileList>("File2")->path(), path);
    QCOMPARE(entries(control<ui::FileList>("File1")), (QStringList{u"a.bmp"_s, u"a.bmpx"_s, u"b.jpg"_s, u"c.gif"_s}));
    QCOMPARE(entries(control<ui::FileList>("File2")), (QStringList{u"a.bmp"_s, u"a.bmpx"_s}));

    auto *combo1 = control<QComboBox>("Combo1");
    auto *combo2 = control<QComboBox>("Combo2");
    QCOMPARE(combo1->currentText(), u"Select Source"_s);
    QCOMPARE(combo2->currentText(), u"Select Dest"_s);
    QCOMPARE(combo1->currentIndex(), -1);
    QCOMPARE(combo2->currentIndex(), -1);
    QStringList items1, items2;
    for (int i = 0; i < combo1->count(); ++i)
        items1.append(combo1->itemText(i));
    for (int i = 0; i < combo2->count(); ++i)
        items2.append(combo2->itemText(i));
    QCOMPARE(items1, (QStringList{u"*.*"_s, u".bmp"_s, u".gif"_s, u".jpg"_s, u".wmf"_s}));
    QCOMPARE(items2, (QStringList{u".bmp"_s, u".gif"_s, u".jpg"_s, u".wmf"_s}));

    QCOMPARE(control<QLabel>("Label1")->text(), QString());
    QVERIFY(!control<QTimer>("Timer1")->isActive());
    QVERIFY(!control<QCheckBox>("chkConvertAll")->isChecked());
    QCOMPARE(QApplication::focusWidget(), control<QWidget>("File1"));
    QVERIFY(!control<QWidget>("LoadPB")->isVisible());
    QVERIFY(!control<QWidget>("SavePB")->isVisible());
    QCOMPARE(window->windowTitle(), u"Morvane - Image Convert"_s);
    QCOMPARE(window->size(), QSize(443, 449));
    QVERIFY(boxes.shown.isEmpty());
}

void TestConvertWindow::pickingFilters()
{
    auto *file1 = control<ui::FileList>("File1");
    auto *file2 = control<ui::FileList>("File2");
    pick(control<QComboBox>("Combo1"), 0);
    QCOMPARE(file1->pattern(), u"*"_s);
    QCOMPARE(entries(file1), (QStringList{u"a.bmp"_s, u"a.bmpx"_s, u"b.jpg"_s, u"c.gif"_s, u"README"_s}));
    pick(control<QComboBox>("Combo1"), 2);
    QCOMPARE(file1->pattern(), u"*.gif"_s);
    QCOMPARE(entries(file1), QStringList{u"c.gif"_s});

    pick(control<QComboBox>("Combo2"), 2);
    QCOMPARE(file2->pattern(), u"*.jpg"_s);
    QCOMPARE(entries(file2), QStringList{u"b.jpg"_s});
    QCOMPARE(file1->pattern(), u"*.gif"_s); // the source list is not touched
}

void TestConvertWindow::typingChangesNoPattern()
{
    auto *combo1 = control<QComboBox>("Combo1");
    combo1->lineEdit()->selectAll();
    QTest::keyClicks(combo1->lineEdit(), u".gif"_s);
    QCOMPARE(control<ui::FileList>("File1")->pattern(), u"*.*"_s);
    auto *combo2 = control<QComboBox>("Combo2");
    combo2->lineEdit()->selectAll();
    QTest::keyClicks(combo2->lineEdit(), u"png"_s);
    QCOMPARE(combo2->currentText(), u"png"_s);
    QCOMPARE(control<ui::FileList>("File2")->pattern(), u"*.bmp*"_s);
}

void TestConvertWindow::openingFolderMovesBothLists()
{
    pick(control<QComboBox>("Combo1"), 3);
    QVERIFY(QDir(folder->path()).mkdir(u"inner"_s));
    touch(folder->filePath(u"inner/x.jpg"_s));
    touch(folder->filePath(u"inner/x.bmp"_s));
    QVERIFY(control<ui::DirList>("Dir1")->setPath(folder->filePath(u"inner"_s)));
    QCOMPARE(entries(control<ui::FileList>("File1")), QStringList{u"x.jpg"_s});
    QCOMPARE(entries(control<ui::FileList>("File2")), QStringList{u"x.bmp"_s});
    QCOMPARE(control<ui::FileList>("File1")->pattern(), u"*.jpg"_s);
    QCOMPARE(control<ui::FileList>("File2")->pattern(), u"*.bmp*"_s);
}

void TestConvertWindow::driveNotReady()
{
    auto *drives = control<ui::DriveList>("Drive1");
    drives->setDrives({{QDir::toNativeSeparators(QDir::rootPath()), QString()},
                       {folder->filePath(u"unplugged"_s), u"Gone"_s}});
    drives->setCurrentIndex(0);
    drives->setFocus();
    QTest::keyClick(drives, Qt::Key_Down);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, u"This Drive seems to be un-available!"_s);
    QCOMPARE(boxes.shown[0].title, u"Drive Not Ready"_s);
    QCOMPARE(boxes.shown[0].icon, ui::MessageIcon::None);
    const QString path = QDir::toNativeSeparators(folder->path());
    QCOMPARE(control<ui::DirList>("Dir1")->path(), path);
    QCOMPARE(control<ui::FileList>("File1")->path(), path);
    QCOMPARE(control<ui::FileList>("File2")->path(), path);
}

void TestConvertWindow::refreshAllAndClearTimer()
{
    touch(folder->filePath(u"new.bmp"_s));
    QCOMPARE(control<ui::FileList>("File2")->listCount(), 2);
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(control<QLabel>("Label1")->text(), u" Refreshed"_s);
    QCOMPARE(control<ui::FileList>("File1")->listCount(), 5);
    QCOMPARE(control<ui::FileList>("File2")->listCount(), 3);

    auto *timer = control<QTimer>("Timer1");
    QCOMPARE(timer->interval(), 4000);
    QVERIFY(timer->isActive());
    tick(timer);
    QCOMPARE(control<QLabel>("Label1")->text(), QString());
    QCOMPARE(timer->interval(), 0);
    QVERIFY(!timer->isActive()); // one shot: no further ticks
}

void TestConvertWindow::loadFailure()
{
    test::RecordingMessageBoxes failures;
    convert::Convert broken(failures, folder->filePath(u"no-such-folder"_s));
    QVERIFY(!broken.load());
    QCOMPARE(failures.shown.size(), 1);
    QCOMPARE(failures.shown[0].text, u"Path not found error code 76"_s);
    QCOMPARE(failures.shown[0].title, u"MVT Error"_s);
    QCOMPARE(failures.shown[0].icon, ui::MessageIcon::Critical);
}

void TestConvertWindow::singleInstanceAndRestart()
{
    window.reset();
    test::RecordingClipboard clipboard;
    app::FrmMain main(boxes, clipboard);
    main.show();
    auto *menuEntry = main.findChild<QAction *>(u"mnuImageConvert"_s);
    QVERIFY(menuEntry && menuEntry->isEnabled());

    const auto converters = [] {
        QList<convert::Convert *> found;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *c = qobject_cast<convert::Convert *>(w))
                found.append(c);
        }
        return found;
    };
    menuEntry->trigger();
    QCOMPARE(converters().size(), 1);
    convert::Convert *first = converters().constFirst();
    QVERIFY(first->isVisible());
    QVERIFY(!first->parentWidget()); // no owner
    first->findChild<QLabel *>(u"Label1"_s)->setText(u"left over"_s);

    menuEntry->trigger(); // open already: comes to the front, no second one
    QCOMPARE(converters(), QList<convert::Convert *>{first});
    QCOMPARE(first->findChild<QLabel *>(u"Label1"_s)->text(), u"left over"_s);

    QPointer<convert::Convert> closed(first);
    first->close();
    QTRY_VERIFY(!closed); // closing unloads it
    menuEntry->trigger();
    QCOMPARE(converters().size(), 1);
    QCOMPARE(converters().constFirst()->findChild<QLabel *>(u"Label1"_s)->text(), QString()); // afresh
    QVERIFY(boxes.shown.isEmpty());
}

QTEST_MAIN(TestConvertWindow)
#include "tst_convertwindow.moc"
