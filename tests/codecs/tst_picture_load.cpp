// Loading pictures: format told by content, the readers' variants, EXIF
// orientation, limits, truncation and malformed files.
#include "convert/picture.h"
#include "support/bitmaps.h"
#include "support/fixtures.h"

#include <QDir>
#include <QElapsedTimer>
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

QString picturePath(const QString &name)
{
    return QStringLiteral(MORVANE_CODECS_PICTURES) + u'/' + name;
}

// A footer-less TGA file of the given header fields, colour map and pixel data.
QByteArray tga(int type, int width, int height, int bits, int descriptor, const QByteArray &pixels,
               const QByteArray &map = {}, int mapFirst = 0, int mapLength = 0)
{
    QByteArray out;
    out.append('\0').append(char(map.isEmpty() ? 0 : 1)).append(char(type));
    fixtures::put16(out, quint32(mapFirst));
    fixtures::put16(out, quint32(mapLength));
    out.append(char(map.isEmpty() ? 0 : 24));
    fixtures::put32(out, 0);
    fixtures::put16(out, quint32(width));
    fixtures::put16(out, quint32(height));
    out.append(char(bits)).append(char(descriptor));
    return out + map + pixels;
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

// A picture of width columns from ARGB values, top row first.
QImage picture(int width, std::initializer_list<QRgb> pixels)
{
    QImage image(width, int(pixels.size()) / width, QImage::Format_ARGB32);
    int i = 0;
    for (const QRgb p : pixels) {
        image.setPixel(i % width, i / width, p);
        ++i;
    }
    return image;
}

} // namespace

class TestPictureLoad : public QObject {
    Q_OBJECT

private slots:
    void formatFromContent_data();
    void formatFromContent();
    void notPictures_data();
    void notPictures();
    void oversizedFileIsNotRead();
    void hugePictureRefusedFromHeader();
    void tgaVariants_data();
    void tgaVariants();
    void jpegVariants_data();
    void jpegVariants();
    void exifOrientation_data();
    void exifOrientation();
    void sideLimitIsInclusive();
    void everyPrefixLoadsOrFails_data();
    void everyPrefixLoadsOrFails();
    void malformedFilesFailCleanly();

private:
    QTemporaryDir m_dir;
};

// Each format saved under its own name, a wrong one, none, and an upper-case
// one loads the same picture: the name plays no part.
void TestPictureLoad::formatFromContent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("source");
    QTest::addColumn<double>("minPsnr");

    const QImage source = fixtures::photoLike(64, 48, 7);
    auto saved = [&](const QString &ext) {
        const QString path = m_dir.filePath(u"source."_s + ext);
        QString error;
        if (!savePicture(source, path, &error))
            qWarning("cannot save %s: %s", qPrintable(ext), qPrintable(error));
        return fixtures::readFile(path);
    };
    QTest::newRow("bmp") << saved(u"bmp"_s) << source << 99.0;
    QTest::newRow("png") << saved(u"png"_s) << source << 99.0;
    QTest::newRow("tif") << saved(u"tif"_s) << source << 99.0;
    QTest::newRow("gif") << saved(u"gif"_s) << source << 30.0;
    QTest::newRow("jpg") << saved(u"jpg"_s) << source << 30.0;
    QTest::newRow("webp") << saved(u"webp"_s) << source << 30.0;
    QTest::newRow("tga") << fixtures::tgaFile(source) << source << 99.0;
    QTest::newRow("tga without footer") << fixtures::tgaFile(source).chopped(26) << source << 99.0;
    QTest::newRow("dds") << saved(u"dds"_s) << source << 28.0;
}

void TestPictureLoad::formatFromContent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, source);
    QFETCH(double, minPsnr);
    QVERIFY(!bytes.isEmpty());

    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString wrong = tag == u"jpg" ? u"png"_s : u"jpg"_s;
    QImage first;
    const QStringList names = {u"right."_s + tag, u"wrong."_s + wrong, u"no-extension"_s, u"upper."_s + tag.toUpper(),
                               u"text.txt"_s};
    for (const QString &name : names) {
        const QString path = m_dir.filePath(tag + u'-' + name);
        QVERIFY(fixtures::writeFile(path, bytes));
        QString error;
        const QImage loaded = loadPicture(path, &error);
        QVERIFY2(!loaded.isNull(), qPrintable(name + u": "_s + error));
        QVERIFY(error.isEmpty());
        if (first.isNull())
            first = loaded;
        QVERIFY2(fixtures::samePixels(loaded, first), qPrintable(name));
    }
    QVERIFY2(fixtures::psnr(first, source) >= minPsnr, qPrintable(QString::number(fixtures::psnr(first, source))));
}

void TestPictureLoad::notPictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("text named .gif") << QByteArray("just some notes\n").repeated(10) << u"notes.gif"_s
                                     << u"not an image this program can read"_s;
    QTest::newRow("empty named .jpg") << QByteArray() << u"empty.jpg"_s << u"file is empty"_s;
    QTest::newRow("zeros named .bmp") << QByteArray(500, '\0') << u"zeros.bmp"_s
                                      << u"not an image this program can read"_s;
    QTest::newRow("TGA header with 7-bit pixels, no footer")
        << fixtures::tgaFile(fixtures::randomPixels(4, 4, 1)).chopped(26).replace(16, 1, "\x07") << u"old.tga"_s
        << u"not an image this program can read"_s;
    QTest::newRow("missing") << QByteArray() << QString() << u"file not found"_s;
    QTest::newRow("folder") << QByteArray() << u"."_s << u"this is a folder, not a picture file"_s;
}

void TestPictureLoad::notPictures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    QString path = m_dir.filePath(name.isEmpty() ? u"does-not-exist.png"_s : name);
    if (!name.isEmpty() && name != u".")
        QVERIFY(fixtures::writeFile(path, bytes));
    QString error;
    QVERIFY(loadPicture(path, &error).isNull());
    QCOMPARE(error, expected);
}

// A file larger than any picture within the limits needs is refused unread
// (the file is sparse: it takes no room on disk).
void TestPictureLoad::oversizedFileIsNotRead()
{
    QFile file(m_dir.filePath(u"huge.bmp"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("BM") == 2);
    QVERIFY(file.resize(qint64(1600) << 20));
    file.close();
    QString error;
    QVERIFY(loadPicture(file.fileName(), &error).isNull());
    QCOMPARE(error, u"file too large (1600 MB)"_s);
}

// A header that declares a picture past the limits is refused from the
// file's start: each of the corpus's 60000 x 60000 files, grown (sparsely)
// to 1.4 GiB, costs neither the file's size in memory nor the time to read it.
void TestPictureLoad::hugePictureRefusedFromHeader()
{
    const QDir dir(QStringLiteral(MORVANE_CODECS_DATA));
    const QStringList names = dir.entryList({u"*-60000x60000*"_s}, QDir::Files);
    QVERIFY(names.size() >= 9);
    for (const QString &name : names) {
        const QString path = m_dir.filePath(name);
        QVERIFY(QFile::copy(dir.filePath(name), path));
        QFile grown(path);
        QVERIFY(grown.open(QIODevice::ReadWrite) && grown.resize(qint64(1400) << 20));
        grown.close();
        rusage before {};
        getrusage(RUSAGE_SELF, &before);
        const qint64 readBefore = bytesRead();
        QString error;
        QVERIFY(loadPicture(path, &error).isNull());
        const qint64 read = bytesRead() - readBefore;
        rusage after {};
        getrusage(RUSAGE_SELF, &after);
        QVERIFY(QFile::remove(path));
        QCOMPARE(error, u"image too large (60000 x 60000)"_s);
        QVERIFY2(read < 1 << 20, qPrintable(u"%1: %2 bytes read"_s.arg(name).arg(read)));
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 64 * 1024,
                 qPrintable(u"%1: peak grew by %2 KB"_s.arg(name).arg(after.ru_maxrss - before.ru_maxrss)));
    }
}

// TGA variants ImageMagick and GraphicsMagick do not write, from the
// format's own description.
void TestPictureLoad::tgaVariants_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QImage>("expected");

    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    const QByteArray bgr = QByteArray::fromHex("0000ff" "00ff00" "ff0000" "ffffff" "000000" "808080");
    QTest::newRow("bottom up") << tga(2, 3, 2, 24, 0x00, bgr)
                               << picture(3, {white, qRgb(0, 0, 0), qRgb(128, 128, 128), red, green, blue});
    QTest::newRow("right to left") << tga(2, 3, 2, 24, 0x30, bgr)
                                   << picture(3, {blue, green, red, qRgb(128, 128, 128), qRgb(0, 0, 0), white});
    // 15 bits of colour and one of opacity, used when the header counts it.
    const QByteArray rgb16 = fixtures::words({0x7fff, 0x801f, 0x03e0, 0xfc00});
    QTest::newRow("16-bit, opacity bit") << tga(2, 2, 2, 16, 0x21, rgb16)
                                         << picture(2, {qRgba(255, 255, 255, 0), blue, qRgba(0, 255, 0, 0), red});
    QTest::newRow("16-bit, no opacity") << tga(2, 2, 2, 16, 0x20, rgb16) << picture(2, {white, blue, green, red});
    QTest::newRow("grey with alpha") << tga(3, 2, 1, 16, 0x28, QByteArray::fromHex("6432ff00"))
                                     << picture(2, {qRgba(100, 100, 100, 50), qRgba(255, 255, 255, 0)});
    // The map holds entries 2 and 3; indices outside it take its first entry.
    const QByteArray map = QByteArray::fromHex("0000ff" "00ff00");
    QTest::newRow("map from index 2") << tga(1, 4, 1, 8, 0x20, QByteArray::fromHex("02030700"), map, 2, 2)
                                      << picture(4, {red, green, red, red});
    QTest::newRow("16-bit indices, run-length")
        << tga(9, 3, 1, 16, 0x20, QByteArray::fromHex("810300" "000200"), map, 2, 2) << picture(3, {green, green, red});
    // Packets that run on into the next row, and past the last pixel.
    QTest::newRow("runs across rows") << tga(10, 3, 2, 24, 0x20, QByteArray::fromHex("830000ff" "0200ff00ff0000000000"))
                                      << picture(3, {red, red, red, red, green, blue});
}

void TestPictureLoad::tgaVariants()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QImage, expected);
    QString error;
    const QImage loaded = decodePicture(bytes, &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QVERIFY(fixtures::samePixels(loaded, expected));
}

// Variants written by ImageMagick from plasma.png (tiny, so chroma
// subsampling shows).
void TestPictureLoad::jpegVariants_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("gray");

    QTest::newRow("baseline 4:2:0") << u"plasma-baseline-420.jpg"_s << false;
    QTest::newRow("progressive") << u"plasma-progressive.jpg"_s << false;
    QTest::newRow("grayscale") << u"plasma-gray.jpg"_s << true;
    QTest::newRow("Adobe CMYK") << u"plasma-cmyk.jpg"_s << false;
}

void TestPictureLoad::jpegVariants()
{
    QFETCH(QString, name);
    QFETCH(bool, gray);

    QString error;
    QImage source = loadPicture(picturePath(u"plasma.png"_s), &error);
    QVERIFY2(!source.isNull(), qPrintable(error));
    if (gray)
        source = source.convertToFormat(QImage::Format_Grayscale8);
    const QImage loaded = loadPicture(picturePath(name), &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QCOMPARE(loaded.size(), source.size());
    QCOMPARE(loaded.allGray(), gray);
    const double quality = fixtures::psnr(loaded, source);
    // 29 to 41 dB measured; colours decoded wrongly (inverted inks, swapped
    // channels) fall far below.
    QVERIFY2(quality > 27, qPrintable(QString::number(quality)));
}

// Quadrants red, green / blue, white, turned as each EXIF orientation says.
void TestPictureLoad::exifOrientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("corners"); // top-left, top-right, bottom-left, bottom-right

    const QSize wide(64, 32);
    const QSize tall(32, 64);
    QTest::newRow("1 as stored") << 1 << false << wide << u"RGBW"_s;
    QTest::newRow("2 mirrored") << 2 << false << wide << u"GRWB"_s;
    QTest::newRow("3 half turn") << 3 << false << wide << u"WBGR"_s;
    QTest::newRow("4 flipped") << 4 << false << wide << u"BWRG"_s;
    QTest::newRow("5 transposed") << 5 << false << tall << u"RBGW"_s;
    QTest::newRow("6 quarter turn right") << 6 << false << tall << u"BRWG"_s;
    QTest::newRow("6 big-endian") << 6 << true << tall << u"BRWG"_s;
    QTest::newRow("7 transversed") << 7 << false << tall << u"WGBR"_s;
    QTest::newRow("8 quarter turn left") << 8 << true << tall << u"GWRB"_s;
    QTest::newRow("9 out of range") << 9 << false << wide << u"RGBW"_s;
}

void TestPictureLoad::exifOrientation()
{
    QFETCH(int, orientation);
    QFETCH(bool, bigEndian);
    QFETCH(QSize, size);
    QFETCH(QString, corners);

    const QHash<QChar, QRgb> colour = {{u'R', qRgb(255, 0, 0)}, {u'G', qRgb(0, 255, 0)},
                                       {u'B', qRgb(0, 0, 255)}, {u'W', qRgb(255, 255, 255)}};
    QImage source(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            source.setPixel(x, y, colour[QStringLiteral("RGBW")[(y / 16) * 2 + x / 32]]);
    const QString path = m_dir.filePath(u"quadrants.jpg"_s);
    QString error;
    QVERIFY2(savePicture(source, path, &error), qPrintable(error));
    const QByteArray jpeg = fixtures::readFile(path);
    const QImage loaded = decodePicture(fixtures::withExifOrientation(jpeg, orientation, bigEndian), &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QCOMPARE(loaded.size(), size);
    const QPoint at[4] = {{4, 4}, {size.width() - 5, 4}, {4, size.height() - 5}, {size.width() - 5, size.height() - 5}};
    for (int i = 0; i < 4; ++i) {
        const QRgb want = colour[corners[i]];
        const QRgb got = loaded.pixel(at[i]);
        QVERIFY2(qAbs(qRed(got) - qRed(want)) < 24 && qAbs(qGreen(got) - qGreen(want)) < 24
                     && qAbs(qBlue(got) - qBlue(want)) < 24,
                 qPrintable(u"corner %1 should be %2"_s.arg(i).arg(corners[i])));
    }
}

// 16384 pixels on a side are allowed, one more is not.
void TestPictureLoad::sideLimitIsInclusive()
{
    for (const int width : {16384, 16385}) {
        QImage line(width, 1, QImage::Format_RGB32);
        line.fill(Qt::darkCyan);
        const QString path = m_dir.filePath(u"line-%1.png"_s.arg(width));
        QString error;
        QVERIFY2(savePicture(line, path, &error), qPrintable(error));
        const QImage loaded = loadPicture(path, &error);
        if (width == 16384) {
            QCOMPARE(loaded.size(), line.size());
        } else {
            QVERIFY(loaded.isNull());
            QCOMPARE(error, u"image too large (16385 x 1)"_s);
        }
    }
}

void TestPictureLoad::everyPrefixLoadsOrFails_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QImage source = fixtures::photoLike(24, 20, 11);
    for (const QString &ext : {u"bmp"_s, u"gif"_s, u"jpg"_s, u"png"_s, u"tif"_s, u"webp"_s}) {
        const QString path = m_dir.filePath(u"prefix."_s + ext);
        QString error;
        if (!savePicture(source, path, &error))
            qWarning("cannot save %s: %s", qPrintable(ext), qPrintable(error));
        QTest::newRow(qPrintable(ext)) << fixtures::readFile(path);
    }
    QTest::newRow("progressive jpg") << fixtures::readFile(picturePath(u"plasma-progressive.jpg"_s));
    QTest::newRow("tga") << fixtures::tgaFile(source);
    QImage translucent = source.convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(3, 4, qRgba(10, 20, 30, 40));
    for (const QString &ext : {u"tga"_s, u"dds"_s}) {
        const QString path = m_dir.filePath(u"prefix-alpha."_s + ext);
        QString error;
        if (!savePicture(translucent, path, &error))
            qWarning("cannot save %s: %s", qPrintable(ext), qPrintable(error));
        QTest::newRow(qPrintable(ext + u" with alpha"_s)) << fixtures::readFile(path);
    }
    for (const fixtures::DibCase &c : fixtures::dibCases()) {
        if (QByteArray(c.name).startsWith("RLE"))
            QTest::newRow(c.name) << fixtures::bmpFile(c.dib);
    }
}

// A prefix either fails with a message or loads the whole picture's size.
void TestPictureLoad::everyPrefixLoadsOrFails()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!bytes.isEmpty());
    QString error;
    const QImage whole = decodePicture(bytes, &error);
    QVERIFY2(!whole.isNull(), qPrintable(error));
    int truncated = 0;
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        error.clear();
        const QImage part = decodePicture(QByteArrayView(bytes.constData(), n), &error);
        if (part.isNull()) {
            QVERIFY2(!error.isEmpty(), qPrintable(u"prefix of %1 bytes"_s.arg(n)));
            truncated += error == u"file is truncated";
        } else {
            QVERIFY2(error.isEmpty() && part.size() == whole.size(), qPrintable(u"prefix of %1 bytes"_s.arg(n)));
        }
    }
    // Past the signature, a cut file says it is cut.
    QVERIFY2(truncated > bytes.size() / 2, qPrintable(QString::number(truncated)));
}

// Every file of the corpus fails with a message or loads, quickly and in
// bounded memory; files named for a limit or a cut fail with that reason.
// An allocator that fills every block it hands out (MALLOC_PERTURB_) makes
// even untouched memory cost time and room, so the bounds are checked in
// the run without it.
void TestPictureLoad::malformedFilesFailCleanly()
{
    const bool perturbed = !qEnvironmentVariableIsEmpty("MALLOC_PERTURB_");
    const QDir dir(QStringLiteral(MORVANE_CODECS_DATA));
    const QStringList names = dir.entryList(QDir::Files);
    QVERIFY(names.size() > 50);
    rusage before {};
    getrusage(RUSAGE_SELF, &before);
    for (const QString &name : names) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        const QImage loaded = loadPicture(dir.filePath(name), &error);
        const qint64 ms = timer.elapsed();
        QVERIFY2(perturbed || ms < (Sanitized ? 5000 : 1000), qPrintable(u"%1 took %2 ms"_s.arg(name).arg(ms)));
        QVERIFY2(!loaded.isNull() || !error.isEmpty(), qPrintable(name));
        if (name.contains(u"60000x60000"))
            QVERIFY2(error == u"image too large (60000 x 60000)", qPrintable(name + u": "_s + error));
        if (name.contains(u"truncated") || name.contains(u"-cut-"))
            QVERIFY2(error == u"file is truncated", qPrintable(name + u": "_s + error));
        if (name.contains(u"over-"))
            QVERIFY2(error.startsWith(u"image too large"), qPrintable(name + u": "_s + error));
    }
    rusage after {};
    getrusage(RUSAGE_SELF, &after);
    if (!Sanitized && !perturbed) // the sanitizers' own bookkeeping swells the resident size
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 256 * 1024,
                 qPrintable(u"peak grew by %1 KB"_s.arg(after.ru_maxrss - before.ru_maxrss)));
}

QTEST_GUILESS_MAIN(TestPictureLoad)
#include "tst_picture_load.moc"
