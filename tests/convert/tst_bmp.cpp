// BMP files beyond the corpus's variants: the bitmaps the metafile tests
// draw, in BMP files (one codec reads both), and a V5 header's embedded
// colour profile, applied and carried into the copies written.
#include "convert/picture.h"
#include "support/bitmaps.h"
#include "support/fixtures.h"

#include <QColorSpace>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using morvane::convert::decodePicture;
using morvane::convert::loadPicture;
using morvane::convert::savePicture;

class TestBmp : public QObject {
    Q_OBJECT

private slots:
    void metafileBitmaps_data();
    void metafileBitmaps();
    void embeddedProfile();
};

void TestBmp::metafileBitmaps_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QImage>("expected");
    for (const fixtures::DibCase &c : fixtures::dibCases()) {
        const QImage picture(reinterpret_cast<const uchar *>(c.pixels.constData()), c.width,
                             int(c.pixels.size()) / c.width, QImage::Format_RGB32);
        QTest::newRow(c.name) << fixtures::bmpFile(c.dib) << picture.copy();
    }
}

void TestBmp::metafileBitmaps()
{
    QFETCH(QByteArray, file);
    QFETCH(QImage, expected);
    QString error;
    const QImage loaded = decodePicture(file, &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QVERIFY(fixtures::samePixels(loaded, expected));
    QVERIFY(!loaded.hasAlphaChannel());
}

// The copies are in sRGB where the format holds no profile, and carry the
// profile where it can.
void TestBmp::embeddedProfile()
{
    const QColorSpace adobe(QColorSpace::AdobeRgb);
    QString error;
    const QImage loaded = loadPicture(QStringLiteral(MORVANE_CODECS_PICTURES "/bmp/24-bit-v5-header-adobe-rgb-profile.bmp"), &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QCOMPARE(loaded.colorSpace(), adobe);
    QCOMPARE(loaded.pixel(0, 0), qRgb(40, 200, 60));
    QImage expected = loaded.convertToFormat(QImage::Format_RGB32);
    expected.convertToColorSpace(QColorSpace::SRgb);
    // This green lies outside sRGB: its red falls to nothing, so a copy left
    // unconverted fails below.
    QVERIFY(qRed(expected.pixel(0, 0)) < 10);

    QTemporaryDir dir;
    for (const QString &name : {u"copy.bmp"_s, u"copy.gif"_s, u"copy.png"_s, u"copy.jpg"_s, u"copy.tif"_s, u"copy.webp"_s}) {
        const QString path = dir.filePath(name);
        QVERIFY2(savePicture(loaded, path, &error), qPrintable(error));
        const QImage copy = loadPicture(path, &error);
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
