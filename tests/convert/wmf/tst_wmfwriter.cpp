// The metafile writer: headers and records that hold together, and pictures
// that come back unchanged through the player.
#include "convert/wmf/wmf.h"
#include "support/fixtures.h"

#include <QTest>

#include <functional>
#include <numeric>

using morvane::wmf::encodeWmf;
using morvane::wmf::renderWmf;
using namespace Qt::StringLiterals;

class TestWmfWriter : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void roundTrip_data();
    void roundTrip();
    void refuses();
};

// Every word but the pixels': the placeable header with its box at 96 dpi
// and its checksum, the standard header with the file's size and the largest
// record's, the window, one 24-bit bitmap stretched over the whole picture
// and the end record.
void TestWmfWriter::layout()
{
    const QByteArray bytes = encodeWmf(fixtures::randomPixels(3, 2, 7)).bytes;
    const auto words = [&](qsizetype from, qsizetype to) {
        QList<quint32> out;
        for (qsizetype at = from; at < to; at += 2)
            out.append(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
        return out;
    };
    constexpr quint32 Stretch = (28 + 40 + 2 * 12) / 2; // the bitmap record, two rows of 12 bytes
    QCOMPARE(bytes.size(), 22 + 18 + 20 + Stretch * 2 + 6);
    const QList<quint32> placeable = words(0, 20);
    QCOMPARE(placeable, (QList<quint32>{0xCDD7, 0x9AC6, 0, 0, 0, 3, 2, 96, 0, 0}));
    QCOMPARE(words(20, 22).first(), std::accumulate(placeable.begin(), placeable.end(), 0u, std::bit_xor<>()));
    QCOMPARE(words(22, 40), (QList<quint32>{1, 9, 0x0300, quint32(bytes.size() - 22) / 2, 0, 0, Stretch, 0, 0}));
    QCOMPARE(words(40, 60), (QList<quint32>{5, 0, 0x020B, 0, 0, 5, 0, 0x020C, 2, 3}));
    QCOMPARE(words(60, 88), (QList<quint32>{Stretch, 0, 0x0F43, 0x0020, 0x00CC, 0, 2, 3, 0, 0, 2, 3, 0, 0}));
    QCOMPARE(words(88, 108), (QList<quint32>{40, 0, 3, 0, 2, 0, 1, 24, 0, 0}));
    QCOMPARE(words(bytes.size() - 6, bytes.size()), (QList<quint32>{3, 0, 0}));
}

void TestWmfWriter::roundTrip_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QImage>("expected");
    const auto same = [](const char *name, const QImage &picture) { QTest::newRow(name) << picture << picture; };
    same("1 x 1", fixtures::randomPixels(1, 1, 1));
    same("wide, odd width", fixtures::randomPixels(301, 17, 4));
    same("24-bit source", fixtures::randomPixels(33, 21, 5).convertToFormat(QImage::Format_RGB888));
    same("indexed source", fixtures::randomPixels(20, 10, 7).convertToFormat(QImage::Format_Indexed8));
    // Transparency goes over white.
    QImage transparent(2, 1, QImage::Format_ARGB32), overWhite(2, 1, QImage::Format_RGB32);
    transparent.setPixel(0, 0, qRgba(0, 0, 0, 0));
    transparent.setPixel(1, 0, qRgba(255, 0, 0, 128));
    overWhite.setPixel(0, 0, qRgb(255, 255, 255));
    overWhite.setPixel(1, 0, qRgb(255, 127, 127));
    QTest::newRow("transparent") << transparent << overWhite;
}

// The same pixels, but for the rounding of a blend (a PSNR of 99 is equal);
// the player refuses every proper prefix of the file.
void TestWmfWriter::roundTrip()
{
    QFETCH(QImage, picture);
    QFETCH(QImage, expected);
    const auto encoded = encodeWmf(picture);
    QVERIFY2(encoded.error.isEmpty(), qPrintable(encoded.error));
    const auto decoded = renderWmf(encoded.bytes);
    QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
    QCOMPARE(decoded.image.size(), picture.size());
    const double psnr = fixtures::psnr(decoded.image, expected);
    QVERIFY2(psnr >= (picture == expected ? 99 : 45), qPrintable(QString::number(psnr)));
    for (qsizetype length = 0; length < encoded.bytes.size(); ++length)
        QVERIFY2(!renderWmf(encoded.bytes.first(length)).error.isEmpty(), qPrintable(QString::number(length)));
}

// Nothing to write, or too large for the 16-bit fields.
void TestWmfWriter::refuses()
{
    const QString tooLarge = u"image too large for a metafile (%1; at most 32767 pixels on a side)"_s;
    for (const auto &[picture, error] : {std::pair{QImage(), u"there is no picture to save"_s},
                                         std::pair{QImage(32768, 1, QImage::Format_RGB32), tooLarge.arg(u"32768 x 1")},
                                         std::pair{QImage(2, 40000, QImage::Format_RGB32), tooLarge.arg(u"2 x 40000")},
                                         std::pair{QImage(32767, 1, QImage::Format_RGB32), QString()}}) {
        const auto result = encodeWmf(picture);
        QCOMPARE(result.error, error);
        QCOMPARE(result.bytes.isEmpty(), !error.isEmpty());
    }
}

QTEST_MAIN(TestWmfWriter)
#include "tst_wmfwriter.moc"
