// Saving pictures: every writable format by its extension and read back by
// content, the headers and settings each writer chooses, flattening onto
// white, GIF transparency, refusals, and atomic replacement.
#include "convert/picture.h"
#include "support/fixtures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using morvane::convert::decodePicture;
using morvane::convert::loadPicture;
using morvane::convert::savePicture;
using fixtures::fileNames;

namespace {

constexpr double Exact = 99; // what psnr gives for equal pictures

// The body of the first segment with marker before the scan; empty when
// there is none.
QByteArray jpegSegment(const QByteArray &jpeg, uchar marker)
{
    for (qsizetype pos = 2; pos + 4 <= jpeg.size() && uchar(jpeg[pos]) == 0xff && uchar(jpeg[pos + 1]) != 0xda;) {
        const int length = uchar(jpeg[pos + 2]) << 8 | uchar(jpeg[pos + 3]);
        if (uchar(jpeg[pos + 1]) == marker)
            return jpeg.mid(pos + 4, length - 2);
        pos += 2 + length;
    }
    return {};
}

// The sampling factors of each component in a baseline JPEG's frame header,
// as "11 11 11" for full-resolution chroma.
QString jpegSampling(const QByteArray &jpeg)
{
    const QByteArray frame = jpegSegment(jpeg, 0xc0);
    QStringList factors;
    for (int i = 0; frame.size() > 5 && i < uchar(frame[5]) && 7 + 3 * i < frame.size(); ++i)
        factors << QString::number(uchar(frame[7 + 3 * i]), 16);
    return factors.join(u' ');
}

quint32 le32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// picture with an opacity that varies along both sides.
QImage translucent(const QImage &picture)
{
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, (out.pixel(x, y) & 0xffffff) | uint((x * 13 + y * 5) % 256) << 24);
    return out;
}

bool near(QRgb got, QRgb want, int tolerance, int alphaTolerance)
{
    return qAbs(qRed(got) - qRed(want)) <= tolerance && qAbs(qGreen(got) - qGreen(want)) <= tolerance
           && qAbs(qBlue(got) - qBlue(want)) <= tolerance && qAbs(qAlpha(got) - qAlpha(want)) <= alphaTolerance;
}

} // namespace

class TestPictureSave : public QObject {
    Q_OBJECT

private slots:
    void roundTrips_data();
    void roundTrips();
    void ddsHeaderAndChain_data();
    void ddsHeaderAndChain();
    void ddsMipmapsInLinearLight_data();
    void ddsMipmapsInLinearLight();
    void jpegSettings();
    void gifTransparency();
    void flattenedOntoWhite();
    void refusedSaves_data();
    void refusedSaves();
    void replacesOnlyTheDestination();
    void failedWriteKeepsOldFile();

private:
    QTemporaryDir m_dir;
};

// Every writable format: the bytes written are the format the extension
// names, whatever its case, with the header fields given at the offset
// given; the file read back under its own name, a wrong one, none, an
// upper-case one and .txt gives the same picture: the name plays no part.
void TestPictureSave::roundTrips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("at");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<double>("minPsnr");

    // An odd width makes BMP rows padded; random pixels leave no slack.
    const QImage opaque = fixtures::randomPixels(37, 23, 9), photo = fixtures::photoLike(64, 48, 7);
    const QImage gray = opaque.convertToFormat(QImage::Format_Grayscale8), clear = translucent(opaque);
    QImage oneClear = opaque.convertToFormat(QImage::Format_ARGB32);
    oneClear.setPixel(36, 22, qRgba(1, 2, 3, 254));
    QImage flags(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < flags.height(); ++y)
        for (int x = 0; x < flags.width(); ++x)
            flags.setPixel(x, y, QColor::fromHsv((x / 8) * 50 + (y / 16) * 20, 200, 230).rgb());
    const QByteArray jpeg("\xff\xd8\xff"), tga24("\x18\x20"), tga32("\x20\x28");
    QTest::newRow("bmp") << u"a.bmp"_s << opaque << 0 << QByteArray("BM") << Exact;
    QTest::newRow("bmp, suffix alone") << u".bmp"_s << photo << 0 << QByteArray("BM") << Exact;
    QTest::newRow("bmp from grayscale") << u"a.bmp"_s << gray << 0 << QByteArray("BM") << Exact;
    // libimagequant's 256 colours with dithering: 33.9 dB measured; film grain
    // is what a palette renders worst. A picture of over a million pixels
    // takes its palette from a sample of them and is remapped band by band:
    // no worse for it.
    QTest::newRow("gif") << u"c.gif"_s << fixtures::photoLike(256, 256, 1) << 0 << QByteArray("GIF8") << 33.5;
    QTest::newRow("gif of a million pixels") << u"c.gif"_s << fixtures::photoLike(1100, 1000, 1) << 0
                                             << QByteArray("GIF8") << 33.5;
    QTest::newRow("gif of few colours") << u"c.gif"_s << flags << 0 << QByteArray("GIF8") << Exact;
    QTest::newRow("jpe") << u"f.jpe"_s << photo << 0 << jpeg << 30.0;
    QTest::newRow("JPEG") << u"g.JPEG"_s << photo << 0 << jpeg << 30.0;
    QTest::newRow("jpg at quality 92") << u"g.jpg"_s << fixtures::photoLike(256, 256, 1) << 0 << jpeg << 38.0;
    QTest::newRow("png") << u"h.png"_s << opaque << 0 << QByteArray("\x89PNG") << Exact;
    QTest::newRow("png with alpha") << u"h.png"_s << clear << 0 << QByteArray("\x89PNG") << Exact;
    QTest::newRow("TIFF") << u"j.TIFF"_s << opaque << 0 << QByteArray("II*") << Exact;
    QTest::newRow("webp") << u"k.webp"_s << photo << 0 << QByteArray("RIFF") << 30.0;
    // 24 bits when every pixel is opaque, else 32 with 8 attribute bits; top row first.
    QTest::newRow("tga") << u"t.tga"_s << opaque << 16 << tga24 << Exact;
    QTest::newRow("tga, alpha channel all opaque") << u"t.tga"_s << opaque.convertToFormat(QImage::Format_ARGB32) << 16
                                                   << tga24 << Exact;
    QTest::newRow("tga, one pixel not opaque") << u"t.tga"_s << oneClear << 16 << tga32 << Exact;
    QTest::newRow("tga, varying opacity") << u"t.tga"_s << clear << 16 << tga32 << Exact;
    QTest::newRow("tga from grayscale") << u"t.tga"_s << gray << 16 << tga24 << Exact;
    QTest::newRow("dds") << u"d.dds"_s << photo << 0 << QByteArray("DDS ") << 28.0;
}

void TestPictureSave::roundTrips()
{
    QFETCH(QString, name);
    QFETCH(QImage, picture);
    QFETCH(int, at);
    QFETCH(QByteArray, header);
    QFETCH(double, minPsnr);

    QString error;
    QVERIFY2(savePicture(picture, m_dir.filePath(name), &error) && error.isEmpty(), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(m_dir.filePath(name));
    QCOMPARE(bytes.mid(at, header.size()), header);
    if (name.endsWith(u".tga"))
        QVERIFY(bytes.endsWith(QByteArray("TRUEVISION-XFILE.\0", 18)));
    const QString suffix = name.sliced(name.lastIndexOf(u'.'));
    QImage first;
    const QStringList others = {u"right"_s + suffix, u"wrong"_s + (suffix == u".jpe" ? u".png"_s : u".jpe"_s),
                                u"none"_s, u"upper"_s + suffix.toUpper(), u"text.txt"_s};
    for (const QString &other : others) {
        QVERIFY(fixtures::writeFile(m_dir.filePath(other), bytes));
        const QImage loaded = loadPicture(m_dir.filePath(other), &error);
        QVERIFY2(!loaded.isNull() && error.isEmpty(), qPrintable(other + u": "_s + error));
        if (first.isNull())
            first = loaded;
        QVERIFY2(fixtures::samePixels(loaded, first), qPrintable(other));
    }
    if (minPsnr == Exact)
        QVERIFY(fixtures::samePixels(first, picture));
    QVERIFY2(fixtures::psnr(first, picture) >= minPsnr, qPrintable(QString::number(fixtures::psnr(first, picture))));
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

    const QImage photo = fixtures::photoLike(size.width(), size.height(), alpha ? 4 : 6);
    const QImage picture = alpha ? translucent(photo) : photo;
    const QString path = m_dir.filePath(u"chain.dds"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(path);
    QVERIFY(bytes.size() >= 128);

    const int blockBytes = alpha ? 16 : 8;
    const auto levelBytes = [&](int w, int h) { return quint32((w + 3) / 4 * ((h + 3) / 4) * blockBytes); };
    quint32 levels = 0;
    qint64 chain = 0;
    for (int w = size.width(), h = size.height();; w = qMax(1, w / 2), h = qMax(1, h / 2)) {
        ++levels;
        chain += levelBytes(w, h);
        if (w == 1 && h == 1)
            break;
    }
    const std::pair<int, quint32> fields[] = {
        {0, 0x20534444}, {4, 124}, {8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | 0x80000}, {12, quint32(size.height())},
        {16, quint32(size.width())}, {20, levelBytes(size.width(), size.height())}, {28, levels}, {76, 32}, {80, 0x4},
        {84, alpha ? 0x35545844u : 0x31545844u}, {108, 0x1000 | 0x400000 | 0x8}};
    for (const auto &[at, value] : fields)
        QVERIFY2(le32(bytes, at) == value, qPrintable(u"at %1: %2"_s.arg(at).arg(le32(bytes, at), 0, 16)));
    QCOMPARE(bytes.size(), 128 + chain);

    const QImage loaded = loadPicture(path, &error).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(loaded.size(), size);
    QVERIFY2(fixtures::psnr(loaded, picture) >= minPsnr, qPrintable(QString::number(fixtures::psnr(loaded, picture))));
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRect block = QRect(x / 4 * 4, y / 4 * 4, 4, 4) & picture.rect();
            int lowest = 255, highest = 0;
            for (int by = block.top(); by <= block.bottom(); ++by)
                for (int bx = block.left(); bx <= block.right(); ++bx)
                    std::tie(lowest, highest) = std::minmax({lowest, highest, qAlpha(picture.pixel(bx, by))});
            const int off = qAbs(qAlpha(loaded.pixel(x, y)) - qAlpha(picture.pixel(x, y)));
            QVERIFY2(off <= (highest - lowest) / 14 + 1, qPrintable(u"(%1, %2) off by %3"_s.arg(x).arg(y).arg(off)));
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
        const int level = int(std::lround(255 * (linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055)));
        return qRgb(level, level, level);
    };
    QImage checks(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    QTest::newRow("black and white checks") << checks << srgb(0.5);
    QImage clear(2, 2, QImage::Format_ARGB32);
    clear.fill(qRgba(255, 255, 255, 0));
    clear.setPixel(0, 0, qRgb(0, 0, 0));
    clear.setPixel(1, 1, qRgb(0, 0, 0));
    QTest::newRow("two black, two clear white") << clear << qRgba(0, 0, 0, 128);
    QImage thirds(3, 1, QImage::Format_RGB32);
    thirds.fill(qRgb(255, 255, 255));
    thirds.setPixel(2, 0, qRgb(0, 0, 0));
    QTest::newRow("3 x 1, one third black") << thirds << srgb(2.0 / 3);
}

void TestPictureSave::ddsMipmapsInLinearLight()
{
    QFETCH(QImage, picture);
    QFETCH(QRgb, expected);

    const QString path = m_dir.filePath(u"mipmaps.dds"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(path);
    // The last block as the only level of a 1 x 1 file of the same format.
    QByteArray last = bytes.left(128) + bytes.right(bytes.mid(84, 4) == "DXT1" ? 8 : 16);
    last.replace(12, 8, QByteArray::fromHex("0100000001000000"));
    last.replace(28, 4, QByteArray::fromHex("01000000"));
    const QImage smallest = decodePicture(last, &error);
    QVERIFY2(!smallest.isNull(), qPrintable(error));
    QVERIFY2(near(smallest.pixel(0, 0), expected, 3, 1), qPrintable(QString::number(smallest.pixel(0, 0), 16)));
}

// Full-resolution chroma in a baseline frame, the quantisation of quality
// 92 unless another is asked for, Huffman tables of the picture's own; a gray picture gives a
// one-component JPEG.
void TestPictureSave::jpegSettings()
{
    const QImage picture = fixtures::photoLike(64, 48, 1);
    const QString path = m_dir.filePath(u"photo.jpg"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(path);
    QCOMPARE(jpegSampling(bytes), u"11 11 11"_s);
    // Quality 92: libjpeg scales the luminance table, its DC step 16 first, to 16 %.
    QCOMPARE(jpegSegment(bytes, 0xdb).left(2), QByteArray("\0\3", 2));
    const QByteArray table = jpegSegment(bytes, 0xc4);
    QCOMPARE(table.left(1), QByteArray(1, '\0')); // luminance DC first
    QVERIFY(table.mid(1, 16) != QByteArray("\0\1\5\1\1\1\1\1\1\0\0\0\0\0\0\0", 16)); // the standard one

    // Another quality as asked: at 50 libjpeg takes the table as it is; WebP files shrink with it.
    morvane::formats::WriteOptions options;
    options.quality = 50;
    QVERIFY2(savePicture(picture, path, &error, options), qPrintable(error));
    QCOMPARE(jpegSegment(fixtures::readFile(path), 0xdb).left(2), QByteArray("\0\x10", 2));
    const QString webp = m_dir.filePath(u"photo.webp"_s);
    QVERIFY2(savePicture(picture, webp, &error), qPrintable(error));
    const qsizetype at92 = fixtures::readFile(webp).size();
    options.quality = 10;
    QVERIFY2(savePicture(picture, webp, &error, options), qPrintable(error));
    QVERIFY(fixtures::readFile(webp).size() < at92);

    QVERIFY(savePicture(picture.convertToFormat(QImage::Format_Grayscale8), path, &error));
    QCOMPARE(jpegSampling(fixtures::readFile(path)), u"11"_s);
    QCOMPARE(loadPicture(path, &error).format(), QImage::Format_Grayscale8);
}

// Under half opacity becomes transparent, the rest opaque in its own colour;
// a picture with nothing opaque left is one transparent colour.
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
    picture.fill(qRgba(90, 90, 90, 100));
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QImage clear = loadPicture(path, &error).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(clear.size(), picture.size());
    QCOMPARE(clear.pixel(0, 0), 0u);
    QCOMPARE(clear.pixel(7, 3), 0u);
}

// Formats without transparency composite onto white, never black, from
// straight, premultiplied and indexed colours alike.
void TestPictureSave::flattenedOntoWhite()
{
    const std::pair<QRgb, QRgb> cases[] = {{qRgba(0, 0, 0, 0), qRgb(255, 255, 255)},
                                           {qRgba(255, 0, 0, 255), qRgb(255, 0, 0)},
                                           {qRgba(0, 0, 255, 128), qRgb(127, 127, 255)},
                                           {qRgba(0, 0, 0, 64), qRgb(191, 191, 191)}};
    for (const QString &ext : {u"bmp"_s, u"jpg"_s}) {
        for (const QImage::Format format : {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_Indexed8}) {
            for (const auto &[pixel, expected] : cases) {
                QImage picture(16, 16, QImage::Format_ARGB32);
                picture.fill(pixel);
                const QString path = m_dir.filePath(u"flat."_s + ext);
                QString error;
                const QImage converted = format == QImage::Format_Indexed8 ? picture.convertToFormat(format, QList<QRgb>{pixel})
                                                                           : picture.convertToFormat(format);
                QVERIFY2(savePicture(converted, path, &error), qPrintable(error));
                const QRgb got = loadPicture(path, &error).pixel(8, 8);
                QVERIFY2(near(got, expected, ext == u"bmp" ? 1 : 3, 0),
                         qPrintable(u"%1 from %2 in format %3: %4"_s.arg(ext).arg(pixel, 8, 16).arg(format).arg(got, 8, 16)));
            }
        }
    }
}

void TestPictureSave::refusedSaves_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QString>("expected");

    const QImage picture = fixtures::randomPixels(8, 8, 3);
    const QString none = u"cannot write files without an extension"_s;
    QTest::newRow("ending case kept") << u"a.Sele"_s << picture << u"cannot write files ending in .Sele"_s;
    QTest::newRow("no ending") << u"stoneSele"_s << picture << none;
    QTest::newRow("dot in the folder's name only") << u"taken.png/stone"_s << picture << none;
    QTest::newRow("dot at the end") << u"stone."_s << picture << none;
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

// Saving over a file replaces it and touches no other file; a picture may be
// saved over its own source, which was read whole first. (How a replaced
// file keeps its permissions, and a link at the destination, are the atomic
// writer's, tested with the conversion.)
void TestPictureSave::replacesOnlyTheDestination()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(u"stone.bmp"_s), other = dir.filePath(u"stone.jpg"_s),
                  destination = dir.filePath(u"stone.gif"_s);
    const QImage picture = fixtures::photoLike(40, 30, 2);
    QString error;
    QVERIFY(savePicture(picture, source, &error));
    QVERIFY(fixtures::writeFile(other, "not really a JPEG"));
    QVERIFY(fixtures::writeFile(destination, "an old file"));
    const QByteArray sourceBytes = fixtures::readFile(source);

    QVERIFY2(savePicture(loadPicture(source, &error), destination, &error), qPrintable(error));
    QCOMPARE(fileNames(dir.path()), QStringList({u"stone.bmp"_s, u"stone.gif"_s, u"stone.jpg"_s}));
    QCOMPARE(fixtures::readFile(source), sourceBytes);
    QCOMPARE(fixtures::readFile(other), QByteArray("not really a JPEG"));
    QCOMPARE(loadPicture(destination, &error).size(), picture.size());
    QVERIFY(savePicture(loadPicture(source, &error), source, &error));
    QCOMPARE(fixtures::readFile(source), sourceBytes);
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
