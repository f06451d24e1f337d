// The writer's files opened by other programs: libwmf's wmf2gd,
// ImageMagick and LibreOffice each draw them as they should look.
#include "convert/wmf/wmf.h"
#include "support/fixtures.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr QRgb Quadrant[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};

// Four coloured quadrants, of an odd size so that rows need padding.
QImage quadrants()
{
    QImage image(65, 47, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, 33, 24, QColor(Quadrant[0]));
    p.fillRect(33, 0, 32, 24, QColor(Quadrant[1]));
    p.fillRect(0, 24, 33, 23, QColor(Quadrant[2]));
    p.fillRect(33, 24, 32, 23, QColor(Quadrant[3]));
    return image;
}

// The box around the pixels that are not white: the picture, wherever the
// program put it on its page.
QRect drawn(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                box |= QRect(x, y, 1, 1);
    return box;
}

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) < 48 && qAbs(qGreen(a) - qGreen(b)) < 48 && qAbs(qBlue(a) - qBlue(b)) < 48;
}

} // namespace

class TestWmfExternal : public QObject
{
    Q_OBJECT

private slots:
    void opens_data();
    void opens();
};

void TestWmfExternal::opens_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments"); // %in, %out, %dir are replaced
    QTest::addColumn<QString>("output");
    QTest::newRow("libwmf wmf2gd") << QStringLiteral("wmf2gd")
                                   << QStringList{QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("-o"),
                                                  QStringLiteral("%out"), QStringLiteral("%in")}
                                   << QStringLiteral("out.png");
    // Called by its full name: plain convert may be another program.
    QTest::newRow("ImageMagick") << QStringLiteral("/usr/bin/convert-im6.q16")
                                 << QStringList{QStringLiteral("%in"), QStringLiteral("%out")} << QStringLiteral("out.png");
    QTest::newRow("LibreOffice") << QStringLiteral("soffice")
                                 << QStringList{QStringLiteral("-env:UserInstallation=file://%dir/profile"),
                                                QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                                                QStringLiteral("png"), QStringLiteral("--outdir"), QStringLiteral("%dir"),
                                                QStringLiteral("%in")}
                                 << QStringLiteral("picture.png");
}

void TestWmfExternal::opens()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, output);
    const QString executable = QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        QSKIP("the program is not installed (scripts/install-deps.sh test installs it)");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString in = dir.filePath(QStringLiteral("picture.wmf"));
    const QString out = dir.filePath(output);
    const auto encoded = morvane::wmf::encodeWmf(quadrants());
    QVERIFY2(encoded.error.isEmpty(), qPrintable(encoded.error));
    QVERIFY(fixtures::writeFile(in, encoded.bytes));

    for (QString &a : arguments)
        a.replace(QLatin1StringView("%in"), in).replace(QLatin1StringView("%out"), out).replace(QLatin1StringView("%dir"), dir.path());
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(executable, arguments);
    QVERIFY2(process.waitForFinished(120000), "the program did not finish in two minutes");
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, process.readAll().constData());

    const QImage image(out);
    QVERIFY2(!image.isNull(), qPrintable(QStringLiteral("no picture at ") + out));
    const QRect box = drawn(image);
    QVERIFY(box.width() >= 20 && box.height() >= 14);
    const double aspect = double(box.width()) / box.height();
    QVERIFY2(qAbs(aspect - 65.0 / 47.0) < 0.1, qPrintable(QString::number(aspect)));
    // The middle of each quadrant, left to right, top to bottom.
    for (int q = 0; q < 4; ++q) {
        const QPoint at(box.left() + box.width() * (q % 2 ? 3 : 1) / 4, box.top() + box.height() * (q / 2 ? 3 : 1) / 4);
        QVERIFY2(near(image.pixel(at), Quadrant[q]),
                 qPrintable(QStringLiteral("quadrant %1: %2").arg(q).arg(image.pixel(at), 8, 16, QLatin1Char('0'))));
    }
}

QTEST_MAIN(TestWmfExternal)
#include "tst_wmfexternal.moc"
