// BMP files in the variants the format defines: bit fields of any width and
// place, every header, palettes, 64 bits, run-length data with skips, colour
// profiles, and the variants refused with a message that names them.
#include "convert/picture.h"
#include "support/bitmaps.h"
#include "support/bmpvariants.h"
#include "support/fixtures.h"

#include <QColorSpace>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using morvane::convert::decodePicture;
using fixtures::BmpLayout;
using fixtures::bmpFile;

Q_DECLARE_METATYPE(fixtures::BmpLayout)

class TestBmp : public QObject {
    Q_OBJECT

private slots:
    void variants_data();
    void variants();
    void channelScaling_data();
    void channelScaling();
    void refusedVariants_data();
    void refusedVariants();
    void embeddedProfile();
};

void TestBmp::variants_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    for (const fixtures::BmpVariant &v : fixtures::bmpVariants())
        QTest::newRow(v.name.constData()) << v.file << v.expected;
    // The bitmaps the metafile tests draw, in BMP files: one codec reads both.
    for (const fixtures::DibCase &c : fixtures::dibCases()) {
        QImage picture(c.width, int(c.pixels.size()) / c.width, QImage::Format_ARGB32);
        for (int i = 0; i < c.pixels.size(); ++i)
            picture.setPixel(i % c.width, i / c.width, c.pixels[i]);
        QTest::addRow("metafile's %s", c.name) << fixtures::bmpFile(c.dib) << picture;
    }
}

void TestBmp::variants()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    QString error;
    const QImage loaded = decodePicture(file, &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QCOMPARE(loaded.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb got = loaded.pixel(x, y), want = expected.pixel(x, y);
            QVERIFY2(got == want, qPrintable(u"(%1, %2) is %3, not %4"_s.arg(x).arg(y).arg(got, 8, 16).arg(want, 8, 16)));
        }
    }
    // A picture with some transparency keeps it; an opaque one has none to keep.
    bool transparent = false;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            transparent = transparent || qAlpha(expected.pixel(x, y)) < 255;
    QCOMPARE(loaded.hasAlphaChannel(), transparent);
}

// One pixel of a bit-field bitmap whose red field is `bits` wide holding
// `value`: its red is value * 255 / (2^bits - 1), rounded to nearest.
void TestBmp::channelScaling_data()
{
    QTest::addColumn<quint32>("mask");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<int>("red");

    QTest::newRow("1 bit on") << 0x1u << 1u << 255;
    QTest::newRow("3 bits, 1") << 0x7u << 1u << 36;
    QTest::newRow("3 bits, 5") << 0x7u << 5u << 182;
    QTest::newRow("5 bits, 16") << 0x7C00u << 16u << 132;
    QTest::newRow("6 bits, 14") << 0x7E0u << 14u << 57;
    QTest::newRow("10 bits, 512") << 0x3FF00000u << 512u << 128;
    QTest::newRow("18 bits, 131072") << 0x01FFFF80u << 131072u << 128;
    QTest::newRow("32 bits, all") << 0xFFFFFFFFu << 0xFFFFFFFFu << 255;
    QTest::newRow("32 bits, half") << 0xFFFFFFFFu << 0x80000000u << 128;
}

void TestBmp::channelScaling()
{
    QFETCH(quint32, mask);
    QFETCH(quint32, value);
    QFETCH(int, red);
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    BmpLayout layout;
    layout.bits = 32;
    layout.compression = 3;
    layout.masks = {mask, 0, 0, 0};
    layout.masksAfterHeader = 3;
    QString error;
    const QImage loaded = decodePicture(bmpFile(layout, 1, 1, fixtures::dword(value << shift)), &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QCOMPARE(qRed(loaded.pixel(0, 0)), red);
}

void TestBmp::refusedVariants_data()
{
    QTest::addColumn<BmpLayout>("layout");
    QTest::addColumn<QString>("error");

    BmpLayout huffman;
    huffman.headerSize = 64;
    huffman.bits = 1;
    huffman.compression = 3;
    huffman.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    QTest::newRow("OS/2 Huffman 1D") << huffman << u"BMP files with Huffman 1D compression are not supported"_s;
    BmpLayout jpeg;
    jpeg.bits = 0;
    jpeg.compression = 4;
    QTest::newRow("JPEG inside") << jpeg << u"BMP files with an embedded JPEG picture are not supported"_s;
    BmpLayout png = jpeg;
    png.compression = 5;
    QTest::newRow("PNG inside") << png << u"BMP files with an embedded PNG picture are not supported"_s;
    BmpLayout cmyk;
    cmyk.bits = 32;
    cmyk.compression = 11;
    QTest::newRow("CMYK") << cmyk << u"BMP files with CMYK colours are not supported"_s;
    BmpLayout bits7;
    bits7.bits = 7;
    QTest::newRow("7 bits per pixel") << bits7 << u"BMP file is damaged"_s;
    BmpLayout fields24;
    fields24.compression = 3;
    fields24.masksAfterHeader = 3;
    fields24.masks = {0xFF0000, 0xFF00, 0xFF, 0};
    QTest::newRow("bit fields of 24 bits") << fields24 << u"BMP file is damaged"_s;
}

void TestBmp::refusedVariants()
{
    QFETCH(BmpLayout, layout);
    QFETCH(QString, error);
    QString got;
    QVERIFY(decodePicture(bmpFile(layout, 2, 2, QByteArray(64, '\x11')), &got).isNull());
    QCOMPARE(got, error);
}

// A V5 header's embedded profile is applied: the pictures written are in
// sRGB where the format holds no profile, and carry the profile where it can.
void TestBmp::embeddedProfile()
{
    const QColorSpace adobe(QColorSpace::AdobeRgb);
    BmpLayout layout;
    layout.headerSize = 124;
    layout.iccProfile = adobe.iccProfile();
    const QRgb green = qRgb(40, 200, 60);
    const QImage loaded = decodePicture(bmpFile(layout, 1, 1, QByteArray::fromHex("3cc82800")), nullptr);
    QVERIFY(!loaded.isNull());
    QCOMPARE(loaded.colorSpace(), adobe);
    QCOMPARE(loaded.pixel(0, 0), green);

    QImage expected(1, 1, QImage::Format_RGB32);
    expected.setPixel(0, 0, green);
    expected.setColorSpace(adobe);
    expected.convertToColorSpace(QColorSpace::SRgb);
    // This green lies outside sRGB: its red falls to nothing, so a copy left
    // unconverted fails below.
    QVERIFY(qRed(expected.pixel(0, 0)) < 10);

    QTemporaryDir dir;
    QString error;
    for (const QString &name : {u"copy.bmp"_s, u"copy.gif"_s, u"copy.png"_s, u"copy.jpg"_s, u"copy.tif"_s, u"copy.webp"_s}) {
        const QString path = dir.filePath(name);
        QVERIFY2(morvane::convert::savePicture(loaded, path, &error), qPrintable(error));
        const QImage copy = morvane::convert::loadPicture(path, &error);
        QVERIFY2(!copy.isNull(), qPrintable(error));
        if (name.endsWith(u".bmp") || name.endsWith(u".gif")) {
            QCOMPARE(copy.pixel(0, 0), expected.pixel(0, 0));
            QVERIFY(!copy.colorSpace().isValid());
        } else {
            QCOMPARE(copy.colorSpace(), adobe);
            QVERIFY(fixtures::psnr(copy, loaded) > 40);
        }
    }
}

QTEST_GUILESS_MAIN(TestBmp)
#include "tst_bmp.moc"
