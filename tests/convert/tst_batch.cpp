// Many pictures converted in one run give each the copy it gets converted
// alone, serially and on worker threads: no decoder leaves a pixel to
// whatever the memory held before, so no copy carries another file's content.
#include "convert/conversion.h"
#include "convert/picture.h"
#include "support/bmpvariants.h"
#include "support/fixtures.h"

#include <QDir>
#include <QTest>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;
using namespace morvane::convert;

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void batchGivesEachFileItsOwnCopy_data();
    void batchGivesEachFileItsOwnCopy();

private:
    QTemporaryDir m_dir;
    QStringList m_sources; // every picture file the suite reads, as a path
};

void TestBatch::initTestCase()
{
    // The malformed files that load anyway count; the others cannot be compared.
    for (const QString &folder : {QStringLiteral(MORVANE_TEST_PICTURES), QStringLiteral(MORVANE_PICTURE_SEEDS),
                                  QStringLiteral(MORVANE_WMF_SEEDS), QStringLiteral(MORVANE_MALFORMED),
                                  QStringLiteral(MORVANE_BATCH_DATA)}) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QString error;
            if (!loadPicture(dir.filePath(name), &error).isNull())
                m_sources.append(dir.filePath(name));
        }
    }
    for (const fixtures::BmpVariant &v : fixtures::bmpVariants()) {
        m_sources.append(m_dir.filePath(u"made-%1.bmp"_s.arg(m_sources.size())));
        QVERIFY2(fixtures::writeFile(m_sources.last(), v.file), v.name.constData());
    }
    QVERIFY(m_sources.size() > 60);
}

void TestBatch::batchGivesEachFileItsOwnCopy_data()
{
    QTest::addColumn<QString>("destination");
    for (const QString &destination : {u".bmp"_s, u".jpg"_s, u".png"_s, u".wmf"_s, u".tga"_s, u".dds"_s})
        QTest::newRow(qPrintable(destination)) << destination;
}

// Every source under a name of its own, "p000.src" on, so that the copies'
// names differ too and no copy overwrites a source, and a file that cannot be
// read among them: the whole list in one run, serially and on worker
// threads, then each file alone, the memory handed out holding another
// pattern each time. The PNG copies of data/ match the pixels ImageMagick gave in
// data/expected/ (GIF frames smaller than their screen, the rest of which is
// the background, or clear when the GIF has a transparent colour).
void TestBatch::batchGivesEachFileItsOwnCopy()
{
    QFETCH(QString, destination);
    QStringList entries;
    for (int i = 0; i < m_sources.size(); ++i)
        entries.append(u"p%1.src"_s.arg(i, 3, 10, QChar(u'0')));
    ConversionOptions options;
    options.makeDurable = nullptr; // what is compared is in the page cache either way
    QTemporaryDir serial, parallel, alone;
    for (QTemporaryDir *batch : {&serial, &parallel}) {
        for (int i = 0; i < entries.size(); ++i)
            QVERIFY(fixtures::writeFile(batch->filePath(entries[i]), fixtures::readFile(m_sources[i])));
        QVERIFY(fixtures::writeFile(batch->filePath(u"broken.src"_s), "BM"));
        options.threads = batch == &serial ? 1 : 2;
        const ConversionReport report = convertEntries(batch->path(), entries + QStringList{u"broken.src"_s}, destination, options);
        QCOMPARE(report.parallel, batch != &serial);
        QCOMPARE(report.saved, int(entries.size()));
        QCOMPARE(report.entries.last().outcome, Outcome::Failed);
    }
    const QDir expected(QStringLiteral(MORVANE_BATCH_DATA "/expected"));
    int matched = 0;
    options.threads = 1;
    for (int i = 0; i < entries.size(); ++i) {
        QVERIFY(fixtures::writeFile(alone.filePath(entries[i]), fixtures::readFile(m_sources[i])));
#ifdef __GLIBC__
        mallopt(M_PERTURB, 0x21 + i);
#endif
        QCOMPARE(convertEntries(alone.path(), {entries[i]}, destination, options).saved, 1);
        const QString copy = entries[i].chopped(4) + destination;
        const QByteArray own = fixtures::readFile(alone.filePath(copy));
        QVERIFY2(!own.isEmpty() && fixtures::readFile(serial.filePath(copy)) == own, qPrintable(m_sources[i]));
        QVERIFY2(fixtures::readFile(parallel.filePath(copy)) == own, qPrintable(m_sources[i]));
        const QString reference = expected.filePath(QFileInfo(m_sources[i]).fileName() + u".png"_s);
        if (destination == u".png" && QFile::exists(reference)) {
            ++matched;
            QVERIFY2(fixtures::samePixels(QImage(alone.filePath(copy)), QImage(reference)), qPrintable(reference));
        }
    }
    QVERIFY(destination != u".png" || matched >= 2);
#ifdef __GLIBC__
    mallopt(M_PERTURB, 0);
#endif
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
