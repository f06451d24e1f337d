// The metafile writer: the bytes it lays out, and pictures that come back
// unchanged through the player.
#include "convert/wmf/wmf.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using morvane::wmf::encodeWmf;
using morvane::wmf::renderWmf;

namespace {

quint32 u16(const QByteArray &b, qsizetype at)
{
    return quint8(b[at]) | quint32(quint8(b[at + 1])) << 8;
}

quint32 u32(const QByteArray &b, qsizetype at)
{
    return u16(b, at) | u16(b, at + 2) << 16;
}

// Noise, so that a row or channel out of place shows.
QImage noise(int w, int h, QImage::Format format, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, random.generate() | 0xFF000000);
    return image.convertToFormat(format);
}

} // namespace

class WmfWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void roundTrip_data();
    void roundTrip();
    void transparencyGoesOverWhite();
    void refuses_data();
    void refuses();
};

void WmfWriterTest::layout_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("one pixel") << 1 << 1;
    QTest::newRow("rows need padding") << 3 << 2;
    QTest::newRow("rows fill four bytes") << 4 << 3;
    QTest::newRow("wide") << 37 << 5;
}

void WmfWriterTest::layout()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const QImage picture = noise(width, height, QImage::Format_RGB32, 7);
    const auto result = encodeWmf(picture);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    const QByteArray &b = result.bytes;
    const qsizetype stride = (width * 3 + 3) / 4 * 4;
    const quint32 stretchWords = (28 + 40 + quint32(stride * height)) / 2;
    QCOMPARE(b.size(), 22 + 18 + 10 + 10 + qsizetype(stretchWords) * 2 + 6);

    // Placeable header.
    QCOMPARE(u32(b, 0), 0x9AC6CDD7u);
    QCOMPARE(u16(b, 4), 0u);
    QCOMPARE(u16(b, 6), 0u);                 // left
    QCOMPARE(u16(b, 8), 0u);                 // top
    QCOMPARE(u16(b, 10), quint32(width));    // right
    QCOMPARE(u16(b, 12), quint32(height));   // bottom
    QCOMPARE(u16(b, 14), 96u);               // inch
    QCOMPARE(u32(b, 16), 0u);
    quint32 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= u16(b, 2 * i);
    QCOMPARE(u16(b, 20), checksum);

    // Standard header.
    QCOMPARE(u16(b, 22), 1u);
    QCOMPARE(u16(b, 24), 9u);
    QCOMPARE(u16(b, 26), 0x0300u);
    QCOMPARE(u32(b, 28), quint32((b.size() - 22) / 2));
    QCOMPARE(u16(b, 32), 0u);
    QCOMPARE(u32(b, 34), stretchWords);
    QCOMPARE(u16(b, 38), 0u);

    // Window origin 0,0 and extent: parameters in reverse order.
    QCOMPARE(u32(b, 40), 5u);
    QCOMPARE(u16(b, 44), 0x020Bu);
    QCOMPARE(u32(b, 46), 0u);
    QCOMPARE(u32(b, 50), 5u);
    QCOMPARE(u16(b, 54), 0x020Cu);
    QCOMPARE(u16(b, 56), quint32(height));
    QCOMPARE(u16(b, 58), quint32(width));

    // One stretched bitmap over the whole picture.
    QCOMPARE(u32(b, 60), stretchWords);
    QCOMPARE(u16(b, 64), 0x0F43u);
    QCOMPARE(u32(b, 66), 0x00CC0020u); // copy the source
    QCOMPARE(u16(b, 70), 0u);          // colours, not palette indexes
    const quint32 geometry[8] = {quint32(height), quint32(width), 0, 0, quint32(height), quint32(width), 0, 0};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(u16(b, 72 + 2 * i), geometry[i]);
    const qsizetype dib = 88;
    QCOMPARE(u32(b, dib), 40u);
    QCOMPARE(u32(b, dib + 4), quint32(width));
    QCOMPARE(u32(b, dib + 8), quint32(height)); // positive: bottom row first
    QCOMPARE(u16(b, dib + 12), 1u);
    QCOMPARE(u16(b, dib + 14), 24u);
    QCOMPARE(u32(b, dib + 16), 0u);
    QCOMPARE(u32(b, dib + 20), quint32(stride * height));
    QCOMPARE(u32(b, dib + 32), 0u); // no colour table
    for (int y = 0; y < height; ++y) {
        const qsizetype row = dib + 40 + stride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const QRgb p = picture.pixel(x, y);
            QCOMPARE(quint8(b[row + 3 * x]), quint8(qBlue(p)));
            QCOMPARE(quint8(b[row + 3 * x + 1]), quint8(qGreen(p)));
            QCOMPARE(quint8(b[row + 3 * x + 2]), quint8(qRed(p)));
        }
        for (qsizetype pad = width * 3; pad < stride; ++pad)
            QCOMPARE(quint8(b[row + pad]), quint8(0));
    }

    QCOMPARE(b.right(6), QByteArray::fromHex("030000000000"));
}

void WmfWriterTest::roundTrip_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::newRow("1 x 1") << noise(1, 1, QImage::Format_RGB32, 1);
    QTest::newRow("odd width") << noise(7, 5, QImage::Format_RGB32, 2);
    QTest::newRow("wide") << noise(301, 17, QImage::Format_RGB32, 4);
    QTest::newRow("24-bit source") << noise(33, 21, QImage::Format_RGB888, 5);
    QTest::newRow("opaque with alpha channel") << noise(16, 16, QImage::Format_ARGB32, 6);
    QTest::newRow("indexed source") << noise(20, 10, QImage::Format_RGB32, 7).convertToFormat(QImage::Format_Indexed8);
}

void WmfWriterTest::roundTrip()
{
    QFETCH(QImage, picture);
    const auto encoded = encodeWmf(picture);
    QVERIFY2(encoded.error.isEmpty(), qPrintable(encoded.error));
    const auto decoded = renderWmf(encoded.bytes);
    QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
    QCOMPARE(decoded.image.size(), picture.size());
    QCOMPARE(decoded.image.convertToFormat(QImage::Format_RGB32), picture.convertToFormat(QImage::Format_RGB32));
}

void WmfWriterTest::transparencyGoesOverWhite()
{
    QImage picture(2, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(0, 0, 0, 0));
    picture.setPixel(1, 0, qRgba(255, 0, 0, 128));
    const auto decoded = renderWmf(encodeWmf(picture).bytes);
    QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
    QCOMPARE(decoded.image.pixel(0, 0), qRgb(255, 255, 255));
    const QRgb half = decoded.image.pixel(1, 0);
    QCOMPARE(qRed(half), 255);
    QVERIFY(qAbs(qGreen(half) - 127) <= 2 && qAbs(qBlue(half) - 127) <= 2);
}

void WmfWriterTest::refuses_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QString>("error");
    QTest::newRow("no picture") << QImage() << QStringLiteral("there is no picture to save");
    QTest::newRow("too wide") << QImage(32768, 1, QImage::Format_RGB32)
                              << QStringLiteral("image too large for a metafile (32768 x 1; at most 32767 pixels on a side)");
    QTest::newRow("too tall") << QImage(2, 40000, QImage::Format_RGB32)
                              << QStringLiteral("image too large for a metafile (2 x 40000; at most 32767 pixels on a side)");
    QTest::newRow("widest written") << QImage(32767, 1, QImage::Format_RGB32) << QString();
}

void WmfWriterTest::refuses()
{
    QFETCH(QImage, picture);
    QFETCH(QString, error);
    const auto result = encodeWmf(picture);
    QCOMPARE(result.error, error);
    QCOMPARE(result.bytes.isEmpty(), !error.isEmpty());
}

QTEST_MAIN(WmfWriterTest)
#include "tst_wmfwriter.moc"
