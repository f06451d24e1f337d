#include "app/frmmain.h"
#include "app/convertwindow.h"
#include "app/windowframe.h"
#include "appinfo.h"
#include "convert/conversion.h"
#include "support/fixtures.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

using namespace morvane;
using namespace Qt::StringLiterals;
using morvane::test::listEntries;
using morvane::test::ShownMessage;

namespace {

// Picks entry index from the combo's drop-down list with the mouse, as a user does.
void pick(QComboBox *combo, int index)
{
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    QTRY_VERIFY(view->isVisible());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(index, 0)).center());
    QTRY_VERIFY(!view->isVisible());
}

// Types text over the combo's text, as a user does, without ending the edit.
void type(QComboBox *combo, const QString &text)
{
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, text);
}

// Makes the files that list names in folder: "name" a small picture,
// "name=red" one of that colour, "name=!" a file that holds no picture, and a
// name with \xHH in it an empty file under those bytes (not valid UTF-8).
void makeFiles(const QString &folder, const QString &list)
{
    for (const QString &item : list.split(u' ', Qt::SkipEmptyParts)) {
        const QString name = item.section(u'=', 0, 0), content = item.section(u'=', 1);
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(content.isEmpty() ? QColor(Qt::darkCyan) : QColor::fromString(content));
        QVERIFY2(name.contains(u"\\x") ? fixtures::makeRaw(folder, name, false)
                 : content == u"!"     ? fixtures::writeFile(folder + u'/' + name, "not a picture")
                                       : picture.save(folder + u'/' + name, "PNG"),
                 qPrintable(name));
    }
}

} // namespace

class TestConvertWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void form();
    void browsing();
    void singleInstanceAndRestart();
    void runs_data();
    void runs();
    void longRunCanBeCancelled();
    void optionsReachARun();

private:
    template <typename T = QWidget> T *control(const char *name) const { return test::control<T>(window.get(), name); }
    void openWindow(const QString &files);
    QString path(const QString &name) const { return folder->filePath(name); }

    std::unique_ptr<fixtures::RawTemporaryDir> folder;
    test::RecordingMessageBoxes boxes;
    std::unique_ptr<app::Convert> window;
    // Whether "Go!" was enabled at each moment the window told an outcome (a
    // message box, the re-read of the destination list).
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

// Makes files (as makeFiles does) and opens the window on their folder.
void TestConvertWindow::openWindow(const QString &files)
{
    makeFiles(folder->path(), files);
    window = std::make_unique<app::Convert>(boxes, folder->path());
    QVERIFY(window->load());
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    const auto note = [this] { goWhileTelling.append(control("cmd1")->isEnabled()); };
    boxes.whileShown = note;
    connect(control<ui::FileList>("File2")->model(), &QAbstractItemModel::modelReset, window.get(), note);
}

// Where each control stands and its font, the order Tab takes, the focus at opening.
void TestConvertWindow::form()
{
    openWindow({});
    QCOMPARE(window->size(), QSize(443, 449));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    const std::tuple<const char *, QRect, double> controls[] = {
        {"File1", {8, 168, 212, 188}, 8.25},    {"cmd1", {323, 392, 113, 33}, 8.25},
        {"Dir1", {8, 32, 425, 111}, 8.25},      {"Drive1", {8, 8, 425, 21}, 8.25},
        {"File2", {224, 168, 212, 188}, 8.25},  {"Combo1", {8, 360, 212, 24}, 9.75},
        {"Combo2", {224, 360, 212, 24}, 9.75},  {"chkConvertAll", {200, 400, 121, 25}, 8.25},
        {"Command1", {8, 392, 105, 33}, 8.25},  {"Label2_0", {8, 152, 73, 17}, 8.25},
        {"Label2_1", {224, 152, 33, 17}, 8.25}, {"Label1", {0, 432, 449, 17}, 8.25},
        {"cmd2", {288, 520, 105, 33}, 8.25}};
    QStringList names;
    for (const auto &[name, geometry, points] : controls) {
        const QWidget *widget = control(name);
        QCOMPARE(std::tuple(widget->geometry(), widget->font().pointSizeF()), std::tuple(geometry, points));
        // MS Sans Serif, named or by the family standing in for it.
        const QString family = widget->font().family();
        QVERIFY2(family == u"MS Sans Serif"_s || family == app::formFont(u"MS Sans Serif"_s, points).family(), name);
        names.append(QString::fromLatin1(name));
    }
    QStringList order;
    for (QWidget *widget = control("File1"); order.size() < 9; widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && names.contains(widget->objectName()))
            order.append(widget->objectName());
    }
    QCOMPARE(order, names.first(9));
    QCOMPARE(window->focusWidget(), control("File1"));
}

// The window as it opens (the boxes' prompts and entries, both
// lists on the program's folder); each list following its own box's pick,
// and both the folder; typing, which is no pick; a drive or a program folder
// that cannot be read.
void TestConvertWindow::browsing()
{
    openWindow(u"a.bmp a.bmpx b.jpg c.gif README"_s);
    auto *combo1 = control<QComboBox>("Combo1"), *combo2 = control<QComboBox>("Combo2");
    const auto entries = [](const QComboBox *combo) {
        QStringList texts{combo->currentText(), QString::number(combo->currentIndex())};
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts.join(u' ');
    };
    QCOMPARE(entries(combo1), u"Select Source -1 *.* .bmp .gif .jpg .wmf"_s);
    QCOMPARE(entries(combo2), u"Select Dest -1 .bmp .gif .jpg .wmf"_s);
    QVERIFY(!control<QCheckBox>("chkConvertAll")->isChecked());
    auto *file1 = control<ui::FileList>("File1"), *file2 = control<ui::FileList>("File2");
    const auto onFolder = [&](const QString &folderPath) {
        const QString native = QDir::toNativeSeparators(folderPath);
        return control<ui::DirList>("Dir1")->path() == native && file1->path() == native && file2->path() == native;
    };
    QVERIFY(onFolder(folder->path()));
    QCOMPARE(listEntries(*file1), (QStringList{u"a.bmp"_s, u"a.bmpx"_s, u"b.jpg"_s, u"c.gif"_s}));
    QCOMPARE(listEntries(*file2), (QStringList{u"a.bmp"_s, u"a.bmpx"_s}));

    pick(combo1, 0);
    QCOMPARE(listEntries(*file1), (QStringList{u"a.bmp"_s, u"a.bmpx"_s, u"b.jpg"_s, u"c.gif"_s, u"README"_s}));
    pick(combo1, 3);
    QCOMPARE(listEntries(*file1), QStringList{u"b.jpg"_s});
    QCOMPARE(file2->pattern(), u"*.bmp*"_s); // the destination list is not touched
    pick(combo2, 1);
    QCOMPARE(listEntries(*file2), QStringList{u"c.gif"_s});

    // However an edit ends, the text stays as typed and filters nothing (a
    // run takes that text: see runs.ini); the arrow keys on the closed box pick.
    for (const int ending : {int(Qt::Key_Return), int(Qt::Key_Tab), 0}) { // 0: a click on the destination list
        for (const auto &[combo, text] : {std::pair{combo1, u"."_s}, {combo1, u".gif"_s}, {combo2, u".JPG"_s}}) {
            type(combo, text);
            if (ending)
                QTest::keyClick(combo, Qt::Key(ending));
            else
                QTest::mouseClick(file2->viewport(), Qt::LeftButton);
            QVERIFY(ending == Qt::Key_Return || !combo->hasFocus());
            QCOMPARE(combo->currentText(), text);
        }
    }
    QVERIFY(file1->pattern() == u"*.jpg" && file2->pattern() == u"*.gif");
    combo2->setFocus();
    QTest::keyClick(combo2, Qt::Key_Down);
    QCOMPARE(combo2->currentText(), u".jpg"_s);
    QCOMPARE(file2->pattern(), u"*.jpg"_s);

    QVERIFY(QDir(folder->path()).mkdir(u"inner"_s));
    makeFiles(path(u"inner"_s), u"x.jpg x.gif"_s);
    QVERIFY(control<ui::DirList>("Dir1")->setPath(path(u"inner"_s)));
    QCOMPARE(listEntries(*file1), QStringList{u"x.jpg"_s});
    QCOMPARE(listEntries(*file2), QStringList{u"x.jpg"_s});
    auto *drives = control<ui::DriveList>("Drive1");
    drives->setDrives({{QDir::toNativeSeparators(QDir::rootPath()), QString()}, {path(u"unplugged"_s), u"Gone"_s}});
    drives->setCurrentIndex(0);
    drives->setFocus();
    QTest::keyClick(drives, Qt::Key_Down);
    QVERIFY(onFolder(path(u"inner"_s)));
    app::Convert broken(boxes, path(u"no-such-folder"_s));
    QVERIFY(!broken.load());
    QCOMPARE(boxes.shown, (QList<ShownMessage>{{u"This Drive seems to be un-available!"_s, u"Drive Not Ready"_s},
                                               {u"Path not found error code 76"_s, u"MVT Error"_s, ui::MessageIcon::Critical}}));
}

// The menu opens one converter, with no owner; a second pick brings it to
// the front as it is; once closed, the next pick opens a new one.
void TestConvertWindow::singleInstanceAndRestart()
{
    test::RecordingClipboard clipboard;
    app::FrmMain main(boxes, clipboard);
    main.show();
    auto *menuEntry = main.findChild<QAction *>(u"mnuImageConvert"_s);
    QVERIFY(menuEntry && menuEntry->isEnabled());
    const auto converters = [] {
        QList<app::Convert *> found;
        for (QWidget *w : QApplication::topLevelWidgets())
            found.append(qobject_cast<app::Convert *>(w));
        found.removeAll(nullptr);
        return found;
    };
    const auto caption = [](QWidget *converter) { return converter->findChild<QLabel *>(u"Label1"_s); };
    menuEntry->trigger();
    QPointer<app::Convert> first(converters().value(0));
    QVERIFY(converters().size() == 1 && first->isVisible() && !first->parentWidget());
    caption(first)->setText(u"left over"_s);
    menuEntry->trigger();
    QCOMPARE(converters(), QList<app::Convert *>{first});
    QCOMPARE(caption(first)->text(), u"left over"_s);
    first->close();
    QTRY_VERIFY(!first); // closing unloads it
    menuEntry->trigger();
    QCOMPARE(converters().size(), 1);
    QCOMPARE(caption(converters().constFirst())->text(), QString());
    QVERIFY(boxes.shown.isEmpty());
}

// Runs and refusals, one a block of data/runs.ini (which tells its keys).
void TestConvertWindow::runs_data()
{
    QTest::addColumn<QVariantHash>("row");
    QSettings runs(QStringLiteral(MORVANE_CONVERTER_DATA "/runs.ini"), QSettings::IniFormat);
    QVERIFY(runs.childGroups().size() >= 10);
    for (const QString &name : runs.childGroups()) {
        runs.beginGroup(name);
        QVariantHash row{{u"button"_s, u"cmd1"_s}};
        for (const QString &key : runs.childKeys())
            row.insert(key, runs.value(key));
        QTest::newRow(qPrintable(name)) << row;
        runs.endGroup();
    }
}

void TestConvertWindow::runs()
{
    QFETCH(QVariantHash, row);
    const auto value = [&](const QString &key) { return row.value(key).toString(); };
    openWindow(value(u"files"_s));
    makeFiles(folder->path(), value(u"later"_s));
    for (const auto &[name, text] : {std::pair{"Combo1", value(u"source"_s)}, {"Combo2", value(u"dest"_s)}}) {
        auto *combo = control<QComboBox>(name);
        if (const int index = combo->findText(text); index >= 0 && !text.isEmpty())
            pick(combo, index);
        else if (!text.isEmpty())
            type(combo, text);
    }
    control<QCheckBox>("chkConvertAll")->setChecked(row.value(u"all"_s).toBool());
    auto *file1 = control<ui::FileList>("File1"), *file2 = control<ui::FileList>("File2");
    if (const qsizetype selected = listEntries(*file1).indexOf(value(u"selected"_s)); selected >= 0)
        file1->setCurrentIndex(file1->model()->index(int(selected), 0));
    goWhileTelling.clear();
    control<QPushButton>(qPrintable(value(u"button"_s)))->click();

    const QString caption = value(u"caption"_s);
    const QHash<QString, ui::MessageIcon> icons{{u"critical"_s, ui::MessageIcon::Critical},
                                                {u"information"_s, ui::MessageIcon::Information}};
    const ShownMessage box{value(u"text"_s), value(u"title"_s), icons.value(value(u"icon"_s), ui::MessageIcon::None)};
    QCOMPARE(boxes.shown, box.title.isEmpty() ? QList<ShownMessage>() : QList<ShownMessage>{box});
    QCOMPARE(control<QLabel>("Label1")->text(), caption);
    // "Go!" was disabled whenever a run or refusal told its outcome, and is enabled again.
    QVERIFY(value(u"button"_s) == u"Command1" || (!goWhileTelling.isEmpty() && !goWhileTelling.contains(true)));
    QVERIFY(control("cmd1")->isEnabled());
    QStringList names;
    for (const QString &item : value(u"after"_s).split(u' ', Qt::SkipEmptyParts)) {
        names.append(item.section(u'=', 0, 0));
        if (item.contains(u'='))
            QCOMPARE(QImage(path(names.last())).pixelColor(3, 3), QColor::fromString(item.section(u'=', 1)));
    }
    QCOMPARE(fixtures::fileNames(folder->path()), names);
    // The destination list shows the folder as it is now, and after Refresh All the source list too.
    QList<ui::FileList *> reread{file2};
    if (value(u"button"_s) == u"Command1")
        reread.append(file1);
    for (ui::FileList *list : reread) {
        ui::FileList now;
        now.setPattern(list->pattern());
        QVERIFY(now.setPath(folder->path()));
        QCOMPARE(listEntries(*list), listEntries(now));
    }
    // The caption is cleared by one tick of the timer, which then stops; a refusal starts none.
    auto *timer = control<QTimer>("Timer1");
    QCOMPARE(timer->isActive() ? timer->interval() : 0, caption.isEmpty() ? 0 : 4000);
    QTimerEvent tick(timer->timerId());
    QCoreApplication::sendEvent(timer, &tick);
    QVERIFY(control<QLabel>("Label1")->text().isEmpty() && !timer->isActive() && timer->interval() == 0);
}

// A long run shows its progress over the window and stops at the user's
// Cancel, which is reported in the caption alone.
void TestConvertWindow::longRunCanBeCancelled()
{
    // Noisy pictures, so that each one takes the quantizer a while.
    const QImage noise = fixtures::randomPixels(128, 128, 7);
    for (int i = 0; i < 400; ++i)
        QVERIFY(noise.save(path(u"tex%1.png"_s.arg(i)), "PNG", 100));
    openWindow(QString());
    pick(control<QComboBox>("Combo1"), 0);
    pick(control<QComboBox>("Combo2"), 1);
    control<QCheckBox>("chkConvertAll")->setChecked(true);
    QString label;
    QTimer watch;
    connect(&watch, &QTimer::timeout, window.get(), [&] {
        auto *dialog = window->findChild<QProgressDialog *>();
        if (label.isEmpty() && dialog && dialog->isVisible()) {
            label = dialog->labelText();
            QCOMPARE(dialog->windowModality(), Qt::WindowModal);
            QCOMPARE(dialog->windowTitle(), window->windowTitle());
            goWhileTelling.append(control("cmd1")->isEnabled());
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        }
    });
    watch.start(20);
    goWhileTelling.clear();
    control<QPushButton>("cmd1")->click();
    const int current = label.section(u' ', 1, 1).toInt(); // "Converting 12 of 400: tex11.png"
    QCOMPARE(label, u"Converting %1 of 400: tex%2.png"_s.arg(current).arg(current - 1));
    const QString caption = control<QLabel>("Label1")->text();
    QVERIFY2(caption.startsWith(u" Saved "_s) && caption.endsWith(u" (cancelled)"_s), qPrintable(caption));
    QCOMPARE(goWhileTelling, (QList<bool>{false, false})); // the dialog, the re-read of the destination list
    QVERIFY(boxes.shown.isEmpty() && control("cmd1")->isEnabled());
    // The saved entries are the leading part of the list, each written whole.
    const int saved = caption.mid(7, caption.indexOf(u',') - 7).toInt();
    QVERIFY(saved < 400);
    for (int i = 0; i < 400; ++i)
        QCOMPARE(QFile::exists(path(u"tex%1.gif"_s.arg(i))), i < saved);
}

// Choices made in the Conversion Options dialog last while the program
// runs: the converter shows them and its next run follows them.
void TestConvertWindow::optionsReachARun()
{
    makeFiles(folder->path(), u"a.png b.png"_s);
    QImage wide(48, 20, QImage::Format_RGB32);
    wide.fill(Qt::red);
    QVERIFY(wide.save(path(u"a.png"_s)) && QDir().mkpath(path(u"out"_s)));
    QVERIFY(fixtures::writeFile(path(u"out/b.gif"_s), "kept"));
    test::RecordingClipboard clipboard;
    app::FrmMain main(boxes, clipboard);
    QTimer choose;
    connect(&choose, &QTimer::timeout, &main, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        const auto pickData = [dialog](const char *name, int value) {
            auto *combo = test::control<QComboBox>(dialog, name);
            combo->setCurrentIndex(combo->findData(value));
        };
        pickData("cboExisting", int(convert::Existing::Skip));
        pickData("cboResize", convert::ResizeRule::PowerOfTwo);
        test::control<QLineEdit>(dialog, "txtOutputFolder")->setText(path(u"out"_s));
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    choose.start(20);
    main.findChild<QAction *>(u"mnuConversionOptions"_s)->trigger();
    choose.stop();
    main.findChild<QAction *>(u"mnuImageConvert"_s)->trigger();
    QWidget *converter = QApplication::activeWindow();
    QTRY_VERIFY((converter = QApplication::activeWindow()) && qobject_cast<app::Convert *>(converter));
    const QString shown = u" Options: keep existing copies, resize to the nearest power of two, copies into "_s +
                          QDir::toNativeSeparators(path(u"out"_s));
    QCOMPARE(test::control<QLabel>(converter, "Label1")->text(), shown);
    QVERIFY(test::control<ui::DirList>(converter, "Dir1")->setPath(folder->path()));
    pick(test::control<QComboBox>(converter, "Combo1"), 0);
    pick(test::control<QComboBox>(converter, "Combo2"), 1);
    test::control<QCheckBox>(converter, "chkConvertAll")->setChecked(true);
    test::control<QPushButton>(converter, "cmd1")->click();

    QCOMPARE(QImage(path(u"out/a.gif"_s)).size(), QSize(64, 16));
    QCOMPARE(fixtures::readFile(path(u"out/b.gif"_s)), QByteArray("kept"));
    QCOMPARE(fixtures::fileNames(folder->path()), (QStringList{u"a.png"_s, u"b.png"_s, u"out"_s}));
    QCOMPARE(boxes.shown, (QList<ShownMessage>{{u"b.png - skipped: its copy b.gif is there already"_s, appinfo::title(),
                                                 ui::MessageIcon::Information}}));
    QTimerEvent tick(test::control<QTimer>(converter, "Timer1")->timerId());
    QCoreApplication::sendEvent(test::control<QTimer>(converter, "Timer1"), &tick);
    QCOMPARE(test::control<QLabel>(converter, "Label1")->text(), shown);
}

QTEST_MAIN(TestConvertWindow)
#include "tst_convertwindow.moc"
