// Loading pictures: the corpus against its reference pictures, the malformed
// corpus against the outcome listed for each file, EXIF orientation, files
// refused before they are read, and truncation.
#include "convert/picture.h"
#include "support/bitmaps.h"
#include "support/fixtures.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

using namespace Qt::StringLiterals;
using morvane::convert::decodePicture;
using morvane::convert::loadPicture;
using morvane::convert::savePicture;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
constexpr bool Sanitized = __has_feature(address_sanitizer);
#else
constexpr bool Sanitized = false;
#endif

// The rows of folder's MANIFEST.tsv, split at tabs; comment and blank lines left out.
QList<QStringList> manifest(const QDir &folder)
{
    QList<QStringList> rows;
    for (const QString &line : QString::fromUtf8(fixtures::readFile(folder.filePath(u"MANIFEST.tsv"_s))).split(u'\n')) {
        if (!line.isEmpty() && !line.startsWith(u'#'))
            rows.append(line.split(u'\t'));
    }
    return rows;
}

// Bytes this process has read from files so far.
qint64 bytesRead()
{
    QFile io(u"/proc/self/io"_s);
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = io.readLine(); !line.isEmpty(); line = io.readLine()) {
        if (line.startsWith("rchar:"))
            return line.sliced(6).trimmed().toLongLong();
    }
    return -1;
}

// The most resident memory this process has used so far, in KiB.
long peakKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestPictureLoad : public QObject {
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
    void malformedFilesFailCleanly();
    void refusedUnread();
    void hugePictureRefusedFromHeader();
    void exifOrientation();
    void everyPrefixLoadsOrFails_data();
    void everyPrefixLoadsOrFails();

private:
    QTemporaryDir m_dir;
    const QDir m_pictures {QStringLiteral(MORVANE_CODECS_PICTURES)};
    const QDir m_malformed {QStringLiteral(MORVANE_CODECS_DATA)};
};

// Each file of the corpus against its reference picture: the same size,
// opacity and greyness, and every pixel the same or, for lossy files, the
// least PSNR the manifest gives.
void TestPictureLoad::corpus_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("least");
    const QList<QStringList> rows = manifest(m_pictures);
    QVERIFY(rows.size() > 30);
    for (const QStringList &row : rows) {
        QVERIFY2(row.size() == 3, qPrintable(row.join(u' ')));
        QTest::newRow(qPrintable(row[0])) << row[0] << row[1] << row[2];
    }
}

void TestPictureLoad::corpus()
{
    QFETCH(QString, file);
    QFETCH(QString, reference);
    QFETCH(QString, least);
    QString error;
    const QImage loaded = loadPicture(m_pictures.filePath(file), &error);
    QVERIFY2(!loaded.isNull() && error.isEmpty(), qPrintable(error));
    const QImage expected(m_pictures.filePath(reference));
    QCOMPARE(loaded.size(), expected.size());
    QCOMPARE(loaded.hasAlphaChannel(), expected.hasAlphaChannel());
    QCOMPARE(loaded.allGray(), expected.allGray());
    if (least == u"exact")
        QVERIFY(fixtures::samePixels(loaded, expected));
    else
        QVERIFY2(fixtures::psnr(loaded, expected) >= least.toDouble(), qPrintable(QString::number(fixtures::psnr(loaded, expected))));
}

// Every file of the malformed corpus loads or fails as its manifest says,
// within a bound that only a hang breaks, and in bounded memory. An
// allocator that fills every block it hands out (MALLOC_PERTURB_) makes even
// untouched memory cost time and room, so the bounds are checked in the run
// without it.
void TestPictureLoad::malformedFilesFailCleanly()
{
    const bool perturbed = !qEnvironmentVariableIsEmpty("MALLOC_PERTURB_");
    QStringList unlisted = m_malformed.entryList(QDir::Files);
    unlisted.removeAll(u"MANIFEST.tsv"_s);
    unlisted.removeAll(u"README"_s);
    const long before = peakKb();
    for (const QStringList &row : manifest(m_malformed)) {
        QVERIFY2(row.size() == 2 && m_malformed.exists(row[0]), qPrintable(row.join(u' ')));
        unlisted.removeOne(row[0]);
        QElapsedTimer timer;
        timer.start();
        QString error;
        const QImage loaded = loadPicture(m_malformed.filePath(row[0]), &error);
        const qint64 ms = timer.elapsed();
        QVERIFY2(perturbed || ms < (Sanitized ? 30000 : 10000), qPrintable(u"%1 took %2 ms"_s.arg(row[0]).arg(ms)));
        const QString outcome = loaded.isNull() ? error : u"loads %1 x %2"_s.arg(loaded.width()).arg(loaded.height());
        QVERIFY2(outcome == row[1] && (loaded.isNull() || error.isEmpty()), qPrintable(row[0] + u": "_s + outcome));
    }
    QVERIFY2(unlisted.isEmpty(), qPrintable(u"not in the manifest: "_s + unlisted.join(u' ')));
    if (!Sanitized && !perturbed) // the sanitizers' own bookkeeping swells the resident size
        QVERIFY2(peakKb() - before < 256 * 1024, qPrintable(u"peak grew by %1 KB"_s.arg(peakKb() - before)));
}

// Paths that hold no picture file, and a file larger than any picture within
// the limits needs (sparse: it takes no room on disk), are refused unread.
void TestPictureLoad::refusedUnread()
{
    QFile huge(m_dir.filePath(u"huge.bmp"_s));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write("BM") == 2 && huge.resize(qint64(1600) << 20));
    huge.close();
    const std::pair<QString, QString> cases[] = {{m_dir.filePath(u"missing.png"_s), u"file not found"_s},
                                                 {m_dir.path(), u"this is a folder, not a picture file"_s},
                                                 {huge.fileName(), u"file too large (1600 MB)"_s}};
    for (const auto &[path, expected] : cases) {
        QString error;
        const qint64 readBefore = bytesRead();
        QVERIFY(loadPicture(path, &error).isNull());
        QCOMPARE(error, expected);
        QVERIFY(bytesRead() - readBefore < 1 << 16);
    }
}

// A header that declares a picture past the limits is refused from the
// file's start: each of the corpus's 60000 x 60000 files, grown (sparsely)
// to 1.4 GiB, costs neither the file's size in memory nor the time to read it.
void TestPictureLoad::hugePictureRefusedFromHeader()
{
    const QStringList names = m_malformed.entryList({u"*-60000x60000*"_s}, QDir::Files);
    QVERIFY(names.size() >= 9);
    for (const QString &name : names) {
        const QString path = m_dir.filePath(name);
        QVERIFY(QFile::copy(m_malformed.filePath(name), path));
        QFile grown(path);
        QVERIFY(grown.open(QIODevice::ReadWrite) && grown.resize(qint64(1400) << 20));
        grown.close();
        const long peakBefore = peakKb();
        const qint64 readBefore = bytesRead();
        QString error;
        QVERIFY(loadPicture(path, &error).isNull());
        const qint64 read = bytesRead() - readBefore;
        const long grew = peakKb() - peakBefore;
        QVERIFY(QFile::remove(path));
        QCOMPARE(error, u"image too large (60000 x 60000)"_s);
        QVERIFY2(read < 1 << 20, qPrintable(u"%1: %2 bytes read"_s.arg(name).arg(read)));
        QVERIFY2(grew < 64 * 1024, qPrintable(u"%1: peak grew by %2 KB"_s.arg(name).arg(grew)));
    }
}

// Each EXIF orientation, in either byte order, turns the picture as Qt's
// own JPEG reader turns it; 9 is out of range and leaves it as it is.
void TestPictureLoad::exifOrientation()
{
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    QImage source(64, 32, QImage::Format_RGB32); // quadrants red, green / blue, white
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            source.setPixel(x, y, colours[y / 16 * 2 + x / 32]);
    const QString path = m_dir.filePath(u"quadrants.jpg"_s);
    QString error;
    QVERIFY2(savePicture(source, path, &error), qPrintable(error));
    for (int orientation = 1; orientation <= 9; ++orientation) {
        for (const bool bigEndian : {false, true}) {
            QByteArray jpeg = fixtures::withExifOrientation(fixtures::readFile(path), orientation, bigEndian);
            QBuffer buffer(&jpeg);
            QImageReader reader(&buffer, "jpeg");
            reader.setAutoTransform(true);
            const QImage theirs = reader.read();
            QVERIFY2(fixtures::psnr(decodePicture(jpeg, &error), theirs) > 40, qPrintable(QString::number(orientation)));
            QCOMPARE(theirs.width(), orientation >= 5 && orientation <= 8 ? 32 : 64);
        }
    }
}

void TestPictureLoad::everyPrefixLoadsOrFails_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QImage source = fixtures::photoLike(24, 20, 11).convertToFormat(QImage::Format_ARGB32);
    for (const QString &name : {u"bmp"_s, u"gif"_s, u"jpg"_s, u"png"_s, u"tif"_s, u"webp"_s, u"alpha.tga"_s, u"alpha.dds"_s}) {
        if (name == u"alpha.tga")
            source.setPixel(3, 4, qRgba(10, 20, 30, 40));
        const QString path = m_dir.filePath(u"prefix."_s + name);
        QString error;
        if (!savePicture(source, path, &error))
            qWarning("cannot save %s: %s", qPrintable(name), qPrintable(error));
        QTest::newRow(qPrintable(name)) << fixtures::readFile(path);
    }
    QTest::newRow("progressive jpg") << fixtures::readFile(m_pictures.filePath(u"plasma-progressive.jpg"_s));
    QTest::newRow("tga") << fixtures::tgaFile(source);
    for (const fixtures::DibCase &c : fixtures::dibCases()) {
        if (QByteArray(c.name).startsWith("RLE"))
            QTest::newRow(c.name) << fixtures::bmpFile(c.dib);
    }
}

// A prefix either fails with a message or loads the whole picture's size;
// past the signature, a cut file says it is cut.
void TestPictureLoad::everyPrefixLoadsOrFails()
{
    QFETCH(QByteArray, bytes);
    QString error;
    const QImage whole = decodePicture(bytes, &error);
    QVERIFY2(!whole.isNull(), qPrintable(error));
    int truncated = 0;
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        error.clear();
        const QImage part = decodePicture(QByteArrayView(bytes.constData(), n), &error);
        QVERIFY2(part.isNull() ? !error.isEmpty() : error.isEmpty() && part.size() == whole.size(),
                 qPrintable(u"prefix of %1 bytes"_s.arg(n)));
        truncated += error == u"file is truncated";
    }
    QVERIFY2(truncated > bytes.size() / 2, qPrintable(QString::number(truncated)));
}

QTEST_GUILESS_MAIN(TestPictureLoad)
#include "tst_picture_load.moc"
