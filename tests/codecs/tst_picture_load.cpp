// Loading pictures: format told by content, the readers' variants, EXIF
// orientation, limits, truncation and malformed files.
#include "convert/picture.h"
#include "fixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/resource.h>

using namespace Qt::StringLiterals;
using morvane::convert::decodePicture;
using morvane::convert::loadPicture;
using morvane::convert::savePicture;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

void put16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}

void put32(QByteArray &out, quint32 v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

// A BMP of picture (whose colours all appear in palette) in the named variant.
QByteArray bmpVariant(const QImage &picture, const QList<QRgb> &palette, const QString &variant)
{
    const bool os2 = variant.startsWith(u"os2");
    const bool topDown = variant.contains(u"top-down");
    const bool bitfields = variant.contains(u"bitfields");
    const int bits = variant.contains(u"rle8") ? 8 : variant.contains(u"rle4") ? 4 : variant.section(u'-', os2 ? 1 : 0, os2 ? 1 : 0).toInt();
    const int compression = variant.contains(u"rle8") ? 1 : variant.contains(u"rle4") ? 2 : bitfields ? 3 : 0;
    const int w = picture.width();
    const int h = picture.height();
    auto index = [&](int x, int y) { return int(palette.indexOf(picture.pixel(x, y))); };

    QByteArray pixels;
    for (int row = 0; row < h; ++row) {
        const int y = topDown ? row : h - 1 - row;
        QByteArray line;
        if (compression == 1 || compression == 2) {
            for (int x = 0; x < w;) {
                int run = 1;
                while (x + run < w && index(x + run, y) == index(x, y))
                    ++run;
                const int i = index(x, y);
                line.append(char(run)).append(char(compression == 2 ? (i << 4 | i) : i));
                x += run;
            }
            line.append(char(0)).append(char(row == h - 1 ? 1 : 0));
            pixels += line;
            continue;
        }
        quint32 acc = 0;
        int accBits = 0;
        for (int x = 0; x < w; ++x) {
            const QRgb c = picture.pixel(x, y);
            if (bits <= 8) {
                acc = acc << bits | quint32(index(x, y));
                accBits += bits;
                if (accBits == 8) {
                    line.append(char(acc));
                    acc = 0;
                    accBits = 0;
                }
            } else if (bits == 16) {
                put16(line, bitfields ? quint32(qRed(c) >> 3 << 11 | qGreen(c) >> 2 << 5 | qBlue(c) >> 3)
                                      : quint32(qRed(c) >> 3 << 10 | qGreen(c) >> 3 << 5 | qBlue(c) >> 3));
            } else {
                line.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
                if (bits == 32)
                    line.append(char(0));
            }
        }
        if (accBits)
            line.append(char(acc << (8 - accBits)));
        while (line.size() % 4)
            line.append(char(0));
        pixels += line;
    }

    QByteArray info;
    if (os2) {
        put32(info, 12);
        put16(info, quint32(w));
        put16(info, quint32(h));
        put16(info, 1);
        put16(info, quint32(bits));
    } else {
        put32(info, 40);
        put32(info, quint32(w));
        put32(info, quint32(topDown ? -h : h));
        put16(info, 1);
        put16(info, quint32(bits));
        put32(info, quint32(compression));
        put32(info, quint32(pixels.size()));
        put32(info, 2835);
        put32(info, 2835);
        put32(info, bits <= 8 ? quint32(1 << bits) : 0);
        put32(info, 0);
    }
    if (bitfields) {
        const bool rgb565 = bits == 16;
        put32(info, rgb565 ? 0xf800 : 0xff0000);
        put32(info, rgb565 ? 0x07e0 : 0x00ff00);
        put32(info, rgb565 ? 0x001f : 0x0000ff);
    }
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i) {
            const QRgb c = i < palette.size() ? palette[i] : 0;
            info.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
            if (!os2)
                info.append(char(0));
        }
    }
    QByteArray file("BM");
    put32(file, quint32(14 + info.size() + pixels.size()));
    put32(file, 0);
    put32(file, quint32(14 + info.size()));
    return file + info + pixels;
}

QImage paletted(const QList<QRgb> &palette, const char *pattern, int width)
{
    const int height = int(qstrlen(pattern)) / width;
    QImage picture(width, height, QImage::Format_RGB32);
    for (int i = 0; i < width * height; ++i)
        picture.setPixel(i % width, i / width, palette[pattern[i] - '0']);
    return picture;
}

QString dataDir()
{
    return QStringLiteral(MORVANE_CODECS_DATA);
}

QString picturePath(const QString &name)
{
    return QStringLiteral(MORVANE_CODECS_PICTURES) + u'/' + name;
}

} // namespace

class PictureLoadTest : public QObject {
    Q_OBJECT

private slots:
    void formatFromContent_data();
    void formatFromContent();
    void notPictures_data();
    void notPictures();
    void oversizedFileIsNotRead();
    void bmpVariants_data();
    void bmpVariants();
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
void PictureLoadTest::formatFromContent_data()
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
}

void PictureLoadTest::formatFromContent()
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

void PictureLoadTest::notPictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("text named .gif") << QByteArray("just some notes\n").repeated(10) << u"notes.gif"_s
                                     << u"not an image this program can read"_s;
    QTest::newRow("empty named .jpg") << QByteArray() << u"empty.jpg"_s << u"file is empty"_s;
    QTest::newRow("zeros named .bmp") << QByteArray(500, '\0') << u"zeros.bmp"_s
                                      << u"not an image this program can read"_s;
    QTest::newRow("TGA without footer") << fixtures::tgaFile(fixtures::randomPixels(4, 4, 1)).chopped(26)
                                        << u"old.tga"_s << u"not an image this program can read"_s;
    QTest::newRow("missing") << QByteArray() << QString() << u"file not found"_s;
    QTest::newRow("folder") << QByteArray() << u"."_s << u"this is a folder, not a picture file"_s;
}

void PictureLoadTest::notPictures()
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
void PictureLoadTest::oversizedFileIsNotRead()
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

void PictureLoadTest::bmpVariants_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QList<QRgb>>("palette");

    // Colours whose channels are 0 or 255 survive 5- and 6-bit channels exactly.
    const QList<QRgb> four = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    const QList<QRgb> two = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    const QImage colours = paletted(four, "012300112233013231200", 7);
    const QImage mono = paletted(two, "0101101001011100101100100101", 14);
    QTest::newRow("1-bit") << u"1"_s << mono << two;
    for (const QString &variant : {u"4"_s, u"8"_s, u"rle4"_s, u"rle8"_s, u"16-555"_s, u"16-bitfields"_s, u"24"_s,
                                   u"24-top-down"_s, u"32"_s, u"32-bitfields"_s, u"os2-24"_s, u"os2-8"_s})
        QTest::newRow(qPrintable(variant)) << variant << colours << four;
}

void PictureLoadTest::bmpVariants()
{
    QFETCH(QString, variant);
    QFETCH(QImage, picture);
    QFETCH(QList<QRgb>, palette);

    const QByteArray bytes = bmpVariant(picture, palette, variant);
    QString error;
    const QImage loaded = decodePicture(bytes, &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QVERIFY(fixtures::samePixels(loaded, picture));
}

// Variants written by ImageMagick from plasma.png (tiny, so chroma
// subsampling shows).
void PictureLoadTest::jpegVariants_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("gray");

    QTest::newRow("baseline 4:2:0") << u"plasma-baseline-420.jpg"_s << false;
    QTest::newRow("progressive") << u"plasma-progressive.jpg"_s << false;
    QTest::newRow("grayscale") << u"plasma-gray.jpg"_s << true;
    QTest::newRow("Adobe CMYK") << u"plasma-cmyk.jpg"_s << false;
}

void PictureLoadTest::jpegVariants()
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
void PictureLoadTest::exifOrientation_data()
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

void PictureLoadTest::exifOrientation()
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
void PictureLoadTest::sideLimitIsInclusive()
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

void PictureLoadTest::everyPrefixLoadsOrFails_data()
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
    const QList<QRgb> four = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    const QImage colours = paletted(four, "012300112233013231200", 7);
    QTest::newRow("rle8 bmp") << bmpVariant(colours, four, u"rle8"_s);
    QTest::newRow("rle4 bmp") << bmpVariant(colours, four, u"rle4"_s);
}

// A prefix either fails with a message or loads the whole picture's size.
void PictureLoadTest::everyPrefixLoadsOrFails()
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
    // Past the signature, a cut file says it is cut (TGA, known by its footer, cannot).
    if (QTest::currentDataTag() != QByteArray("tga"))
        QVERIFY2(truncated > bytes.size() / 2, qPrintable(QString::number(truncated)));
}

// Every file of the corpus fails with a message or loads, quickly and in
// bounded memory; files named for a limit or a cut fail with that reason.
void PictureLoadTest::malformedFilesFailCleanly()
{
    const QDir dir(dataDir());
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
        QVERIFY2(ms < (kSanitized ? 5000 : 1000), qPrintable(u"%1 took %2 ms"_s.arg(name).arg(ms)));
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
    if (!kSanitized) // the sanitizers' own bookkeeping swells the resident size
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 256 * 1024,
                 qPrintable(u"peak grew by %1 KB"_s.arg(after.ru_maxrss - before.ru_maxrss)));
}

QTEST_GUILESS_MAIN(PictureLoadTest)
#include "tst_picture_load.moc"
