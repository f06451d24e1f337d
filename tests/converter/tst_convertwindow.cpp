#include "app/frmmain.h"
#include "app/convertwindow.h"
#include "convert/filters.h"
#include "support/fixtures.h"
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
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace morvane;
using namespace Qt::StringLiterals;
using morvane::test::listEntries;
using morvane::test::touch;

namespace {

// Writes a small PNG picture (whatever the name says; loading goes by content).
void writePicture(const QString &path, QColor colour = Qt::darkCyan)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY2(image.save(path, "PNG"), qPrintable(path));
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
    void pickingFiltersAndFolders();
    void typingChangesNoPattern_data();
    void typingChangesNoPattern();
    void driveNotReady();
    void refreshAllAndClearTimer();
    void loadFailure();
    void singleInstanceAndRestart();
    void missingChoices_data();
    void missingChoices();
    void nothingToDo_data();
    void nothingToDo();
    void convertsSelectedImage();
    void convertAllCaption();
    void problemsAreReported();
    void harmlessOutcomesAreNoErrors();
    void convertAllWithoutChoiceFailsHonestly();
    void longRunCanBeCancelled();

private:
    template <typename T> T *control(const char *name) const { return test::control<T>(window.get(), name); }
    void openWindow();
    void openWithFiles();
    void choose(const char *comboName, const QString &text);
    void type(const char *comboName, const QString &text);
    void select(const QString &entry);
    void run(const char *button);
    void expectGoHeldWhileTelling();
    void expectNothingDone();
    QString path(const QString &name) const { return folder->filePath(name); }

    std::unique_ptr<fixtures::RawTemporaryDir> folder;
    test::RecordingMessageBoxes boxes;
    std::unique_ptr<app::Convert> window;
    // Whether "Go!" was enabled at each moment a run told its outcome (a
    // message box, the re-read of the destination list), since run().
    QList<bool> goWhileTelling;
};

void TestConvertWindow::init()
{
    folder = std::make_unique<fixtures::RawTemporaryDir>();
    boxes.shown.clear();
    boxes.whileShown = nullptr;
    goWhileTelling.clear();
}

void TestConvertWindow::cleanup()
{
    window.reset();
    folder.reset();
}

void TestConvertWindow::openWindow()
{
    window = std::make_unique<app::Convert>(boxes, folder->path());
    QVERIFY(window->load());
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *go = control<QPushButton>("cmd1");
    const auto note = [this, go] { goWhileTelling.append(go->isEnabled()); };
    boxes.whileShown = note;
    connect(control<ui::FileList>("File2")->model(), &QAbstractItemModel::modelReset, window.get(), note);
}

// A folder of four pictures' names and a README, in the open window.
void TestConvertWindow::openWithFiles()
{
    for (const char *name : {"a.bmp", "a.bmpx", "b.jpg", "c.gif", "README"})
        touch(path(QString::fromLatin1(name)));
    openWindow();
}

// Picks the entry whose text is text from the combo's list, or types text when no entry has it.
void TestConvertWindow::choose(const char *comboName, const QString &text)
{
    auto *combo = control<QComboBox>(comboName);
    const int index = combo->findText(text);
    if (index >= 0)
        return pick(combo, index);
    type(comboName, text);
}

// Types text over the combo's text, as a user does, without ending the edit.
void TestConvertWindow::type(const char *comboName, const QString &text)
{
    auto *combo = control<QComboBox>(comboName);
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, text);
}

void TestConvertWindow::select(const QString &entry)
{
    auto *list = control<ui::FileList>("File1");
    for (int i = 0; i < list->listCount(); ++i) {
        if (list->list(i) == entry) {
            list->setCurrentIndex(list->model()->index(i, 0));
            return;
        }
    }
    QFAIL(qPrintable(u"no entry "_s + entry));
}

// Clicks the button that starts a run ("Go!" or the hidden "Convert all").
void TestConvertWindow::run(const char *button)
{
    goWhileTelling.clear();
    control<QPushButton>(button)->click();
}

// "Go!" was disabled whenever the run told its outcome, and is enabled again.
void TestConvertWindow::expectGoHeldWhileTelling()
{
    QVERIFY(!goWhileTelling.isEmpty());
    QVERIFY(!goWhileTelling.contains(true));
    QVERIFY(control<QPushButton>("cmd1")->isEnabled());
}

// No caption, no clear timer, and "Go!" ready for another try.
void TestConvertWindow::expectNothingDone()
{
    expectGoHeldWhileTelling();
    QCOMPARE(control<QLabel>("Label1")->text(), QString());
    QVERIFY(!control<QTimer>("Timer1")->isActive());
}

void TestConvertWindow::patterns_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("dest");
    QTest::newRow("all files") << u"*.*"_s << u"*"_s << u"**.*"_s;
    QTest::newRow(".jpg") << u".jpg"_s << u"*.jpg"_s << u"*.jpg"_s;
    QTest::newRow("typed .jpeg") << u".jpeg"_s << u"*.jpe"_s << u"*.jpe"_s;
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
    openWithFiles();
    const QString native = QDir::toNativeSeparators(folder->path());
    QCOMPARE(control<ui::DirList>("Dir1")->path(), native);
    QCOMPARE(control<ui::FileList>("File1")->path(), native);
    QCOMPARE(control<ui::FileList>("File2")->path(), native);
    QCOMPARE(listEntries(*control<ui::FileList>("File1")), (QStringList{u"a.bmp"_s, u"a.bmpx"_s, u"b.jpg"_s, u"c.gif"_s}));
    QCOMPARE(listEntries(*control<ui::FileList>("File2")), (QStringList{u"a.bmp"_s, u"a.bmpx"_s}));

    auto *combo1 = control<QComboBox>("Combo1");
    auto *combo2 = control<QComboBox>("Combo2");
    QCOMPARE(combo1->currentText(), u"Select Source"_s);
    QCOMPARE(combo2->currentText(), u"Select Dest"_s);
    QCOMPARE(combo1->currentIndex(), -1);
    QCOMPARE(combo2->currentIndex(), -1);
    const auto items = [](const QComboBox *combo) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts;
    };
    QCOMPARE(items(combo1), (QStringList{u"*.*"_s, u".bmp"_s, u".gif"_s, u".jpg"_s, u".wmf"_s}));
    QCOMPARE(items(combo2), (QStringList{u".bmp"_s, u".gif"_s, u".jpg"_s, u".wmf"_s}));

    QVERIFY(!control<QCheckBox>("chkConvertAll")->isChecked());
    QCOMPARE(QApplication::focusWidget(), control<QWidget>("File1"));
    QVERIFY(boxes.shown.isEmpty());
}

// Each list follows its own box's pick, and both follow the folder.
void TestConvertWindow::pickingFiltersAndFolders()
{
    openWithFiles();
    auto *file1 = control<ui::FileList>("File1");
    auto *file2 = control<ui::FileList>("File2");
    pick(control<QComboBox>("Combo1"), 0);
    QCOMPARE(file1->pattern(), u"*"_s);
    QCOMPARE(listEntries(*file1), (QStringList{u"a.bmp"_s, u"a.bmpx"_s, u"b.jpg"_s, u"c.gif"_s, u"README"_s}));
    pick(control<QComboBox>("Combo1"), 3);
    QCOMPARE(file1->pattern(), u"*.jpg"_s);
    QCOMPARE(listEntries(*file1), QStringList{u"b.jpg"_s});
    QCOMPARE(file2->pattern(), u"*.bmp*"_s); // the destination list is not touched
    pick(control<QComboBox>("Combo2"), 1);
    QCOMPARE(file2->pattern(), u"*.gif"_s);
    QCOMPARE(listEntries(*file2), QStringList{u"c.gif"_s});

    QVERIFY(QDir(folder->path()).mkdir(u"inner"_s));
    touch(path(u"inner/x.jpg"_s));
    touch(path(u"inner/x.gif"_s));
    QVERIFY(control<ui::DirList>("Dir1")->setPath(path(u"inner"_s)));
    QCOMPARE(listEntries(*file1), QStringList{u"x.jpg"_s});
    QCOMPARE(listEntries(*file2), QStringList{u"x.gif"_s});
}

void TestConvertWindow::typingChangesNoPattern_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("Enter") << u"Enter"_s;
    QTest::newRow("Tab") << u"Tab"_s;
    QTest::newRow("click away") << u"click"_s;
}

// Typing is no pick, however the edit ends: the text stays as typed, no list
// is filtered, and the conversion uses that text. The arrow keys on the
// closed box pick.
void TestConvertWindow::typingChangesNoPattern()
{
    QFETCH(QString, ending);
    writePicture(path(u"stone.png"_s));
    touch(path(u"a.bmp"_s));
    openWindow();
    const auto typeAndEnd = [&](const char *comboName, const QString &text) {
        type(comboName, text);
        auto *combo = control<QComboBox>(comboName);
        if (ending == u"Enter")
            QTest::keyClick(combo, Qt::Key_Return);
        else if (ending == u"Tab")
            QTest::keyClick(combo, Qt::Key_Tab);
        else
            QTest::mouseClick(control<ui::FileList>("File2")->viewport(), Qt::LeftButton);
        QVERIFY(ending == u"Enter" || !combo->hasFocus());
    };
    auto *combo1 = control<QComboBox>("Combo1");
    auto *combo2 = control<QComboBox>("Combo2");
    for (const QString &text : {u"."_s, u".gif"_s}) { // completed, and an entry's very text
        typeAndEnd("Combo1", text);
        QCOMPARE(combo1->currentText(), text);
        QCOMPARE(control<ui::FileList>("File1")->pattern(), u"*.*"_s);
    }
    typeAndEnd("Combo2", u".JPG"_s);
    QCOMPARE(combo2->currentText(), u".JPG"_s);
    QCOMPARE(control<ui::FileList>("File2")->pattern(), u"*.bmp*"_s);
    QCOMPARE(listEntries(*control<ui::FileList>("File2")), QStringList{u"a.bmp"_s});

    select(u"stone.png"_s);
    run("cmd1");
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(fixtures::fileNames(folder->path()), (QStringList{u"a.bmp"_s, u"stone.JPG"_s, u"stone.png"_s}));

    combo2->setFocus();
    QTest::keyClick(combo2, Qt::Key_Down);
    QVERIFY(combo2->currentIndex() >= 0);
    QCOMPARE(control<ui::FileList>("File2")->pattern(), u"*"_s + combo2->currentText());
}

void TestConvertWindow::driveNotReady()
{
    openWithFiles();
    auto *drives = control<ui::DriveList>("Drive1");
    drives->setDrives({{QDir::toNativeSeparators(QDir::rootPath()), QString()},
                       {path(u"unplugged"_s), u"Gone"_s}});
    drives->setCurrentIndex(0);
    drives->setFocus();
    QTest::keyClick(drives, Qt::Key_Down);
    QCOMPARE(boxes.shown, (QList<test::ShownMessage>{{u"This Drive seems to be un-available!"_s, u"Drive Not Ready"_s}}));
    const QString native = QDir::toNativeSeparators(folder->path());
    QCOMPARE(control<ui::DirList>("Dir1")->path(), native);
    QCOMPARE(control<ui::FileList>("File1")->path(), native);
    QCOMPARE(control<ui::FileList>("File2")->path(), native);
}

void TestConvertWindow::refreshAllAndClearTimer()
{
    openWithFiles();
    touch(path(u"new.bmp"_s));
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
    app::Convert broken(failures, path(u"no-such-folder"_s));
    QVERIFY(!broken.load());
    QCOMPARE(failures.shown,
             (QList<test::ShownMessage>{{u"Path not found error code 76"_s, u"MVT Error"_s, ui::MessageIcon::Critical}}));
}

void TestConvertWindow::singleInstanceAndRestart()
{
    test::RecordingClipboard clipboard;
    app::FrmMain main(boxes, clipboard);
    main.show();
    auto *menuEntry = main.findChild<QAction *>(u"mnuImageConvert"_s);
    QVERIFY(menuEntry && menuEntry->isEnabled());

    const auto converters = [] {
        QList<app::Convert *> found;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *c = qobject_cast<app::Convert *>(w))
                found.append(c);
        }
        return found;
    };
    menuEntry->trigger();
    QCOMPARE(converters().size(), 1);
    app::Convert *first = converters().constFirst();
    QVERIFY(first->isVisible());
    QVERIFY(!first->parentWidget()); // no owner
    first->findChild<QLabel *>(u"Label1"_s)->setText(u"left over"_s);

    menuEntry->trigger(); // open already: comes to the front, no second one
    QCOMPARE(converters(), QList<app::Convert *>{first});
    QCOMPARE(first->findChild<QLabel *>(u"Label1"_s)->text(), u"left over"_s);

    QPointer<app::Convert> closed(first);
    first->close();
    QTRY_VERIFY(!closed); // closing unloads it
    menuEntry->trigger();
    QCOMPARE(converters().size(), 1);
    QCOMPARE(converters().constFirst()->findChild<QLabel *>(u"Label1"_s)->text(), QString()); // afresh
    QVERIFY(boxes.shown.isEmpty());
}

void TestConvertWindow::missingChoices_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("dest");
    QTest::addColumn<bool>("convertAll");
    QTest::addColumn<QString>("message");
    QTest::newRow("neither chosen") << QString() << QString() << false << u"Please 'Select Source' "_s;
    QTest::newRow("source only") << u".jpg"_s << QString() << false << u"Please 'Select Dest' "_s;
    QTest::newRow("dest only") << QString() << u".bmp"_s << true << u"Please 'Select Source' "_s;
}

void TestConvertWindow::missingChoices()
{
    QFETCH(QString, source);
    QFETCH(QString, dest);
    QFETCH(bool, convertAll);
    QFETCH(QString, message);
    writePicture(path(u"stone.jpg"_s));
    openWindow();
    if (!source.isEmpty())
        choose("Combo1", source);
    if (!dest.isEmpty())
        choose("Combo2", dest);
    control<QCheckBox>("chkConvertAll")->setChecked(convertAll);
    select(u"stone.jpg"_s);

    run("cmd1");
    QCOMPARE(boxes.shown, (QList<test::ShownMessage>{{message, u"MVT"_s}}));
    QCOMPARE(fixtures::fileNames(folder->path()), QStringList{u"stone.jpg"_s});
    expectNothingDone();
}

void TestConvertWindow::nothingToDo_data()
{
    QTest::addColumn<bool>("withFiles");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("convertAll");
    QTest::newRow("empty list, Go!") << false << u"cmd1"_s << false;
    QTest::newRow("empty list, Convert all") << false << u"cmd2"_s << false;
    QTest::newRow("nothing selected") << true << u"cmd1"_s << false;
}

void TestConvertWindow::nothingToDo()
{
    QFETCH(bool, withFiles);
    QFETCH(QString, button);
    QFETCH(bool, convertAll);
    if (withFiles)
        writePicture(path(u"stone.jpg"_s));
    openWindow();
    choose("Combo1", u"*.*"_s);
    choose("Combo2", u".gif"_s);
    control<QCheckBox>("chkConvertAll")->setChecked(convertAll);
    const QStringList before = fixtures::fileNames(folder->path());

    run(qPrintable(button));
    QCOMPARE(boxes.shown, (QList<test::ShownMessage>{{u"Nothing to do"_s, u"MVT Error"_s}}));
    QCOMPARE(fixtures::fileNames(folder->path()), before);
    expectNothingDone();
}

// A Combo1 text that differs from the prompt only in letter case is a choice.
void TestConvertWindow::convertsSelectedImage()
{
    writePicture(path(u"stone.jpg"_s), Qt::red);
    writePicture(path(u"wood.jpg"_s));
    openWindow();
    type("Combo1", u"select source"_s);
    choose("Combo2", u".bmp"_s);
    select(u"stone.jpg"_s);
    QCOMPARE(control<ui::FileList>("File2")->listCount(), 0);

    run("cmd1");
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(fixtures::fileNames(folder->path()), (QStringList{u"stone.bmp"_s, u"stone.jpg"_s, u"wood.jpg"_s}));
    const QImage written(path(u"stone.bmp"_s), "BMP");
    QCOMPARE(written.pixelColor(3, 3), QColor(Qt::red));
    QCOMPARE(control<QLabel>("Label1")->text(), u" Saved  image"_s);
    QCOMPARE(control<ui::FileList>("File2")->listCount(), 1); // the destination list was re-read
    QCOMPARE(control<ui::FileList>("File1")->listCount(), 2);
    QCOMPARE(control<QTimer>("Timer1")->interval(), 4000);
    QVERIFY(control<QTimer>("Timer1")->isActive());
    expectGoHeldWhileTelling();
}

// Converting all of two entries: the plural caption (one entry's is checked above).
void TestConvertWindow::convertAllCaption()
{
    writePicture(path(u"a.jpg"_s));
    writePicture(path(u"b.jpg"_s));
    openWindow();
    choose("Combo1", u".jpg"_s);
    choose("Combo2", u".gif"_s);
    control<QCheckBox>("chkConvertAll")->setChecked(true); // whatever the selection
    run("cmd1");
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(control<QLabel>("Label1")->text(), u" Saved  images's"_s);
    expectGoHeldWhileTelling();
    QCOMPARE(fixtures::fileNames(folder->path()), (QStringList{u"a.gif"_s, u"a.jpg"_s, u"b.gif"_s, u"b.jpg"_s}));
}

void TestConvertWindow::problemsAreReported()
{
    writePicture(path(u"good.bmp"_s));      // its destination is itself: skipped, untouched
    writePicture(path(u"fine.png"_s));      // converts
    QVERIFY(fixtures::writeFile(path(u"broken.png"_s), "not a picture")); // nothing written for it
    writePicture(path(u"a.b"_s));           // too short for a base name
    openWindow();
    choose("Combo1", u"*.*"_s);
    choose("Combo2", u".bmp"_s);
    control<QCheckBox>("chkConvertAll")->setChecked(true);

    run("cmd1");
    QCOMPARE(control<QLabel>("Label1")->text(), u" Saved 1, skipped 2, failed 1"_s);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].title, u"MVT Error"_s);
    QCOMPARE(boxes.shown[0].icon, ui::MessageIcon::Critical);
    const QString text = boxes.shown[0].text;
    QVERIFY2(text.startsWith(u"1 of 4 images could not be converted\n\n"_s), qPrintable(text));
    for (const char *name : {"good.bmp", "broken.png", "a.b"})
        QVERIFY2(text.contains(QString::fromLatin1(name)), qPrintable(text));
    QVERIFY(!text.contains(u"fine.png"_s));
    // Only fine.bmp is new: nothing for the others, no temporary files left.
    QCOMPARE(fixtures::fileNames(folder->path()),
             (QStringList{u"a.b"_s, u"broken.png"_s, u"fine.bmp"_s, u"fine.png"_s, u"good.bmp"_s}));
    QCOMPARE(control<QTimer>("Timer1")->interval(), 4000);
    expectGoHeldWhileTelling();
}

// Skips and a copy replaced within the run are told, in the counts and an
// information box, but not as an error.
void TestConvertWindow::harmlessOutcomesAreNoErrors()
{
    writePicture(path(u"a.bmp"_s));
    writePicture(path(u"stone.jpg"_s), Qt::red);
    writePicture(path(u"stone.png"_s), Qt::blue);
    writePicture(path(u"wood.jpg"_s));
    QVERIFY(fixtures::makeRaw(folder->path(), u"caf\\xe9.jpg"_s, false)); // left out of the list, told as a skip
    openWindow();
    choose("Combo1", u"*.*"_s);
    choose("Combo2", u".bmp"_s);
    control<QCheckBox>("chkConvertAll")->setChecked(true);

    run("cmd1");
    QCOMPARE(control<QLabel>("Label1")->text(), u" Saved 2, skipped 2, failed 0, 1 copy replaced in this run"_s);
    const QString list = u"a.bmp - skipped: the destination is the source itself\n"
                         u"stone.jpg - replaced: its copy stone.bmp was replaced by that of stone.png, later in this run\n"
                         u"caf\\xe9.jpg - skipped: name is not valid UTF-8"_s;
    QCOMPARE(boxes.shown, (QList<test::ShownMessage>{{list, u"MVT"_s, ui::MessageIcon::Information}}));
    QCOMPARE(fixtures::fileNames(folder->path()), (QStringList{u"a.bmp"_s, u"stone.bmp"_s, u"stone.jpg"_s,
                                                               u"stone.png"_s, u"wood.bmp"_s, u"wood.jpg"_s}));
    QCOMPARE(QImage(path(u"stone.bmp"_s)).pixelColor(3, 3), QColor(Qt::blue)); // written in list order
    expectGoHeldWhileTelling();
}

void TestConvertWindow::convertAllWithoutChoiceFailsHonestly()
{
    writePicture(path(u"stone.jpg"_s));
    openWindow();
    run("cmd2"); // "Convert all" makes no test of the combo boxes
    QCOMPARE(control<QLabel>("Label1")->text(), u" Saved 0, skipped 0, failed 1"_s);
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY2(boxes.shown[0].text.contains(u"stoneSele"_s), qPrintable(boxes.shown[0].text));
    QCOMPARE(fixtures::fileNames(folder->path()), QStringList{u"stone.jpg"_s});
    expectGoHeldWhileTelling();
}

// A long run shows its progress over the window and stops at the user's
// Cancel, which is reported in the caption alone.
void TestConvertWindow::longRunCanBeCancelled()
{
    // Noisy pictures, so that each one takes the quantizer a while.
    const QImage noise = fixtures::randomPixels(128, 128, 7);
    for (int i = 0; i < 400; ++i)
        QVERIFY(noise.save(path(u"tex"_s + QString::number(i) + u".png"_s), "PNG", 100));
    openWindow();
    choose("Combo1", u"*.*"_s);
    choose("Combo2", u".gif"_s);
    control<QCheckBox>("chkConvertAll")->setChecked(true);

    QString label;
    QTimer watch;
    connect(&watch, &QTimer::timeout, window.get(), [&] {
        auto *dialog = window->findChild<QProgressDialog *>();
        if (label.isEmpty() && dialog && dialog->isVisible()) {
            label = dialog->labelText();
            QCOMPARE(dialog->windowModality(), Qt::WindowModal);
            goWhileTelling.append(control<QPushButton>("cmd1")->isEnabled());
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        }
    });
    watch.start(20);
    run("cmd1");
    QVERIFY2(label.startsWith(u"Converting "_s) && label.contains(u" of 400: tex"_s), qPrintable(label));
    const QString caption = control<QLabel>("Label1")->text();
    QVERIFY2(caption.startsWith(u" Saved "_s) && caption.endsWith(u" (cancelled)"_s), qPrintable(caption));
    QVERIFY(boxes.shown.isEmpty());
    expectGoHeldWhileTelling();
    // The saved entries are the leading part of the list, each written whole.
    const int saved = caption.mid(7, caption.indexOf(u',') - 7).toInt();
    QVERIFY(saved < 400);
    for (int i = 0; i < 400; ++i)
        QCOMPARE(QFile::exists(path(u"tex"_s + QString::number(i) + u".gif"_s)), i < saved);
}

QTEST_MAIN(TestConvertWindow)
#include "tst_convertwindow.moc"
