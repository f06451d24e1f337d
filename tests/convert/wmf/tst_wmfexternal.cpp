// The writer's files opened by other programs: libwmf's wmf2gd, ImageMagick
// and LibreOffice each draw them as they should look.
#include "convert/wmf/wmf.h"
#include "support/fixtures.h"

#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestWmfExternal : public QObject
{
    Q_OBJECT

private slots:
    void opens_data();
    void opens();
};

void TestWmfExternal::opens_data()
{
    QTest::addColumn<QString>("command"); // %in, %out and %dir are replaced
    QTest::addColumn<QString>("output");
    QTest::newRow("libwmf wmf2gd") << QStringLiteral("wmf2gd -t png -o %out %in") << QStringLiteral("out.png");
    // Called by its full name: plain convert may be another program.
    QTest::newRow("ImageMagick") << QStringLiteral("/usr/bin/convert-im6.q16 %in %out") << QStringLiteral("out.png");
    QTest::newRow("LibreOffice") << QStringLiteral("soffice -env:UserInstallation=file://%dir/profile --headless "
                                                   "--convert-to png --outdir %dir %in")
                                 << QStringLiteral("picture.png");
}

// Four coloured quadrants, of an odd size so that rows need padding, found
// in the middle of each quarter of the box around what is not white: the
// picture, wherever the program put it on its page.
void TestWmfExternal::opens()
{
    QFETCH(QString, command);
    QFETCH(QString, output);
    QStringList arguments = QProcess::splitCommand(command);
    const QString executable = QStandardPaths::findExecutable(arguments.takeFirst());
    if (executable.isEmpty())
        QSKIP("the program is not installed (scripts/install-deps.sh test installs it)");
    constexpr QRgb Quadrant[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    QImage picture(65, 47, QImage::Format_RGB32);
    QPainter painter(&picture);
    for (int q = 0; q < 4; ++q)
        painter.fillRect(q % 2 ? 33 : 0, q / 2 ? 24 : 0, q % 2 ? 32 : 33, q / 2 ? 23 : 24, QColor(Quadrant[q]));
    painter.end();
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("picture.wmf")), out = dir.filePath(output);
    const auto encoded = morvane::wmf::encodeWmf(picture);
    QVERIFY2(encoded.error.isEmpty(), qPrintable(encoded.error));
    QVERIFY(fixtures::writeFile(in, encoded.bytes));
    for (QString &a : arguments)
        a.replace(u"%in"_s, in).replace(u"%out"_s, out).replace(u"%dir"_s, dir.path());

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(executable, arguments);
    QVERIFY2(process.waitForFinished(120000), "the program did not finish in two minutes");
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, process.readAll().constData());
    const QImage image(out);
    QVERIFY2(!image.isNull(), qPrintable(QStringLiteral("no picture at ") + out));
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                box |= QRect(x, y, 1, 1);
    QVERIFY(box.width() >= 20 && box.height() >= 14);
    QVERIFY2(qAbs(double(box.width()) / box.height() - 65.0 / 47.0) < 0.1, qPrintable(QString::number(box.width())));
    for (int q = 0; q < 4; ++q) {
        const QRgb got =
            image.pixel(box.left() + box.width() * (q % 2 ? 3 : 1) / 4, box.top() + box.height() * (q / 2 ? 3 : 1) / 4);
        const bool near = qAbs(qRed(got) - qRed(Quadrant[q])) < 48 && qAbs(qGreen(got) - qGreen(Quadrant[q])) < 48
                          && qAbs(qBlue(got) - qBlue(Quadrant[q])) < 48;
        QVERIFY2(near, qPrintable(QStringLiteral("quadrant %1: %2").arg(q).arg(got, 8, 16, QLatin1Char('0'))));
    }
}

QTEST_MAIN(TestWmfExternal)
#include "tst_wmfexternal.moc"
