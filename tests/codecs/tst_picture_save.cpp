// Saving pictures: format by extension, round trips, flattening onto white,
// GIF transparency, JPEG settings, errors, and atomic replacement.
#include "convert/picture.h"
#include "support/fixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using morvane::convert::decodePicture;
using morvane::convert::loadPicture;
using morvane::convert::pictureExtension;
using morvane::convert::savePicture;
using fixtures::fileNames;

namespace {

// The body of the first segment before the scan whose marker is one of
// markers; empty when there is none.
QByteArray jpegSegment(const QByteArray &jpeg, std::initializer_list<uchar> markers, uchar *found = nullptr)
{
    for (qsizetype pos = 2; pos + 4 <= jpeg.size() && uchar(jpeg[pos]) == 0xff;) {
        const uchar marker = uchar(jpeg[pos + 1]);
        const int length = uchar(jpeg[pos + 2]) << 8 | uchar(jpeg[pos + 3]);
        if (marker == 0xda)
            break;
        if (std::find(markers.begin(), markers.end(), marker) != markers.end()) {
            if (found)
                *found = marker;
            return jpeg.mid(pos + 4, length - 2);
        }
        pos += 2 + length;
    }
    return {};
}

// The sampling factors of each component in a JPEG's frame header, as
// "11 11 11" for full-resolution chroma.
QString jpegSampling(const QByteArray &jpeg, uchar *frameMarker)
{
    const QByteArray frame = jpegSegment(jpeg, {0xc0, 0xc1, 0xc2}, frameMarker);
    QStringList factors;
    const int components = frame.size() > 5 ? uchar(frame[5]) : 0;
    for (int i = 0; i < components && 7 + 3 * i < frame.size(); ++i)
        factors << QString::number(uchar(frame[7 + 3 * i]), 16);
    return factors.join(u' ');
}

quint32 le32(const QByteArray &bytes, qsizetype at)
{
    return quint32(uchar(bytes[at])) | quint32(uchar(bytes[at + 1])) << 8 | quint32(uchar(bytes[at + 2])) << 16
           | quint32(uchar(bytes[at + 3])) << 24;
}

// photoLike with an opacity that varies along both sides.
QImage translucentPhoto(int width, int height)
{
    QImage picture = fixtures::photoLike(width, height, 4).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, (picture.pixel(x, y) & 0xffffff) | uint((x * 13 + y * 5) % 256) << 24);
    return picture;
}

} // namespace

class TestPictureSave : public QObject {
    Q_OBJECT

private slots:
    void extensionOfPath();
    void formatByExtension_data();
    void formatByExtension();
    void exactRoundTrips_data();
    void exactRoundTrips();
    void tgaDepthFollowsOpacity_data();
    void tgaDepthFollowsOpacity();
    void ddsHeaderAndChain_data();
    void ddsHeaderAndChain();
    void ddsMipmapsInLinearLight_data();
    void ddsMipmapsInLinearLight();
    void jpegQualityAndSampling();
    void gifQuality();
    void gifTransparency();
    void flattenedOntoWhite_data();
    void flattenedOntoWhite();
    void refusedSaves_data();
    void refusedSaves();
    void replacesOnlyTheDestination();
    void failedWriteKeepsOldFile();

private:
    QTemporaryDir m_dir;
};

// After the last dot of the name alone, its case kept (the rest is
// checked through the saves below).
void TestPictureSave::extensionOfPath()
{
    QCOMPARE(pictureExtension(u"/t/stone..JPeG"_s), u"JPeG"_s);
    QCOMPARE(pictureExtension(u"/t.d/stone"_s), QString());
    QCOMPARE(pictureExtension(u"/t/stone."_s), QString());
}

// The bytes written are in the format the extension names, whatever its case.
void TestPictureSave::formatByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("signature");

    QTest::newRow("bmp") << u"a.bmp"_s << QByteArray("BM");
    QTest::newRow("gif") << u"c.gif"_s << QByteArray("GIF8");
    QTest::newRow("jpe") << u"f.jpe"_s << QByteArray("\xff\xd8\xff");
    QTest::newRow("JPEG") << u"g.JPEG"_s << QByteArray("\xff\xd8\xff");
    QTest::newRow("png") << u"h.png"_s << QByteArray("\x89PNG");
    QTest::newRow("TIFF") << u"j.TIFF"_s << QByteArray("II*");
    QTest::newRow("webp") << u"k.webp"_s << QByteArray("RIFF");
    QTest::newRow("suffix alone") << u".bmp"_s << QByteArray("BM");
}

void TestPictureSave::formatByExtension()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, signature);

    const QImage picture = fixtures::photoLike(33, 17, 5);
    const QString path = m_dir.filePath(name);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    QVERIFY(error.isEmpty());
    const QByteArray bytes = fixtures::readFile(path);
    QVERIFY(bytes.startsWith(signature));
    QCOMPARE(loadPicture(path, &error).size(), picture.size());
}

void TestPictureSave::exactRoundTrips_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QImage>("picture");

    // An odd width makes BMP rows padded; random pixels leave no slack.
    const QImage opaque = fixtures::randomPixels(37, 23, 9);
    QImage translucent = fixtures::randomPixels(37, 23, 10).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < translucent.height(); ++y)
        for (int x = 0; x < translucent.width(); ++x)
            translucent.setPixel(x, y, (translucent.pixel(x, y) & 0xffffff) | uint((x * 7 + y) % 256) << 24);
    const QImage gray = fixtures::randomPixels(29, 11, 3).convertToFormat(QImage::Format_Grayscale8);

    QTest::newRow("bmp") << u"bmp"_s << opaque;
    QTest::newRow("png") << u"png"_s << opaque;
    QTest::newRow("tif") << u"tif"_s << opaque;
    QTest::newRow("png with alpha") << u"png"_s << translucent;
    QTest::newRow("bmp from grayscale") << u"bmp"_s << gray;
}

void TestPictureSave::exactRoundTrips()
{
    QFETCH(QString, extension);
    QFETCH(QImage, picture);

    const QString path = m_dir.filePath(u"exact."_s + extension);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QImage loaded = loadPicture(path, &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QVERIFY(fixtures::samePixels(loaded, picture));
}

// 24 bits when every pixel is opaque, else 32 with 8 attribute bits; run-length
// encoded, top row first, the version 2 footer; the pixels back exactly.
void TestPictureSave::tgaDepthFollowsOpacity_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("descriptor");

    const QImage opaque = fixtures::randomPixels(37, 23, 9);
    QImage oneClearPixel = opaque.convertToFormat(QImage::Format_ARGB32);
    oneClearPixel.setPixel(36, 22, qRgba(1, 2, 3, 254));
    QTest::newRow("opaque") << opaque << 24 << 0x20;
    QTest::newRow("alpha channel, all opaque") << opaque.convertToFormat(QImage::Format_ARGB32) << 24 << 0x20;
    QTest::newRow("one pixel not opaque") << oneClearPixel << 32 << 0x28;
    QTest::newRow("varying opacity") << translucentPhoto(29, 11) << 32 << 0x28;
    QTest::newRow("grayscale") << opaque.convertToFormat(QImage::Format_Grayscale8) << 24 << 0x20;
}

void TestPictureSave::tgaDepthFollowsOpacity()
{
    QFETCH(QImage, picture);
    QFETCH(int, bits);
    QFETCH(int, descriptor);

    const QString path = m_dir.filePath(u"depth.tga"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(path);
    QVERIFY(bytes.size() > 18 + 26);
    QCOMPARE(int(bytes[2]), 10);
    QCOMPARE(int(uchar(bytes[16])), bits);
    QCOMPARE(int(uchar(bytes[17])), descriptor);
    QVERIFY(bytes.endsWith(QByteArray("TRUEVISION-XFILE.\0", 18)));
    const QImage loaded = loadPicture(path, &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QVERIFY(fixtures::samePixels(loaded, picture));
}

// The header engines read, and the whole chain of levels down to 1 x 1,
// sides that do not halve evenly included; the top level close to the
// picture, opacity within half a step of the eight levels a BC3 block
// spreads over the range of its values.
void TestPictureSave::ddsHeaderAndChain_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("alpha");
    QTest::addColumn<double>("minPsnr"); // the test picture is smooth only when large

    QTest::newRow("1 x 1") << QSize(1, 1) << false << 35.0;
    QTest::newRow("5 x 3") << QSize(5, 3) << false << 20.0;
    QTest::newRow("96 x 96") << QSize(96, 96) << false << 35.0;
    QTest::newRow("1 x 9 with alpha") << QSize(1, 9) << true << 24.0;
    QTest::newRow("37 x 23 with alpha") << QSize(37, 23) << true << 24.0;
}

void TestPictureSave::ddsHeaderAndChain()
{
    QFETCH(QSize, size);
    QFETCH(bool, alpha);
    QFETCH(double, minPsnr);

    const QImage picture = alpha ? translucentPhoto(size.width(), size.height())
                                 : fixtures::photoLike(size.width(), size.height(), 6);
    const QString path = m_dir.filePath(u"chain.dds"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(path);
    QVERIFY(bytes.size() >= 128);

    const int blockBytes = alpha ? 16 : 8;
    int levels = 0;
    qint64 chain = 0;
    for (int w = size.width(), h = size.height();; w = qMax(1, w / 2), h = qMax(1, h / 2)) {
        ++levels;
        chain += qint64((w + 3) / 4) * ((h + 3) / 4) * blockBytes;
        if (w == 1 && h == 1)
            break;
    }
    QCOMPARE(bytes.left(4), QByteArray("DDS "));
    QCOMPARE(le32(bytes, 4), 124u);
    QCOMPARE(le32(bytes, 8), 0x1u | 0x2u | 0x4u | 0x1000u | 0x20000u | 0x80000u);
    QCOMPARE(le32(bytes, 12), quint32(size.height()));
    QCOMPARE(le32(bytes, 16), quint32(size.width()));
    QCOMPARE(le32(bytes, 20), quint32((size.width() + 3) / 4 * ((size.height() + 3) / 4) * blockBytes));
    QCOMPARE(le32(bytes, 28), quint32(levels));
    QCOMPARE(le32(bytes, 76), 32u);
    QCOMPARE(le32(bytes, 80), 0x4u);
    QCOMPARE(bytes.mid(84, 4), QByteArray(alpha ? "DXT5" : "DXT1"));
    QCOMPARE(le32(bytes, 108), 0x1000u | 0x400000u | 0x8u);
    QCOMPARE(bytes.size(), 128 + chain);

    const QImage loaded = loadPicture(path, &error).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(loaded.size(), size);
    const double quality = fixtures::psnr(loaded, picture);
    QVERIFY2(quality >= minPsnr, qPrintable(QString::number(quality)));
    for (int by = 0; by < size.height(); by += 4) {
        for (int bx = 0; bx < size.width(); bx += 4) {
            const QRect block = QRect(bx, by, 4, 4) & picture.rect();
            int lowest = 255, highest = 0;
            for (int y = block.top(); y <= block.bottom(); ++y)
                for (int x = block.left(); x <= block.right(); ++x) {
                    lowest = qMin(lowest, qAlpha(picture.pixel(x, y)));
                    highest = qMax(highest, qAlpha(picture.pixel(x, y)));
                }
            for (int y = block.top(); y <= block.bottom(); ++y)
                for (int x = block.left(); x <= block.right(); ++x) {
                    const int off = qAbs(qAlpha(loaded.pixel(x, y)) - qAlpha(picture.pixel(x, y)));
                    QVERIFY2(off <= (highest - lowest) / 14 + 1, qPrintable(u"(%1, %2) off by %3"_s.arg(x).arg(y).arg(off)));
                }
        }
    }
}

// The last level, 1 x 1, is the mean of the picture taken in linear light,
// with clear pixels lending no colour; sides that do not halve evenly share
// their middle pixels.
void TestPictureSave::ddsMipmapsInLinearLight_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QRgb>("expected");

    const auto srgb = [](double linear) {
        return int(std::lround(255 * (linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055)));
    };
    QImage checks(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const int half = srgb(0.5);
    QTest::newRow("black and white checks") << checks << qRgb(half, half, half);

    QImage clear(2, 2, QImage::Format_ARGB32);
    clear.fill(qRgba(0, 0, 0, 0));
    clear.setPixel(0, 0, qRgb(255, 255, 255));
    clear.setPixel(1, 1, qRgb(255, 255, 255));
    QTest::newRow("two white, two clear black") << clear << qRgba(255, 255, 255, 128);

    QImage thirds(3, 1, QImage::Format_RGB32);
    thirds.fill(qRgb(255, 255, 255));
    thirds.setPixel(2, 0, qRgb(0, 0, 0));
    const int twoThirds = srgb(2.0 / 3);
    QTest::newRow("3 x 1, one third black") << thirds << qRgb(twoThirds, twoThirds, twoThirds);
}

void TestPictureSave::ddsMipmapsInLinearLight()
{
    QFETCH(QImage, picture);
    QFETCH(QRgb, expected);

    const QString path = m_dir.filePath(u"mipmaps.dds"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(path);
    const int blockBytes = bytes.mid(84, 4) == "DXT1" ? 8 : 16;
    // The last block as the only level of a 1 x 1 file of the same format.
    QByteArray last = bytes.left(128) + bytes.right(blockBytes);
    last.replace(12, 8, QByteArray::fromHex("0100000001000000"));
    last.replace(28, 4, QByteArray::fromHex("01000000"));
    const QImage smallest = decodePicture(last, &error);
    QVERIFY2(!smallest.isNull(), qPrintable(error));
    const QRgb got = smallest.pixel(0, 0);
    QVERIFY2(qAbs(qRed(got) - qRed(expected)) <= 3 && qAbs(qGreen(got) - qGreen(expected)) <= 3
                 && qAbs(qBlue(got) - qBlue(expected)) <= 3 && qAbs(qAlpha(got) - qAlpha(expected)) <= 1,
             qPrintable(u"got %1, expected %2"_s.arg(got, 8, 16).arg(expected, 8, 16)));
}

// Quality 92 with full-resolution chroma in a baseline frame.
void TestPictureSave::jpegQualityAndSampling()
{
    const QImage picture = fixtures::photoLike(256, 256, 1);
    const QString path = m_dir.filePath(u"photo.jpg"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(path);
    uchar frame = 0;
    QCOMPARE(jpegSampling(bytes, &frame), u"11 11 11"_s);
    QCOMPARE(frame, uchar(0xc0));
    const double quality = fixtures::psnr(loadPicture(path, &error), picture);
    QVERIFY2(quality >= 38.0, qPrintable(QString::number(quality)));
    // Optimised Huffman tables are the picture's own, not the standard ones.
    const QByteArray standard("\0\1\5\1\1\1\1\1\1\0\0\0\0\0\0\0", 16);
    const QByteArray table = jpegSegment(bytes, {0xc4});
    QCOMPARE(table.left(1), QByteArray(1, '\0')); // luminance DC first
    QVERIFY(table.mid(1, 16) != standard);

    // A gray picture gives a one-component JPEG that loads back gray.
    const QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    QVERIFY(savePicture(gray, path, &error));
    QCOMPARE(jpegSampling(fixtures::readFile(path), &frame), u"11"_s);
    QCOMPARE(loadPicture(path, &error).format(), QImage::Format_Grayscale8);
}

// libimagequant's 256 colours with dithering on the photo-like picture: 33.9
// dB measured; film grain is what a palette renders worst.
void TestPictureSave::gifQuality()
{
    // A picture of over a million pixels takes its palette from a sample of
    // them and is remapped band by band: no worse for it.
    const QString path = m_dir.filePath(u"photo.gif"_s);
    QString error;
    for (const QSize size : {QSize(256, 256), QSize(1100, 1000)}) {
        const QImage picture = fixtures::photoLike(size.width(), size.height(), 1);
        QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
        const QImage loaded = loadPicture(path, &error);
        QVERIFY2(!loaded.isNull(), qPrintable(error));
        const double quality = fixtures::psnr(loaded, picture);
        QVERIFY2(quality >= 33.5, qPrintable(QString::number(quality)));
    }

    // A picture of few colours keeps them exactly.
    QImage flags(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < flags.height(); ++y)
        for (int x = 0; x < flags.width(); ++x)
            flags.setPixel(x, y, QColor::fromHsv((x / 8) * 50 + (y / 16) * 20, 200, 230).rgb());
    QVERIFY(savePicture(flags, path, &error));
    QVERIFY(fixtures::samePixels(loadPicture(path, &error), flags));
}

// Under half opacity becomes transparent, the rest opaque in its own colour.
void TestPictureSave::gifTransparency()
{
    const int alphas[] = {0, 1, 64, 127, 128, 129, 200, 255};
    QImage picture(8, 4, QImage::Format_ARGB32);
    for (int i = 0; i < 8; ++i)
        for (int y = 0; y < 4; ++y)
            picture.setPixel(i, y, qRgba(200, 40 + 20 * i, 30, alphas[i]));
    const QString path = m_dir.filePath(u"clear.gif"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    QVERIFY(fixtures::readFile(path).startsWith("GIF89a"));
    const QImage loaded = loadPicture(path, &error).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(loaded.size(), picture.size());
    for (int i = 0; i < 8; ++i) {
        const QRgb got = loaded.pixel(i, 2);
        QCOMPARE(qAlpha(got), alphas[i] < 128 ? 0 : 255);
        if (alphas[i] >= 128)
            QCOMPARE(got & 0xffffff, picture.pixel(i, 2) & 0xffffff);
    }

    // A picture with nothing opaque left is one transparent colour.
    picture.fill(qRgba(90, 90, 90, 100));
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QImage clear = loadPicture(path, &error).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(clear.size(), picture.size());
    QCOMPARE(clear.pixel(0, 0), 0u);
    QCOMPARE(clear.pixel(7, 3), 0u);
}

// Formats without transparency composite onto white, never black.
void TestPictureSave::flattenedOntoWhite_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QRgb>("pixel");
    QTest::addColumn<QRgb>("expected");
    QTest::addColumn<int>("tolerance");

    struct Case {
        const char *name;
        QRgb pixel;
        QRgb expected;
    };
    const Case cases[] = {
        {"clear black", qRgba(0, 0, 0, 0), qRgb(255, 255, 255)},
        {"opaque red", qRgba(255, 0, 0, 255), qRgb(255, 0, 0)},
        {"half blue", qRgba(0, 0, 255, 128), qRgb(127, 127, 255)},
        {"quarter black", qRgba(0, 0, 0, 64), qRgb(191, 191, 191)},
    };
    for (const Case &c : cases) {
        for (const QString &ext : {u"bmp"_s, u"jpg"_s}) {
            const int tolerance = ext == u"bmp" ? 1 : 3;
            QTest::addRow("%s %s", qPrintable(ext), c.name)
                << ext << QImage::Format_ARGB32 << c.pixel << c.expected << tolerance;
            QTest::addRow("%s %s premultiplied", qPrintable(ext), c.name)
                << ext << QImage::Format_ARGB32_Premultiplied << c.pixel << c.expected << tolerance;
        }
    }
    QTest::newRow("bmp indexed clear") << u"bmp"_s << QImage::Format_Indexed8 << qRgba(10, 20, 30, 0)
                                       << qRgb(255, 255, 255) << 0;
}

void TestPictureSave::flattenedOntoWhite()
{
    QFETCH(QString, extension);
    QFETCH(QImage::Format, format);
    QFETCH(QRgb, pixel);
    QFETCH(QRgb, expected);
    QFETCH(int, tolerance);

    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(pixel);
    picture = picture.convertToFormat(format);
    const QString path = m_dir.filePath(u"flat."_s + extension);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QRgb got = loadPicture(path, &error).pixel(8, 8);
    QVERIFY2(qAbs(qRed(got) - qRed(expected)) <= tolerance && qAbs(qGreen(got) - qGreen(expected)) <= tolerance
                 && qAbs(qBlue(got) - qBlue(expected)) <= tolerance && qAlpha(got) == 255,
             qPrintable(u"got %1"_s.arg(got, 8, 16)));
}

void TestPictureSave::refusedSaves_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QString>("expected");

    const QImage picture = fixtures::randomPixels(8, 8, 3);
    QTest::newRow("ending case kept") << u"a.Sele"_s << picture << u"cannot write files ending in .Sele"_s;
    QTest::newRow("no ending") << u"stoneSele"_s << picture << u"cannot write files without an extension"_s;
    QTest::newRow("null picture") << u"a.png"_s << QImage() << u"there is no picture to save"_s;
    QTest::newRow("GIF too wide") << u"a.gif"_s << QImage(70000, 1, QImage::Format_RGB32)
                                  << u"picture too large for GIF (70000 x 1)"_s;
    QTest::newRow("JPEG too wide") << u"a.jpg"_s << QImage(66000, 1, QImage::Format_RGB32)
                                   << u"picture too large for JPEG (66000 x 1)"_s;
    QTest::newRow("folder missing") << u"missing/a.png"_s << picture
                                    << u"cannot write the file: its folder does not exist"_s;
    QTest::newRow("folder in the way") << u"taken.png"_s << picture
                                       << u"cannot write the file: a folder has that name"_s;
}

// A refused save writes nothing at all.
void TestPictureSave::refusedSaves()
{
    QFETCH(QString, name);
    QFETCH(QImage, picture);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"taken.png"_s));
    const QStringList before = fileNames(dir.path());
    QString error;
    QVERIFY(!savePicture(picture, dir.filePath(name), &error));
    QCOMPARE(error, expected);
    QCOMPARE(fileNames(dir.path()), before);
    QVERIFY(fileNames(dir.filePath(u"taken.png"_s)).isEmpty());
}

// Saving over a file replaces it, touches no other file, and keeps the old
// file's permissions; a link at the destination is replaced by the file, and
// the file it pointed to is left alone.
void TestPictureSave::replacesOnlyTheDestination()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(u"stone.bmp"_s);
    const QString other = dir.filePath(u"stone.jpg"_s);
    const QString destination = dir.filePath(u"stone.gif"_s);
    const QImage picture = fixtures::photoLike(40, 30, 2);
    QString error;
    QVERIFY(savePicture(picture, source, &error));
    QVERIFY(fixtures::writeFile(other, "not really a JPEG"));
    QVERIFY(fixtures::writeFile(destination, "an old file"));
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    QVERIFY(QFile::setPermissions(destination, ownerOnly));
    const QByteArray sourceBytes = fixtures::readFile(source);

    QVERIFY2(savePicture(loadPicture(source, &error), destination, &error), qPrintable(error));
    QCOMPARE(fileNames(dir.path()), QStringList({u"stone.bmp"_s, u"stone.gif"_s, u"stone.jpg"_s}));
    QCOMPARE(fixtures::readFile(source), sourceBytes);
    QCOMPARE(fixtures::readFile(other), QByteArray("not really a JPEG"));
    QCOMPARE(loadPicture(destination, &error).size(), picture.size());
    QCOMPARE(QFile::permissions(destination) & 0x7077, ownerOnly); // owner, group, others

    // Saving a picture over its own source is allowed: it was read whole first.
    QVERIFY(savePicture(loadPicture(source, &error), source, &error));
    QCOMPARE(fixtures::readFile(source), sourceBytes);

    const QString link = dir.filePath(u"link.png"_s);
    QVERIFY(QFile::link(other, link));
    QVERIFY2(savePicture(picture, link, &error), qPrintable(error));
    QCOMPARE(fixtures::readFile(other), QByteArray("not really a JPEG"));
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(fixtures::samePixels(loadPicture(link, &error), picture));
}

// A write cut short by the file size limit leaves the old file byte for byte
// and no temporary file behind.
void TestPictureSave::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    const QString destination = dir.filePath(u"big.bmp"_s);
    const QByteArray old = "old contents, much smaller than the limit";
    QVERIFY(fixtures::writeFile(destination, old));

    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    QString error;
    const bool written = savePicture(fixtures::randomPixels(100, 100, 4), destination, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QVERIFY2(error.startsWith(u"cannot write the file"), qPrintable(error));
    QCOMPARE(fixtures::readFile(destination), old);
    QCOMPARE(fileNames(dir.path()), QStringList({u"big.bmp"_s}));
}

QTEST_GUILESS_MAIN(TestPictureSave)
#include "tst_picture_save.moc"
