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

#include <algorithm>

using namespace Qt::StringLiterals;
using morvane::convert::loadPicture;
using morvane::convert::savePicture;

namespace {

// The plain `convert` on PATH may be another program: name the tools fully.
const QString Identify = u"/usr/bin/identify"_s;
const QString Convert = u"/usr/bin/convert"_s;
const QString Gm = u"/usr/bin/gm"_s;

// What the tool printed, or nothing when it failed.
QByteArray run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    const bool succeeded = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
                           && process.exitCode() == 0;
    return succeeded ? process.readAllStandardOutput() : QByteArray();
}

// A command's arguments for tool: GraphicsMagick's start with its name.
QStringList command(const QString &tool, const QString &name, const QStringList &arguments)
{
    return (tool == Gm ? QStringList{name} : QStringList{}) + arguments;
}

QStringList words(const QString &text)
{
    return text.split(u' ', Qt::SkipEmptyParts);
}

// The picture in file as the tool decodes it at 8 bits a channel, RGB or,
// with alpha, RGBA turned as the file says its rows and columns run.
QImage decodedBy(const QString &tool, const QString &file, QSize size, bool alpha)
{
    const QString raw = alpha ? u"-auto-orient -depth 8 rgba:-"_s : u"-depth 8 rgb:-"_s;
    const QByteArray bytes = run(tool, command(tool, u"convert"_s, QStringList{file + u"[0]"_s} + words(raw)));
    const int channels = alpha ? 4 : 3;
    if (bytes.size() != qsizetype(size.width()) * size.height() * channels)
        return {};
    QImage picture(size, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y)
        memcpy(picture.scanLine(y), bytes.constData() + qsizetype(y) * size.width() * channels,
               size_t(size.width()) * channels);
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
                d = std::max({d, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q))});
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
    void runLengthPacketsOpenedByOtherTools_data();
    void runLengthPacketsOpenedByOtherTools();
    void variantsOfOtherTools_data();
    void variantsOfOtherTools();
    void profilesOfOtherTools_data();
    void profilesOfOtherTools();
    void mipmapsAsImageMagickShrinks_data();
    void mipmapsAsImageMagickShrinks();

private:
    QTemporaryDir m_dir;
};

void TestPictureExternal::openedByOtherTools_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("minPsnr"); // against our own reading of the file

    for (const QString &tool : {Convert, Gm}) {
        const QString name = tool == Gm ? u"GraphicsMagick"_s : u"ImageMagick"_s;
        // ImageMagick names a BMP with the 40-byte info header "BMP3".
        const std::tuple<QString, QString, double> rows[] = {
            {u"bmp"_s, tool == Gm ? u"BMP"_s : u"BMP3"_s, 99}, {u"gif"_s, u"GIF"_s, 99}, {u"jpg"_s, u"JPEG"_s, 45},
            {u"png"_s, u"PNG"_s, 99}, {u"tif"_s, u"TIFF"_s, 99}, {u"tga"_s, u"TGA"_s, 99},
            {u"webp"_s, u"WEBP"_s, 45}, {u"dds"_s, u"DDS"_s, 99}};
        for (const auto &[extension, format, minPsnr] : rows) {
            if (tool == Convert || (extension != u"webp" && extension != u"dds"))
                QTest::addRow("%s %s", qPrintable(name), qPrintable(extension)) << tool << extension << format << minPsnr;
        }
    }
}

void TestPictureExternal::openedByOtherTools()
{
    QFETCH(QString, tool);
    QFETCH(QString, extension);
    QFETCH(QString, format);
    QFETCH(double, minPsnr);
    if (!QFileInfo::exists(tool))
        QSKIP("tool not installed");

    const QImage picture = fixtures::photoLike(61, 37, 8);
    const QString path = m_dir.filePath(u"external."_s + extension);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QImage ours = loadPicture(path, &error);
    QVERIFY2(!ours.isNull(), qPrintable(error));

    const QByteArray described = run(tool == Gm ? Gm : Identify, command(tool, u"identify"_s, {u"-format"_s, u"%m %w %h\n"_s, path}));
    QCOMPARE(QString::fromLatin1(described).trimmed(), format + u" 61 37"_s);
    const QImage theirs = decodedBy(tool, path, picture.size(), false);
    QVERIFY2(!theirs.isNull(), "the tool could not decode the file");
    QVERIFY2(fixtures::psnr(theirs, ours) >= minPsnr, qPrintable(QString::number(fixtures::psnr(theirs, ours))));
}

// BMP, TGA and DDS files ImageMagick and GraphicsMagick write from a picture
// with varying opacity, read as ImageMagick reads them. tolerance:
// ImageMagick widens 5- and 6-bit channels by repeating their bits, one
// level off the exact scaling at most. Neither writes the TGA footer.
// ImageMagick stores its TGA rows top first but marks them bottom first;
// the mark is what counts.
void TestPictureExternal::variantsOfOtherTools_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("options"); // before the output name
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("tolerance");

    const auto row = [](const char *name, const QString &tool, const char *options, const char *output, int tolerance = 0) {
        QTest::newRow(name) << tool << QString::fromLatin1(options) << QString::fromLatin1(output) << tolerance;
    };
    row("IM 40-byte header", Convert, "-alpha off", "BMP3:%1.bmp");
    row("IM core header", Convert, "-alpha off", "BMP2:%1.bmp");
    row("IM V5 header", Convert, "-alpha off", "BMP:%1.bmp");
    row("IM V5 with alpha", Convert, "", "BMP:%1.bmp");
    row("IM RLE8", Convert, "-alpha off -colors 200 -compress RLE", "BMP3:%1.bmp");
    row("IM 4 colours", Convert, "-alpha off -colors 4", "BMP3:%1.bmp");
    row("IM 1 bit", Convert, "-alpha off -monochrome", "BMP3:%1.bmp");
    row("IM 5-6-5", Convert, "-alpha off -define bmp:subtype=RGB565", "BMP:%1.bmp", 1);
    row("IM 5-5-5", Convert, "-alpha off -define bmp:subtype=RGB555", "BMP:%1.bmp", 1);
    row("GM V4 header", Gm, "+matte", "BMP:%1.bmp");
    row("GM V4 with alpha", Gm, "", "BMP:%1.bmp");
    row("GM 16 colours", Gm, "+matte -colors 16", "BMP:%1.bmp");
    row("GM RLE8", Gm, "+matte -colors 200 -compress RLE", "BMP:%1.bmp");
    row("GM core header", Gm, "+matte", "BMP2:%1.bmp");
    row("IM TGA 24-bit", Convert, "-alpha off", "%1.tga");
    row("IM TGA 32-bit RLE", Convert, "-compress RLE", "%1.tga");
    row("IM TGA top-left origin", Convert, "-alpha off -orient TopLeft", "%1.tga");
    row("IM TGA grey RLE", Convert, "-alpha off -compress RLE -colorspace gray", "%1.tga");
    row("IM TGA colour map RLE", Convert, "-alpha off -compress RLE -type palette", "%1.tga");
    row("IM TGA 16-bit with alpha", Convert, "-depth 5", "%1.tga", 1);
    row("GM TGA 24-bit", Gm, "+matte", "%1.tga");
    row("GM TGA grey", Gm, "+matte -type grayscale", "%1.tga");
    row("GM TGA colour map", Gm, "+matte -type palette", "%1.tga");
    row("IM DDS DXT1", Convert, "-alpha off -define dds:compression=dxt1", "%1.dds");
    row("IM DDS DXT5", Convert, "-define dds:compression=dxt5", "%1.dds");
    row("IM DDS 32-bit", Convert, "-define dds:compression=none", "%1.dds");
    row("IM DDS 24-bit", Convert, "-alpha off -define dds:compression=none", "%1.dds");
}

void TestPictureExternal::variantsOfOtherTools()
{
    QFETCH(QString, tool);
    QFETCH(QString, options);
    QFETCH(QString, output);
    QFETCH(int, tolerance);
    if (!QFileInfo::exists(Convert) || !QFileInfo::exists(Gm))
        QSKIP("tools not installed");

    QImage source = fixtures::photoLike(37, 23, 5).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, (source.pixel(x, y) & 0xFFFFFF) | uint(x * 255 / 36) << 24);
    const QString png = m_dir.filePath(u"source.png"_s);
    QVERIFY(source.save(png));
    const QString base = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
    const QString file = base + output.sliced(output.lastIndexOf(u'.'));
    run(tool, command(tool, u"convert"_s, QStringList{png} + words(options) + QStringList{output.arg(base)}));
    QVERIFY(QFileInfo::exists(file));

    QString error;
    const QImage ours = loadPicture(file, &error);
    QVERIFY2(!ours.isNull(), qPrintable(error));
    const QImage theirs = decodedBy(Convert, file, source.size(), true);
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
    QTest::newRow("jpg") << u"jpg"_s;
    QTest::newRow("png") << u"png"_s;
}

void TestPictureExternal::profilesOfOtherTools()
{
    QFETCH(QString, extension);
    if (!QFileInfo::exists(Convert))
        QSKIP("ImageMagick not installed");
    const QString adobe = m_dir.filePath(u"adobe.icc"_s), srgb = m_dir.filePath(u"srgb.icc"_s);
    QVERIFY(fixtures::writeFile(adobe, QColorSpace(QColorSpace::AdobeRgb).iccProfile()));
    QVERIFY(fixtures::writeFile(srgb, QColorSpace(QColorSpace::SRgb).iccProfile()));
    const QString png = m_dir.filePath(u"plain.png"_s), tagged = m_dir.filePath(u"tagged."_s + extension),
                  theirs = m_dir.filePath(u"theirs-"_s + extension + u".png"_s),
                  ours = m_dir.filePath(u"ours-"_s + extension + u".bmp"_s);
    QVERIFY(fixtures::photoLike(48, 32, 3).save(png));
    run(Convert, {png, u"-profile"_s, adobe, u"-quality"_s, u"95"_s, tagged});
    run(Convert, {tagged, u"-profile"_s, srgb, u"-strip"_s, theirs});
    QVERIFY(QFileInfo::exists(tagged) && QFileInfo::exists(theirs));

    QString error;
    const QImage loaded = loadPicture(tagged, &error);
    QVERIFY2(!loaded.isNull(), qPrintable(error));
    QCOMPARE(loaded.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));
    QVERIFY2(savePicture(loaded, ours, &error), qPrintable(error));
    const QImage reference = loadPicture(theirs, &error);
    const double agreement = fixtures::psnr(loadPicture(ours, &error), reference);
    QVERIFY2(agreement >= 40, qPrintable(QString::number(agreement)));
    // Left unconverted, the copy would be far off.
    QVERIFY(fixtures::psnr(loaded, reference) < agreement - 6);
}

// Pictures ImageMagick made, written by us as 32-bit DDS with mipmaps: each
// level halving both sides evenly is, within a step, what
// ImageMagick's box filter gives from the top level in linear light, its
// colours weighted by opacity. rose: is 70 x 46, halved evenly once.
void TestPictureExternal::mipmapsAsImageMagickShrinks_data()
{
    QTest::addColumn<QString>("made"); // ImageMagick's arguments before the output
    QTest::addColumn<int>("levels");   // the levels after the top one compared
    QTest::newRow("rose, opaque") << u"rose:"_s << 1;
    QTest::newRow("plasma, opaque") << u"-seed 4 -size 64x48 plasma:"_s << 3;
    QTest::newRow("plasma, opacity a gradient")
        << u"-seed 5 -size 64x48 plasma: ( -size 64x48 gradient:#fff-#111 ) -alpha off -compose CopyOpacity -composite"_s << 3;
    QTest::newRow("checks of clear white and opaque black")
        << u"-size 32x32 pattern:checkerboard -threshold 50% ( +clone -negate ) -alpha off -compose CopyOpacity -composite"_s << 2;
}

void TestPictureExternal::mipmapsAsImageMagickShrinks()
{
    QFETCH(QString, made);
    QFETCH(int, levels);
    if (!QFileInfo::exists(Convert))
        QSKIP("ImageMagick not installed");
    const QString source = m_dir.filePath(u"mip-source.png"_s), dds = m_dir.filePath(u"mip.dds"_s);
    run(Convert, words(made) + QStringList{u"-depth"_s, u"8"_s, u"PNG32:"_s + source});
    QString error;
    const QImage picture = loadPicture(source, &error);
    QVERIFY2(!picture.isNull(), qPrintable(error));
    morvane::formats::WriteOptions options;
    options.ddsKind = morvane::formats::WriteOptions::DdsKind::Bgra;
    QVERIFY2(savePicture(picture, dds, &error, options), qPrintable(error));
    const QByteArray bytes = fixtures::readFile(dds);

    qsizetype at = 128;
    QSize size = picture.size();
    for (int level = 0; level <= levels; ++level) {
        if (level > 0) {
            const QString reference = m_dir.filePath(u"mip-%1.png"_s.arg(level));
            run(Convert, {source, u"-colorspace"_s, u"RGB"_s, u"-filter"_s, u"Box"_s, u"-resize"_s,
                          u"%1x%2!"_s.arg(size.width()).arg(size.height()), u"-colorspace"_s, u"sRGB"_s,
                          u"-depth"_s, u"8"_s, u"PNG32:"_s + reference});
            const QImage theirs = loadPicture(reference, &error).convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(theirs.size(), size);
            QImage ours(size, QImage::Format_ARGB32);
            QVERIFY(bytes.size() >= at + size.width() * size.height() * 4);
            for (int y = 0; y < size.height(); ++y)
                memcpy(ours.scanLine(y), bytes.constData() + at + qsizetype(y) * size.width() * 4, size_t(size.width()) * 4);
            const int difference = largestDifference(ours, theirs);
            QVERIFY2(difference <= 1, qPrintable(u"level %1: %2"_s.arg(level).arg(difference)));
        }
        at += qsizetype(size.width()) * size.height() * 4;
        size = QSize(size.width() / 2, size.height() / 2);
    }
}

// TGA rows laid out so that every edge of the run-length packets is met:
// runs and raw stretches of 128 pixels (the most a packet holds) and one
// either side, a run that would go on into the next row, colours that differ
// in opacity alone. Each row is written as words: rN, N pixels of one new
// colour; dN, N new colours; =N, N more of the colour before (the last of
// the row above at a row's start); aN, N pixels of one new colour at
// opacities of their own. bytes: the packets', with a run packet for every
// 2 to 128 equal pixels of a row and raw packets for the others.
void TestPictureExternal::runLengthPacketsOpenedByOtherTools_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("opacity");
    QTest::addColumn<int>("bytes");
    QTest::newRow("one pixel") << QStringList{u"d1"_s} << false << 4;
    QTest::newRow("runs of 128 to 130") << QStringList{u"r128 d2"_s, u"r129 d1"_s, u"r130"_s} << false << 11 + 11 + 8;
    QTest::newRow("raw stretches of 128 and 129") << QStringList{u"d129"_s, u"d127 r2"_s} << false << 389 + 386;
    QTest::newRow("raw, run, raw") << QStringList{u"d3 r2 d1"_s} << false << 10 + 4 + 4;
    QTest::newRow("a run ends with its row") << QStringList{u"r5"_s, u"=5"_s} << false << 4 + 4;
    QTest::newRow("two alike at the end of a row") << QStringList{u"d4 r2"_s} << false << 13 + 4;
    QTest::newRow("one alike at the start of the next") << QStringList{u"d2"_s, u"=1 d1"_s} << false << 7 + 7;
    QTest::newRow("with opacity, 130 a row") << QStringList{u"r129 a1"_s, u"a2 d128"_s} << true << 14 + 522;
    QTest::newRow("opacity alone differs") << QStringList{u"a3 r2"_s} << true << 13 + 5;
}

void TestPictureExternal::runLengthPacketsOpenedByOtherTools()
{
    QFETCH(QStringList, rows);
    QFETCH(bool, opacity);
    QFETCH(int, bytes);
    if (!QFileInfo::exists(Convert) || !QFileInfo::exists(Gm))
        QSKIP("tools not installed");

    std::vector<std::vector<QRgb>> lines;
    quint32 fresh = 0x102030;
    QRgb last = 0;
    for (const QString &row : std::as_const(rows)) {
        std::vector<QRgb> &line = lines.emplace_back();
        for (const QString &word : words(row)) {
            const int count = word.sliced(1).toInt();
            for (int i = 0; i < count; ++i) {
                const bool next = word[0] == u'd' || (i == 0 && word[0] != u'=');
                if (next)
                    fresh = fresh * 1103515245u + 12345u;
                last = word[0] == u'a' ? qRgba(qRed(fresh), qGreen(fresh), qBlue(fresh), 40 + 60 * i)
                       : next          ? (fresh & 0xffffff) | 0xff000000u
                                       : last;
                line.push_back(last);
            }
        }
        QCOMPARE(line.size(), lines.front().size());
    }
    QImage picture(int(lines.front().size()), int(lines.size()), opacity ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        std::copy(lines[size_t(y)].cbegin(), lines[size_t(y)].cend(), reinterpret_cast<QRgb *>(picture.scanLine(y)));

    const QString path = m_dir.filePath(u"packets.tga"_s);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    constexpr qint64 HeaderAndFooter = 18 + 26;
    QCOMPARE(QFileInfo(path).size() - HeaderAndFooter, qint64(bytes));
    const QImage expected = picture.convertToFormat(QImage::Format_ARGB32);
    for (const QString &tool : {Convert, Gm}) {
        const QImage theirs = decodedBy(tool, path, picture.size(), true);
        QVERIFY2(!theirs.isNull(), qPrintable(tool + u" could not decode the file"_s));
        QCOMPARE(largestDifference(theirs.convertToFormat(QImage::Format_ARGB32), expected), 0);
    }
    const QImage ours = loadPicture(path, &error);
    QVERIFY2(!ours.isNull(), qPrintable(error));
    QCOMPARE(largestDifference(ours.convertToFormat(QImage::Format_ARGB32), expected), 0);
}

QTEST_GUILESS_MAIN(TestPictureExternal)
#include "tst_picture_external.moc"
