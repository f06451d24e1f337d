#include "convert/conversionrun.h"
#include "convert/convertwindow.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"
#include "ui/filelist.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace morvane;
using namespace Qt::StringLiterals;

namespace {

// Writes a small PNG picture (whatever the name says; loading goes by content).
void writePicture(const QString &path, QColor colour = Qt::darkCyan, int side = 16)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY2(image.save(path, "PNG"), qPrintable(path));
}

void writeText(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a picture\n");
}

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestConvertRun : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingChoices_data();
    void missingChoices();
    void nothingToDo_data();
    void nothingToDo();
    void convertsSelectedImage();
    void convertAllCaptions_data();
    void convertAllCaptions();
    void destinationNames_data();
    void destinationNames();
    void problemsAreReported();
    void convertAllWithoutChoiceFailsHonestly();
    void longRunCanBeCancelled();

private:
    template <typename T> T *control(const char *name) const { return test::control<T>(window.get(), name); }
    void openWindow();
    void choose(const char *comboName, const QString &text);
    void select(const QString &entry);
    QString path(const QString &name) const { return folder->filePath(name); }

    std::unique_ptr<QTemporaryDir> folder;
    test::RecordingMessageBoxes boxes;
    std::unique_ptr<convert::Convert> window;
};

void TestConvertRun::init()
{
    folder = std::make_unique<QTemporaryDir>();
    boxes.shown.clear();
}

void TestConvertRun::cleanup()
{
    window.reset();
    folder.reset();
}

void TestConvertRun::openWindow()
{
    window = std::make_unique<convert::Convert>(boxes, folder->path());
    QVERIFY(window->load());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

// Picks the entry whose text is text from the combo's list, or types text when no entry has it.
void TestConvertRun::choose(const char *comboName, const QString &text)
{
    auto *combo = control<QComboBox>(comboName);
    const int index = combo->findText(text);
    if (index < 0) {
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), text);
        return;
    }
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void TestConvertRun::select(const QString &entry)
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

void TestConvertRun::missingChoices_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("dest");
    QTest::addColumn<bool>("convertAll");
    QTest::addColumn<QString>("message");
    QTest::newRow("neither chosen") << QString() << QString() << false << u"Please 'Select Source' "_s;
    QTest::newRow("neither chosen, convert all") << QString() << QString() << true << u"Please 'Select Source' "_s;
    QTest::newRow("source only") << u".jpg"_s << QString() << false << u"Please 'Select Dest' "_s;
    QTest::newRow("dest only") << QString() << u".bmp"_s << true << u"Please 'Select Source' "_s;
}

void TestConvertRun::missingChoices()
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

    QTest::mouseClick(control<QPushButton>("cmd1"), Qt::LeftButton);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, message);
    QCOMPARE(boxes.shown[0].title, u"MVT"_s);
    QCOMPARE(boxes.shown[0].icon, ui::MessageIcon::None);
    QCOMPARE(filesIn(folder->path()), QStringList{u"stone.jpg"_s});
    QVERIFY(control<QPushButton>("cmd1")->isEnabled());
    QCOMPARE(control<QLabel>("Label1")->text(), QString());
    QVERIFY(!control<QTimer>("Timer1")->isActive());
}

void TestConvertRun::nothingToDo_data()
{
    QTest::addColumn<bool>("withFiles");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("convertAll");
    QTest::newRow("empty list, Go!") << false << u"cmd1"_s << false;
    QTest::newRow("empty list, Go! converting all") << false << u"cmd1"_s << true;
    QTest::newRow("empty list, Convert all") << false << u"cmd2"_s << false;
    QTest::newRow("nothing selected") << true << u"cmd1"_s << false;
}

void TestConvertRun::nothingToDo()
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
    const QStringList before = filesIn(folder->path());

    window->findChild<QPushButton *>(button)->click();
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].text, u"Nothing to do"_s);
    QCOMPARE(boxes.shown[0].title, u"MVT Error"_s);
    QCOMPARE(boxes.shown[0].icon, ui::MessageIcon::None);
    QCOMPARE(filesIn(folder->path()), before);
    QCOMPARE(control<QLabel>("Label1")->text(), QString());
    QVERIFY(!control<QTimer>("Timer1")->isActive());
    QVERIFY(control<QPushButton>("cmd1")->isEnabled());
}

void TestConvertRun::convertsSelectedImage()
{
    writePicture(path(u"stone.jpg"_s), Qt::red);
    writePicture(path(u"wood.jpg"_s));
    openWindow();
    choose("Combo1", u".jpg"_s);
    choose("Combo2", u".bmp"_s);
    select(u"stone.jpg"_s);
    QCOMPARE(control<ui::FileList>("File2")->listCount(), 0);

    QTest::mouseClick(control<QPushButton>("cmd1"), Qt::LeftButton);
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(filesIn(folder->path()), (QStringList{u"stone.bmp"_s, u"stone.jpg"_s, u"wood.jpg"_s}));
    const QImage written(path(u"stone.bmp"_s), "BMP");
    QCOMPARE(written.pixelColor(3, 3), QColor(Qt::red));
    QCOMPARE(control<QLabel>("Label1")->text(), u" Saved  image"_s);
    QCOMPARE(control<ui::FileList>("File2")->listCount(), 1); // the destination list was re-read
    QCOMPARE(control<ui::FileList>("File1")->listCount(), 2);
    QCOMPARE(control<QTimer>("Timer1")->interval(), 4000);
    QVERIFY(control<QTimer>("Timer1")->isActive());
    QVERIFY(control<QPushButton>("cmd1")->isEnabled());
}

void TestConvertRun::convertAllCaptions_data()
{
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("caption");
    QTest::newRow("one entry") << QStringList{u"a.jpg"_s} << u" Saved  image"_s;
    QTest::newRow("two entries") << QStringList{u"a.jpg"_s, u"b.jpg"_s} << u" Saved  images's"_s;
}

void TestConvertRun::convertAllCaptions()
{
    QFETCH(QStringList, sources);
    QFETCH(QString, caption);
    for (const QString &name : sources)
        writePicture(path(name));
    openWindow();
    choose("Combo1", u".jpg"_s);
    choose("Combo2", u".gif"_s);
    control<QCheckBox>("chkConvertAll")->setChecked(true); // whatever the selection
    QTest::mouseClick(control<QPushButton>("cmd1"), Qt::LeftButton);
    QVERIFY(boxes.shown.isEmpty());
    QCOMPARE(control<QLabel>("Label1")->text(), caption);
    for (const QString &name : sources)
        QVERIFY(QFile::exists(path(name.chopped(4) + u".gif"_s)));
}

void TestConvertRun::destinationNames_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destText");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << u"stone.jpg"_s << u".gif"_s << u"stone.gif"_s;
    QTest::newRow("four-letter extension keeps its dot") << u"stone.jpeg"_s << u".bmp"_s << u"stone..bmp"_s;
    QTest::newRow("four-character name") << u"tile"_s << u".bmp"_s << u".bmp"_s;
    QTest::newRow("typed .jpeg") << u"stone.png"_s << u".jpeg"_s << u"stone.jpe"_s;
}

void TestConvertRun::destinationNames()
{
    QFETCH(QString, source);
    QFETCH(QString, destText);
    QFETCH(QString, written);
    writePicture(path(source));
    openWindow();
    choose("Combo1", u"*.*"_s);
    choose("Combo2", destText);
    select(source);
    QTest::mouseClick(control<QPushButton>("cmd1"), Qt::LeftButton);
    QVERIFY2(boxes.shown.isEmpty(), qPrintable(boxes.shown.value(0).text));
    QStringList expected{source, written};
    expected.sort();
    QCOMPARE(filesIn(folder->path()), expected);
    QVERIFY(!QImage(path(written)).isNull());
}

void TestConvertRun::problemsAreReported()
{
    writePicture(path(u"good.bmp"_s));      // its destination is itself: skipped, untouched
    writePicture(path(u"fine.png"_s));      // converts
    writeText(path(u"broken.png"_s));       // cannot be read: nothing written for it
    writePicture(path(u"a.b"_s));           // too short for a base name
    openWindow();
    choose("Combo1", u"*.*"_s);
    choose("Combo2", u".bmp"_s);
    control<QCheckBox>("chkConvertAll")->setChecked(true);
    const QByteArray goodBefore = digest(path(u"good.bmp"_s));

    QTest::mouseClick(control<QPushButton>("cmd1"), Qt::LeftButton);
    QCOMPARE(control<QLabel>("Label1")->text(), u" Saved 1, skipped 2, failed 1"_s);
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].title, u"MVT Error"_s);
    for (const char *name : {"good.bmp", "broken.png", "a.b"})
        QVERIFY2(boxes.shown[0].text.contains(QString::fromLatin1(name)), qPrintable(boxes.shown[0].text));
    QVERIFY(!boxes.shown[0].text.contains(u"fine.png"_s));
    QCOMPARE(digest(path(u"good.bmp"_s)), goodBefore);
    QVERIFY(!QFile::exists(path(u"broken.bmp"_s)));
    QVERIFY(QFile::exists(path(u"fine.bmp"_s)));
    QCOMPARE(filesIn(folder->path()).size(), 5); // nothing else, no temporary files left
    QCOMPARE(control<QTimer>("Timer1")->interval(), 4000);
}

void TestConvertRun::convertAllWithoutChoiceFailsHonestly()
{
    writePicture(path(u"stone.jpg"_s));
    openWindow();
    control<QPushButton>("cmd2")->click(); // "Convert all" makes no test of the combo boxes
    QCOMPARE(control<QLabel>("Label1")->text(), u" Saved 0, skipped 0, failed 1"_s);
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY2(boxes.shown[0].text.contains(u"stoneSele"_s), qPrintable(boxes.shown[0].text));
    QCOMPARE(filesIn(folder->path()), QStringList{u"stone.jpg"_s});
}

void TestConvertRun::longRunCanBeCancelled()
{
    // Noisy pictures, so that each one takes the quantizer a while.
    QImage noise(128, 128, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.generate() | 0xff000000u);
    }
    QStringList entries;
    for (int i = 0; i < 400; ++i) {
        const QString name = u"tex"_s + QString::number(i) + u".png"_s;
        QVERIFY(noise.save(path(name), "PNG", 100));
        entries.append(name);
    }
    QWidget owner;
    owner.show();
    bool seen = false;
    QString label;
    QTimer watch;
    connect(&watch, &QTimer::timeout, &owner, [&] {
        auto *dialog = owner.findChild<QProgressDialog *>();
        if (!seen && dialog && dialog->isVisible()) {
            seen = true;
            label = dialog->labelText();
            QCOMPARE(dialog->windowModality(), Qt::WindowModal);
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        }
    });
    watch.start(20);
    const convert::ConversionReport report =
        convert::RunConversion(&owner, folder->path(), entries, u".gif"_s, /*dialogAfterMs=*/0);
    QVERIFY(seen);
    QVERIFY2(label.startsWith(u"Converting "_s) && label.contains(u" of 400: tex"_s), qPrintable(label));
    QVERIFY(report.cancelled);
    QVERIFY(report.notConverted > 0);
    QCOMPARE(report.saved + report.notConverted, 400);
    // The saved entries are the leading part of the list, each written whole.
    for (int i = 0; i < 400; ++i)
        QCOMPARE(QFile::exists(path(u"tex"_s + QString::number(i) + u".gif"_s)), i < report.saved);
}

QTEST_MAIN(TestConvertRun)
#include "tst_convertrun.moc"
