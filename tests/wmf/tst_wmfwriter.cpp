// The metafile writer: the bytes it lays out, and pictures that come back
// unchanged through the player.
#include "convert/wmf/wmf.h"
#include "support/bitmaps.h"
#include "support/fixtures.h"

#include <QTest>

using morvane::wmf::encodeWmf;
using morvane::wmf::renderWmf;

using namespace fixtures;

class TestWmfWriter : public QObject
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

void TestWmfWriter::layout_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("one pixel") << 1 << 1;
    QTest::newRow("rows need padding") << 3 << 2;
    QTest::newRow("rows fill four bytes") << 4 << 3;
}

// Every byte: the placeable and standard headers, the window, one stretched
// 24-bit bitmap over the whole picture, bottom row first, and the end record.
void TestWmfWriter::layout()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const QImage picture = randomPixels(width, height, 7);
    const auto result = encodeWmf(picture);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));

    const int stride = (width * 3 + 3) / 4 * 4;
    const int stretchWords = (28 + 40 + stride * height) / 2;
    QByteArray placeable = dword(0x9AC6CDD7) + words({0, 0, 0, width, height, 96}) + dword(0);
    quint32 checksum = 0;
    for (int i = 0; i < placeable.size(); i += 2)
        checksum ^= quint8(placeable[i]) | quint32(quint8(placeable[i + 1])) << 8;
    placeable += words({int(checksum)});
    QByteArray rows;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const QRgb c = picture.pixel(x, y);
            rows += QByteArray(1, char(qBlue(c))) + char(qGreen(c)) + char(qRed(c));
        }
        rows += QByteArray(stride - width * 3, '\0');
    }
    const QByteArray records = dword(5) + words({0x020B, 0, 0}) + dword(5) + words({0x020C, height, width})
                               + dword(quint32(stretchWords)) + words({0x0F43}) + dword(0x00CC0020)
                               + words({0, height, width, 0, 0, height, width, 0, 0})
                               + dib(width, height, 24, 0, {}, rows)
                               + dword(3) + words({0});
    const QByteArray standard = words({1, 9, 0x0300}) + dword(quint32(9 + records.size() / 2)) + words({0})
                                + dword(quint32(stretchWords)) + words({0});
    QCOMPARE(result.bytes.toHex(), QByteArray(placeable + standard + records).toHex());
}

void TestWmfWriter::roundTrip_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::newRow("1 x 1") << randomPixels(1, 1, 1);
    QTest::newRow("wide, odd width") << randomPixels(301, 17, 4);
    QTest::newRow("24-bit source") << randomPixels(33, 21, 5).convertToFormat(QImage::Format_RGB888);
    QTest::newRow("indexed source") << randomPixels(20, 10, 7).convertToFormat(QImage::Format_Indexed8);
}

void TestWmfWriter::roundTrip()
{
    QFETCH(QImage, picture);
    const auto encoded = encodeWmf(picture);
    QVERIFY2(encoded.error.isEmpty(), qPrintable(encoded.error));
    const auto decoded = renderWmf(encoded.bytes);
    QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
    QCOMPARE(decoded.image.size(), picture.size());
    QCOMPARE(decoded.image.convertToFormat(QImage::Format_RGB32), picture.convertToFormat(QImage::Format_RGB32));
}

void TestWmfWriter::transparencyGoesOverWhite()
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

void TestWmfWriter::refuses_data()
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

void TestWmfWriter::refuses()
{
    QFETCH(QImage, picture);
    QFETCH(QString, error);
    const auto result = encodeWmf(picture);
    QCOMPARE(result.error, error);
    QCOMPARE(result.bytes.isEmpty(), !error.isEmpty());
}

QTEST_MAIN(TestWmfWriter)
#include "tst_wmfwriter.moc"
