// Many pictures converted in one run give each the copy it gets converted
// alone, serially and on worker threads: no decoder leaves a pixel to
// whatever the memory held before, so no copy carries another file's content.
#include "convert/conversion.h"
#include "convert/formats/formats.h"
#include "convert/picture.h"
#include "support/bitmaps.h"
#include "support/bmpvariants.h"
#include "support/fixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;
using morvane::convert::ConversionOptions;
using morvane::convert::convertEntries;

namespace {

// Leaves the heap full of freed blocks holding a pattern, and has the C
// library fill blocks with another one from now on, so that memory a
// decoder does not write differs from one run to the next.
void dirtyHeap(uchar pattern)
{
#ifdef __GLIBC__
    mallopt(M_PERTURB, pattern);
#endif
    std::vector<void *> blocks;
    for (const size_t size : {size_t(1) << 12, size_t(1) << 16, size_t(1) << 20}) {
        for (int i = 0; i < 2; ++i) {
            void *block = std::malloc(size);
            if (block)
                std::memset(block, pattern, size);
            blocks.push_back(block);
        }
    }
    for (void *block : blocks)
        std::free(block);
}

// A GIF of a 2 x 2 picture whose logical screen is 5 x 4 with the frame at
// (2, 1): the rest of the screen is described by no pixel of the file.
QByteArray gifInLargerScreen(bool transparent)
{
    QImage picture(2, 2, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 0, 255));
    picture.setPixel(0, 1, transparent ? qRgba(0, 0, 0, 0) : qRgb(0, 255, 0));
    picture.setPixel(1, 1, qRgb(255, 255, 255));
    QByteArray gif = morvane::formats::gif().encode(picture).bytes;
    const qsizetype descriptor = gif.indexOf(QByteArray::fromHex("2c00000000"));
    if (descriptor < 0)
        return {};
    gif[6] = 5;              // screen width
    gif[8] = 4;              // screen height
    gif[descriptor + 1] = 2; // frame left
    gif[descriptor + 3] = 1; // frame top
    return gif;
}

} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void gifScreenOutsideTheFrame();
    void decodingIgnoresHeapContents();
    void batchGivesEachFileItsOwnCopy_data();
    void batchGivesEachFileItsOwnCopy();

private:
    QTemporaryDir m_dir;
    QStringList m_sources; // every picture file the suite reads, as a path
};

void TestBatch::initTestCase()
{
    for (const QString &folder : {QStringLiteral(MORVANE_TEST_PICTURES), QStringLiteral(MORVANE_PICTURE_SEEDS),
                                  QStringLiteral(MORVANE_WMF_SEEDS), QStringLiteral(MORVANE_MALFORMED)}) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QString error;
            // The malformed files that load anyway count; the others cannot be compared.
            if (!morvane::convert::loadPicture(dir.filePath(name), &error).isNull())
                m_sources.append(dir.filePath(name));
        }
    }
    const auto add = [&](const QByteArray &name, const QByteArray &bytes) {
        const QString path = m_dir.filePath(u"made-"_s + QString::fromLatin1(name).replace(u' ', u'-').replace(u'/', u'-'));
        QVERIFY(fixtures::writeFile(path, bytes));
        m_sources.append(path);
    };
    for (const fixtures::BmpVariant &v : fixtures::bmpVariants())
        add(v.name + ".bmp", v.file);
    for (const fixtures::DibCase &c : fixtures::dibCases())
        add(QByteArray(c.name) + ".bmp", fixtures::bmpFile(c.dib));
    add("gif-small-frame.gif", gifInLargerScreen(false));
    add("gif-small-frame-transparent.gif", gifInLargerScreen(true));
    QVERIFY(m_sources.size() > 60);
}

// The part of a GIF's screen that no frame covers is the background colour,
// or clear when the picture has a transparent colour.
void TestBatch::gifScreenOutsideTheFrame()
{
    for (const bool transparent : {false, true}) {
        const QByteArray gif = gifInLargerScreen(transparent);
        QString error;
        const QImage loaded = morvane::convert::decodePicture(gif, &error);
        QVERIFY2(!loaded.isNull(), qPrintable(error));
        QCOMPARE(loaded.size(), QSize(5, 4));
        const QRgb background = qRgb(uchar(gif[13 + 3 * gif[11]]), uchar(gif[14 + 3 * gif[11]]),
                                     uchar(gif[15 + 3 * gif[11]]));
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 5; ++x) {
                const bool inFrame = x >= 2 && x < 4 && y >= 1 && y < 3;
                const QRgb got = loaded.pixel(x, y);
                if (inFrame && !(transparent && x == 2 && y == 2))
                    QCOMPARE(qAlpha(got), 255);
                else if (transparent)
                    QCOMPARE(qAlpha(got), 0);
                else
                    QCOMPARE(got, background);
            }
        }
        QCOMPARE(loaded.pixel(2, 1), qRgb(255, 0, 0));
        QCOMPARE(loaded.pixel(3, 2), qRgb(255, 255, 255));
    }
}

// Every picture decodes to the same pixels whatever the heap held before.
void TestBatch::decodingIgnoresHeapContents()
{
    for (const QString &path : std::as_const(m_sources)) {
        dirtyHeap(0x5a);
        QString error;
        const QImage first = morvane::convert::loadPicture(path, &error);
        dirtyHeap(0xc3);
        const QImage second = morvane::convert::loadPicture(path, &error);
        QVERIFY2(!first.isNull() && fixtures::samePixels(first, second), qPrintable(path));
    }
}

void TestBatch::batchGivesEachFileItsOwnCopy_data()
{
    QTest::addColumn<QString>("destination");
    for (const QString &destination : {u".bmp"_s, u".jpg"_s, u".png"_s, u".wmf"_s, u".tga"_s, u".dds"_s})
        QTest::newRow(qPrintable(destination)) << destination;
}

void TestBatch::batchGivesEachFileItsOwnCopy()
{
    QFETCH(QString, destination);

    // Every source under a name of its own, "p000.src" on: the copies' names
    // then differ too, and no copy overwrites a source.
    QStringList entries;
    for (int i = 0; i < m_sources.size(); ++i)
        entries.append(u"p%1.src"_s.arg(i, 3, 10, QChar(u'0')));
    const auto copyName = [&](int i) -> QString { return entries[i].chopped(4) + destination; };

    // The whole list in one run, one after another and on worker threads,
    // with a file that cannot be read among them: the same report either way.
    QTemporaryDir serial, parallel;
    QList<morvane::convert::ConversionReport> reports;
    for (QTemporaryDir *batch : {&serial, &parallel}) {
        for (int i = 0; i < entries.size(); ++i)
            QVERIFY(fixtures::writeFile(batch->filePath(entries[i]), fixtures::readFile(m_sources[i])));
        QVERIFY(fixtures::writeFile(batch->filePath(u"broken.src"_s), "BM"));
        ConversionOptions options;
        options.threads = batch == &serial ? 1 : 2;
        options.makeDurable = nullptr; // what is compared is in the page cache either way
        reports.append(convertEntries(batch->path(), entries + QStringList{u"broken.src"_s}, destination, options));
        QCOMPARE(reports.last().parallel, batch != &serial);
        QCOMPARE(reports.last().saved, int(entries.size()));
        QCOMPARE(reports.last().failed, 1);
    }
    for (qsizetype i = 0; i <= entries.size(); ++i) {
        QCOMPARE(reports[1].entries[i].outcome, reports[0].entries[i].outcome);
        QCOMPARE(reports[1].entries[i].reason, reports[0].entries[i].reason);
    }
    // Each file alone, after the heap was filled with other content.
    QTemporaryDir alone;
    ConversionOptions one;
    one.threads = 1;
    one.makeDurable = nullptr;
    for (int i = 0; i < entries.size(); ++i) {
        QVERIFY(fixtures::writeFile(alone.filePath(entries[i]), fixtures::readFile(m_sources[i])));
        dirtyHeap(uchar(0x21 + i));
        QCOMPARE(convertEntries(alone.path(), {entries[i]}, destination, one).saved, 1);
        const QByteArray own = fixtures::readFile(alone.filePath(copyName(i)));
        QVERIFY2(!own.isEmpty() && fixtures::readFile(serial.filePath(copyName(i))) == own, qPrintable(m_sources[i]));
        QVERIFY2(fixtures::readFile(parallel.filePath(copyName(i))) == own, qPrintable(m_sources[i]));
    }
#ifdef __GLIBC__
    mallopt(M_PERTURB, 0);
#endif
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
