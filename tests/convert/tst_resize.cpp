// Resizing: the size each rule gives, from a table of sizes and rules; the
// resampling against ImageMagick's with the same filter and light, and
// against stb_image_resize's on awkward sizes; clear pixels lending no
// colour, and the kinds of picture kept.
#include "convert/resize.h"
#include "support/fixtures.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <stb/stb_image_resize.h>

#include <algorithm>
#include <cstdlib>

using namespace Qt::StringLiterals;
using morvane::convert::parseResizeRule;
using morvane::convert::resized;
using morvane::convert::resizedSize;

namespace {

// The plain `convert` on PATH may be another program: name it fully.
const QString Convert = u"/usr/bin/convert"_s;

bool convert(const QString &arguments)
{
    QProcess process;
    process.start(Convert, arguments.split(u' ', Qt::SkipEmptyParts));
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QSize sizeOf(const QString &text)
{
    const QStringList sides = text.split(u'x');
    return sides.size() == 2 ? QSize(sides[0].toInt(), sides[1].toInt()) : QSize();
}

// The alpha channel of picture as a grey picture.
QImage alphaOf(const QImage &picture)
{
    const QImage alpha = picture.convertToFormat(QImage::Format_Alpha8);
    return QImage(alpha.constBits(), alpha.width(), alpha.height(), alpha.bytesPerLine(), QImage::Format_Grayscale8).copy();
}

// picture's colours as shown over black.
QImage overBlack(const QImage &picture)
{
    QImage shown(picture.size(), QImage::Format_RGB32);
    shown.fill(Qt::black);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            const auto over = [&](int channel) { return (channel * qAlpha(p) + 127) / 255; };
            shown.setPixel(x, y, qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p))));
        }
    }
    return shown;
}

} // namespace

class TestResize : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sizes_data();
    void sizes();
    void againstImageMagick_data();
    void againstImageMagick();
    void sameAsStbImageResize_data();
    void sameAsStbImageResize();
    void clearPixelsLendNoColour();
    void kindsKept_data();
    void kindsKept();

private:
    QTemporaryDir m_dir;
    bool m_magick = false;
};

void TestResize::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // ImageMagick's own pictures: a photograph of 70x46 and a 640x480 drawing.
    m_magick = QFile::exists(Convert) && convert(u"rose: -depth 8 PNG24:"_s + m_dir.filePath(u"rose.png"_s))
        && convert(u"logo: -depth 8 PNG24:"_s + m_dir.filePath(u"logo.png"_s));
}

void TestResize::sizes_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("expected");
    const QStringList lines = QString::fromUtf8(fixtures::readFile(QStringLiteral(MORVANE_RESIZE_SIZES))).split(u'\n');
    QVERIFY(lines.size() > 30);
    for (const QString &line : lines) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList row = line.split(u'\t');
        QVERIFY2(row.size() == 3, qPrintable(line));
        QTest::newRow(qPrintable(row[0] + u' ' + row[1])) << sizeOf(row[0]) << row[1] << row[2];
    }
}

void TestResize::sizes()
{
    QFETCH(QSize, size);
    QFETCH(QString, rule);
    QFETCH(QString, expected);
    const auto parsed = parseResizeRule(rule);
    QCOMPARE(parsed.has_value(), expected != u"refused");
    if (parsed)
        QCOMPARE(resizedSize(size, *parsed), sizeOf(expected));
}

// A photograph to the nearest and the next powers of two (down across, up
// down), in linear light and on the stored values, a sharp graphic down to
// max:128 and a plasma up to its pot, against ImageMagick's Mitchell filter.
void TestResize::againstImageMagick_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("linearValues");
    const QString rose = m_dir.filePath(u"rose.png"_s), logo = m_dir.filePath(u"logo.png"_s);
    QTest::newRow("photo, pot") << rose << QSize(64, 64) << false;
    QTest::newRow("photo, pot-up") << rose << QSize(128, 64) << false;
    QTest::newRow("photo, pot, values") << rose << QSize(64, 64) << true;
    QTest::newRow("graphic, max:128") << logo << QSize(128, 96) << false;
    QTest::newRow("plasma, pot") << QStringLiteral(MORVANE_TEST_PICTURES "/plasma.png") << QSize(64, 32) << false;
}

void TestResize::againstImageMagick()
{
    QFETCH(QString, input);
    QFETCH(QSize, size);
    QFETCH(bool, linearValues);
    if (!m_magick)
        QSKIP("ImageMagick (/usr/bin/convert) not installed");
    const QString resize = u" -filter Mitchell -resize %1x%2! "_s.arg(size.width()).arg(size.height());
    const QString reference = m_dir.filePath(u"reference.png"_s);
    const QString light = linearValues ? QString() : u" -colorspace RGB"_s;
    QVERIFY(convert(input + light + resize + (linearValues ? u""_s : u"-colorspace sRGB "_s) + u"-depth 8 PNG24:"_s + reference));
    const QImage ours = resized(QImage(input), size, linearValues);
    QCOMPARE(ours.size(), size);
    const double agreement = fixtures::psnr(ours, QImage(reference));
    QVERIFY2(agreement >= 48, qPrintable(QString::number(agreement)));
}

// 8-bit colour pictures are resampled by our own loop: it gives within a
// level what stb_image_resize gives with the same filter and edges, filters
// wider than the picture and one side enlarged as the other shrinks
// included, opaque, translucent (clear colours not compared) and on values.
void TestResize::sameAsStbImageResize_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("linearValues");
    const QImage photo = fixtures::photoLike(70, 46, 3).convertToFormat(QImage::Format_RGB32);
    QImage translucent = photo.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < translucent.height(); ++y)
        for (int x = 0; x < translucent.width(); ++x)
            translucent.setPixel(x, y, (translucent.pixel(x, y) & 0xFFFFFF) | uint(std::max(0, x * 9 - 200)) % 256 << 24);
    const QSize sizes[] = {{64, 64}, {5, 3}, {256, 12}, {1, 1}, {3, 200}, {71, 46}};
    for (const QSize size : sizes) {
        QTest::addRow("%d x %d, opaque", size.width(), size.height()) << photo << size << false;
        QTest::addRow("%d x %d, translucent", size.width(), size.height()) << translucent << size << false;
        QTest::addRow("%d x %d, values", size.width(), size.height()) << translucent << size << true;
    }
}

void TestResize::sameAsStbImageResize()
{
    QFETCH(QImage, picture);
    QFETCH(QSize, size);
    QFETCH(bool, linearValues);
    const QImage ours = resized(picture, size, linearValues);
    QCOMPARE(ours.format(), picture.format());
    QImage theirs(size, picture.format());
    QVERIFY(stbir_resize_uint8_generic(picture.constBits(), picture.width(), picture.height(), int(picture.bytesPerLine()),
                                       theirs.bits(), size.width(), size.height(), int(theirs.bytesPerLine()), 4,
                                       Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_MITCHELL,
                                       linearValues ? STBIR_COLORSPACE_LINEAR : STBIR_COLORSPACE_SRGB, nullptr));
    int largest = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb p = ours.pixel(x, y), q = theirs.pixel(x, y);
            largest = std::max(largest, std::abs(qAlpha(p) - qAlpha(q)));
            if (qAlpha(q) > 0)
                largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q))});
        }
    }
    QVERIFY2(largest <= 1, qPrintable(QString::number(largest)));
}

// Half clear red, half opaque green: no red where the result is seen, the
// opacity and shown colours as ImageMagick's.
void TestResize::clearPixelsLendNoColour()
{
    QImage picture(64, 16, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, x < 32 ? qRgba(255, 0, 0, 0) : qRgba(0, 255, 0, 255));
    }
    const QImage ours = resized(picture, QSize(24, 6));
    QCOMPARE(ours.format(), QImage::Format_ARGB32);
    int seen = 0;
    for (int x = 0; x < ours.width(); ++x) {
        const QRgb p = ours.pixel(x, 3);
        seen += qAlpha(p) > 0 && qAlpha(p) < 255;
        QVERIFY2(qAlpha(p) == 0 || qRed(p) == 0, qPrintable(u"%1: %2"_s.arg(x).arg(p, 8, 16)));
    }
    QVERIFY(seen >= 2); // the edge is soft, not cut
    if (!m_magick)
        QSKIP("ImageMagick (/usr/bin/convert) not installed");
    const QString input = m_dir.filePath(u"edge.png"_s), reference = m_dir.filePath(u"edge-magick.png"_s);
    QVERIFY(picture.save(input));
    QVERIFY(convert(input + u" -colorspace RGB -filter Mitchell -resize 24x6! -colorspace sRGB -depth 8 PNG32:"_s + reference));
    const QImage theirs(reference);
    const double opacity = fixtures::psnr(alphaOf(ours), alphaOf(theirs));
    const double shown = fixtures::psnr(overBlack(ours), overBlack(theirs));
    QVERIFY2(opacity >= 50 && shown >= 50, qPrintable(u"%1 dB, %2 dB"_s.arg(opacity).arg(shown)));
}

// Opaque, alpha, grey and 16-bit pictures come back of their kind, with the
// pixels the 8-bit colour path gives; a picture kept at its size is the same
// picture, and no size gives no picture.
void TestResize::kindsKept_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QImage::Format>("expected");
    QTest::newRow("rgb32") << QImage::Format_RGB32 << QImage::Format_RGB32;
    QTest::newRow("rgb888") << QImage::Format_RGB888 << QImage::Format_RGB32;
    QTest::newRow("argb32 premultiplied") << QImage::Format_ARGB32_Premultiplied << QImage::Format_ARGB32;
    QTest::newRow("grey") << QImage::Format_Grayscale8 << QImage::Format_Grayscale8;
    QTest::newRow("grey palette") << QImage::Format_Indexed8 << QImage::Format_Grayscale8;
    QTest::newRow("grey 16") << QImage::Format_Grayscale16 << QImage::Format_Grayscale16;
    QTest::newRow("rgbx64") << QImage::Format_RGBX64 << QImage::Format_RGBX64;
    QTest::newRow("rgba64") << QImage::Format_RGBA64 << QImage::Format_RGBA64;
}

void TestResize::kindsKept()
{
    QFETCH(QImage::Format, format);
    QFETCH(QImage::Format, expected);
    const QImage photo = fixtures::photoLike(90, 70, 3);
    const bool grey = expected == QImage::Format_Grayscale8 || expected == QImage::Format_Grayscale16;
    const QImage source = grey ? photo.convertToFormat(QImage::Format_Grayscale8) : photo;
    const QImage picture = source.convertToFormat(format);
    const QImage ours = resized(picture, QSize(40, 33));
    QCOMPARE(ours.format(), expected);
    const QImage reference = resized(source.convertToFormat(QImage::Format_RGB32), QSize(40, 33));
    QVERIFY2(fixtures::psnr(ours, reference) >= 42, qPrintable(QString::number(fixtures::psnr(ours, reference))));
    QCOMPARE(resized(picture, picture.size()).constBits(), picture.constBits());
    QVERIFY(resized(picture, QSize(0, 33)).isNull());
}

QTEST_GUILESS_MAIN(TestResize)
#include "tst_resize.moc"
