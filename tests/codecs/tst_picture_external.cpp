// Our writers' files opened by independent tools: ImageMagick and
// GraphicsMagick must name the format and size, and decode the same pixels.
#include "convert/picture.h"
#include "support/fixtures.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using morvane::convert::loadPicture;
using morvane::convert::savePicture;

namespace {

// The plain `convert` on PATH may be another program: name the tools fully.
const QString kIdentify = u"/usr/bin/identify-im6.q16"_s;
const QString kConvert = u"/usr/bin/convert-im6.q16"_s;
const QString kGm = u"/usr/bin/gm"_s;

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
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

} // namespace

class PictureExternalTest : public QObject {
    Q_OBJECT

private slots:
    void openedByOtherTools_data();
    void openedByOtherTools();

private:
    QTemporaryDir m_dir;
};

void PictureExternalTest::openedByOtherTools_data()
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
    }
    QTest::newRow("ImageMagick webp") << u"ImageMagick"_s << u"webp"_s << u"WEBP"_s << 45.0;
}

void PictureExternalTest::openedByOtherTools()
{
    QFETCH(QString, tool);
    QFETCH(QString, extension);
    QFETCH(QString, format);
    QFETCH(double, minPsnr);

    const bool magick = tool == u"ImageMagick";
    if (!QFileInfo::exists(magick ? kIdentify : kGm))
        QSKIP("tool not installed");
    const QStringList identify = magick ? QStringList{} : QStringList{u"identify"_s};
    const QStringList convert = magick ? QStringList{} : QStringList{u"convert"_s};

    const QImage picture = fixtures::photoLike(61, 37, 8);
    const QString path = m_dir.filePath(u"external."_s + extension);
    QString error;
    QVERIFY2(savePicture(picture, path, &error), qPrintable(error));
    const QImage ours = loadPicture(path, &error);
    QVERIFY2(!ours.isNull(), qPrintable(error));

    const QByteArray described = run(magick ? kIdentify : kGm, identify + QStringList{u"-format"_s, u"%m %w %h\n"_s, path});
    QCOMPARE(QString::fromLatin1(described).trimmed(), format + u" 61 37"_s);
    const QImage theirs = decodedBy(magick ? kConvert : kGm, convert, path, picture.size());
    QVERIFY2(!theirs.isNull(), "the tool could not decode the file");
    const double agreement = fixtures::psnr(theirs, ours);
    QVERIFY2(agreement >= minPsnr, qPrintable(QString::number(agreement)));
}

QTEST_GUILESS_MAIN(PictureExternalTest)
#include "tst_picture_external.moc"
