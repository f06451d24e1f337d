// Our writers' files opened by independent tools: ImageMagick and
// GraphicsMagick must name the format and size, and decode the same pixels;
// and the files those tools write in their less common variants read by us
// as they read them.
#include "convert/picture.h"
#include "support/fixtures.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using morvane::convert::loadPicture;
using morvane::convert::savePicture;

namespace {

// The plain `convert` on PATH may be another program: name the tools fully.
const QString IdentifyTool = u"/usr/bin/identify-im6.q16"_s;
const QString ConvertTool = u"/usr/bin/convert-im6.q16"_s;
const QString GmTool = u"/usr/bin/gm"_s;

// What program printed, or nothing when it failed; *ok says which.
QByteArray run(const QString &program, const QStringList &arguments, bool *ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool succeeded = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
                           && process.exitCode() == 0;
    if (ok)
        *ok = succeeded;
    return succeeded ? process.readAllStandardOutput() : QByteArray();
}

bool runs(const QString &program, const QStringList &arguments)
{
    bool ok = false;
    run(program, arguments, &ok);
    return ok;
}

// The picture in file as the tool decodes it, through raw 8-bit RGB.
QImage decodedBy(const QString &program, const QStringList &prefix, const QString &file, QSize size)
{
    const QByteArray rgb = run(program, prefix + QStringList{file + u"[0]"_s, u"-depth"_s, u"8"_s, u"rgb:-"_s});
    if (rgb.size() != qsizetype(size.width()) * size.height() * 3)
        return {};
    QImage picture(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y)
        memcpy(picture.scanLine(y), rgb.constData() + qsizetype(y) * size.width() * 3, size_t(size.width()) * 3);
    return picture;
}

// The picture in file as ImageMagick decodes it, with its opacity, turned
// as the file says its rows and columns run.
QImage decodedWithAlpha(const QString &file, QSize size)
{
    const QByteArray rgba = run(ConvertTool, {file + u"[0]"_s, u"-auto-orient"_s, u"-depth"_s, u"8"_s, u"rgba:-"_s});
    if (rgba.size() != qsizetype(size.width()) * size.height() * 4)
        return {};
    QImage picture(size, QImage::Format_RGBA8888);
    for (int y = 0; y < size.height(); ++y)
        memcpy(picture.scanLine(y), rgba.constData() + qsizetype(y) * size.width() * 4, size_t(size.width()) * 4);
    return picture.convertToFormat(QImage::Format_ARGB32);
}

// The largest difference of any channel, opacity included, between two
// pictures of one size; colours under full transparency are not compared.
int largestDifference(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            int d = qAbs(qAlpha(p) - qAlpha(q));
            if (qAlpha(p) != 0 || qAlpha(q) != 0)
                d = qMax(d, qMax(qAbs(qRed(p) - qRed(q)), qMax(qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q)))));
            largest = qMax(largest, d);
        }
    }
    return largest;
}

} // namespace

class TestPictureExternal : public QObject {
    Q_OBJECT

private slots:
    void openedByOtherTools_data();
    void openedByOtherTools();
    void variantsOfOtherTools_data();
    void variantsOfOtherTools();
    void profilesOfOtherTools_data();
    void profilesOfOtherTools();

private:
    QTemporaryDir m_dir;
};

void TestPictureExternal::openedByOtherTools_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("minPsnr"); // against our own reading of the file

    for (const QString &tool : {u"ImageMagick"_s, u"GraphicsMagick"_s}) {
        // ImageMagick names a BMP with the 40-byte info header "BMP3".
        const QString bmp = tool == u"ImageMagick" ? u"BMP3"_s : u"BMP"_s;
        QTest::addRow("%s bmp", qPrintable(tool)) << tool << u"bmp"_s << bmp << 99.0;
        QTest::addRow("%s gif", qPrintable(tool)) << tool << u"gif"_s << u"GIF"_s << 99.0;
        QTest::addRow("%s jpg", qPrintable(tool)) << tool << u"jpg"_s << u"JPEG"_s << 45.0;
        QTest::addRow("%s png", qPrintable(tool)) << tool << u"png"_s << u"PNG"_s << 99.0;
        QTest::addRow("%s tif", qPrintable(tool)) << tool << u"tif"_s << u"TIFF"_s << 99.0;
        QTest::addRow("%s tga", qPrintable(tool)) << tool << u"tga"_s << u"TGA"_s << 99.0;
    }
    QTest::newRow("ImageMagick webp") << u"ImageMagick"_s << u"webp"_s << u"WEBP"_s << 45.0;
    QTest::newRow("ImageMagick dds") << u"ImageMagick"_s << u"dds"_s << u"DDS"_s << 99.0;
}

void TestPictureExternal::openedByOtherTools()
{
    QFETCH(QString, tool);
    QFETCH(QString, extension);
    QFETCH(QString, format);
    QFETCH(double, minPsnr);

    const bool magick = tool == u"ImageMagick";
    if (!QFileInfo::exists(magick ? IdentifyTool : GmTool))
        QSKIP("tool not installed");
    const QStringList identify = magick ? QStringList{} : QStringList{u"identify"_s};
    const QStringList convert = magick ? QStringList{} : QStringList{u"convert"_s};

    const QImage picture = fixtures::photoLike(61, 37, 8);
    const QString path = m_dir.filePath(u"external."_s + extension);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QImage ours = loadPicture(path, &error);
    QVERIFY2(!ours.isNull(), qPrintable(error));

    const QByteArray described = run(magick ? IdentifyTool : GmTool, identify + QStringList{u"-format"_s, u"%m %w %h\n"_s, path});
    QCOMPARE(QString::fromLatin1(described).trimmed(), format + u" 61 37"_s);
    const QImage theirs = decodedBy(magick ? ConvertTool : GmTool, convert, path, picture.size());
    QVERIFY2(!theirs.isNull(), "the tool could not decode the file");
    const double agreement = fixtures::psnr(theirs, ours);
    QVERIFY2(agreement >= minPsnr, qPrintable(QString::number(agreement)));
}

// BMP, TGA and DDS files ImageMagick and GraphicsMagick write from a picture
// with varying opacity, read as ImageMagick reads them. tolerance:
// ImageMagick widens 5- and 6-bit channels by repeating their bits, one
// level off the exact scaling at most.
void TestPictureExternal::variantsOfOtherTools_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments"); // before the output name
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("tolerance");

    const QString im = u"ImageMagick"_s, gm = u"GraphicsMagick"_s;
    const QStringList opaque = {u"-alpha"_s, u"off"_s};
    QTest::newRow("IM 40-byte header") << im << opaque << u"BMP3:%1.bmp"_s << 0;
    QTest::newRow("IM core header") << im << opaque << u"BMP2:%1.bmp"_s << 0;
    QTest::newRow("IM V5 header") << im << opaque << u"BMP:%1.bmp"_s << 0;
    QTest::newRow("IM V5 with alpha") << im << QStringList{} << u"BMP:%1.bmp"_s << 0;
    QTest::newRow("IM RLE8") << im << opaque + QStringList{u"-colors"_s, u"200"_s, u"-compress"_s, u"RLE"_s}
                             << u"BMP3:%1.bmp"_s << 0;
    QTest::newRow("IM 4 colours") << im << opaque + QStringList{u"-colors"_s, u"4"_s} << u"BMP3:%1.bmp"_s << 0;
    QTest::newRow("IM 1 bit") << im << opaque + QStringList{u"-monochrome"_s} << u"BMP3:%1.bmp"_s << 0;
    QTest::newRow("IM 5-6-5") << im << opaque + QStringList{u"-define"_s, u"bmp:subtype=RGB565"_s}
                              << u"BMP:%1.bmp"_s << 1;
    QTest::newRow("IM 5-5-5") << im << opaque + QStringList{u"-define"_s, u"bmp:subtype=RGB555"_s}
                              << u"BMP:%1.bmp"_s << 1;
    QTest::newRow("GM V4 header") << gm << QStringList{u"+matte"_s} << u"BMP:%1.bmp"_s << 0;
    QTest::newRow("GM V4 with alpha") << gm << QStringList{} << u"BMP:%1.bmp"_s << 0;
    QTest::newRow("GM 16 colours") << gm << QStringList{u"+matte"_s, u"-colors"_s, u"16"_s} << u"BMP:%1.bmp"_s << 0;
    QTest::newRow("GM RLE8") << gm << QStringList{u"+matte"_s, u"-colors"_s, u"200"_s, u"-compress"_s, u"RLE"_s}
                             << u"BMP:%1.bmp"_s << 0;
    QTest::newRow("GM core header") << gm << QStringList{u"+matte"_s} << u"BMP2:%1.bmp"_s << 0;

    // Neither writes the footer. ImageMagick stores its rows top first but
    // marks them bottom first; the mark is what counts.
    const QStringList rle = {u"-compress"_s, u"RLE"_s};
    QTest::newRow("IM TGA 24-bit") << im << opaque << u"%1.tga"_s << 0;
    QTest::newRow("IM TGA 32-bit RLE") << im << rle << u"%1.tga"_s << 0;
    QTest::newRow("IM TGA top-left origin") << im << opaque + QStringList{u"-orient"_s, u"TopLeft"_s}
                                            << u"%1.tga"_s << 0;
    QTest::newRow("IM TGA grey RLE") << im << opaque + rle + QStringList{u"-colorspace"_s, u"gray"_s}
                                     << u"%1.tga"_s << 0;
    QTest::newRow("IM TGA colour map RLE") << im << opaque + rle + QStringList{u"-type"_s, u"palette"_s}
                                           << u"%1.tga"_s << 0;
    QTest::newRow("IM TGA 16-bit with alpha") << im << QStringList{u"-depth"_s, u"5"_s} << u"%1.tga"_s << 1;
    QTest::newRow("GM TGA 24-bit") << gm << QStringList{u"+matte"_s} << u"%1.tga"_s << 0;
    QTest::newRow("GM TGA grey") << gm << QStringList{u"+matte"_s, u"-type"_s, u"grayscale"_s} << u"%1.tga"_s << 0;
    QTest::newRow("GM TGA colour map") << gm << QStringList{u"+matte"_s, u"-type"_s, u"palette"_s} << u"%1.tga"_s << 0;

    const auto dds = [](const char *compression) {
        return QStringList{u"-define"_s, u"dds:compression="_s + QLatin1StringView(compression)};
    };
    QTest::newRow("IM DDS DXT1") << im << opaque + dds("dxt1") << u"%1.dds"_s << 0;
    QTest::newRow("IM DDS DXT3") << im << dds("dxt3") << u"%1.dds"_s << 0;
    QTest::newRow("IM DDS DXT5") << im << dds("dxt5") << u"%1.dds"_s << 0;
    QTest::newRow("IM DDS 32-bit") << im << dds("none") << u"%1.dds"_s << 0;
    QTest::newRow("IM DDS 24-bit") << im << opaque + dds("none") << u"%1.dds"_s << 0;
}

void TestPictureExternal::variantsOfOtherTools()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(QString, output);
    QFETCH(int, tolerance);
    if (!QFileInfo::exists(ConvertTool) || !QFileInfo::exists(GmTool))
        QSKIP("tools not installed");

    QImage source = fixtures::photoLike(37, 23, 5).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, (source.pixel(x, y) & 0xFFFFFF) | uint(x * 255 / 36) << 24);
    const QString png = m_dir.filePath(u"source.png"_s);
    QVERIFY(source.save(png));
    const QString base = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
    const QString file = base + output.sliced(output.lastIndexOf(u'.'));
    const QStringList prefix = tool == u"ImageMagick" ? QStringList{} : QStringList{u"convert"_s};
    QVERIFY(runs(tool == u"ImageMagick" ? ConvertTool : GmTool, prefix + QStringList{png} + arguments + QStringList{output.arg(base)}));

    QString error;
    const QImage ours = loadPicture(file, &error);
    QVERIFY2(!ours.isNull(), qPrintable(error));
    const QImage theirs = decodedWithAlpha(file, source.size());
    QVERIFY2(!theirs.isNull(), "ImageMagick could not decode the file");
    const int difference = largestDifference(ours.convertToFormat(QImage::Format_ARGB32), theirs);
    QVERIFY2(difference <= tolerance, qPrintable(QString::number(difference)));
}

// A JPEG and a PNG that ImageMagick wrote with an embedded Adobe RGB
// profile: our BMP copy (BMP holds no profile) has the colours ImageMagick
// gives when it converts the same file to sRGB.
void TestPictureExternal::profilesOfOtherTools_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<double>("minPsnr");
    QTest::newRow("jpg") << u"jpg"_s << 40.0;
    QTest::newRow("png") << u"png"_s << 40.0;
}

void TestPictureExternal::profilesOfOtherTools()
{
    QFETCH(QString, extension);
    QFETCH(double, minPsnr);
    if (!QFileInfo::exists(ConvertTool))
        QSKIP("ImageMagick not installed");
    const QString adobe = m_dir.filePath(u"adobe.icc"_s), srgb = m_dir.filePath(u"srgb.icc"_s);
    QVERIFY(fixtures::writeFile(adobe, QColorSpace(QColorSpace::AdobeRgb).iccProfile()));
    QVERIFY(fixtures::writeFile(srgb, QColorSpace(QColorSpace::SRgb).iccProfile()));
    const QString png = m_dir.filePath(u"plain.png"_s);
    QVERIFY(fixtures::photoLike(48, 32, 3).save(png));
    const QString tagged = m_dir.filePath(u"tagged."_s + extension);
    QVERIFY(runs(ConvertTool, {png, u"-profile"_s, adobe, u"-quality"_s, u"95"_s, tagged}));
    const QString theirs = m_dir.filePath(u"theirs-"_s + extension + u".png"_s);
    QVERIFY(runs(ConvertTool, {tagged, u"-profile"_s, srgb, u"-strip"_s, theirs}));

    QString error;
    const QImage loaded = loadPicture(tagged, &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QCOMPARE(loaded.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));
    const QString ours = m_dir.filePath(u"ours-"_s + extension + u".bmp"_s);
    QVERIFY2(savePicture(loaded, ours, &error), qPrintable(error));
    const QImage converted = loadPicture(ours, &error);
    const QImage reference = loadPicture(theirs, &error);
    const double agreement = fixtures::psnr(converted, reference);
    QVERIFY2(agreement >= minPsnr, qPrintable(QString::number(agreement)));
    // Left unconverted, the copy would be far off.
    QVERIFY(fixtures::psnr(loaded, reference) < agreement - 6);
}

QTEST_GUILESS_MAIN(TestPictureExternal)
#include "tst_picture_external.moc"
