// The metafile player on a corpus: each file in corpus/, good or damaged,
// drawn at the size and with the pixels that corpus/manifest.tsv gives it, or
// refused with its message; and every cut-short file that loads, refused.
#include "convert/wmf/textcodec.h"
#include "convert/wmf/wmf.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

using namespace morvane::wmf;
using namespace Qt::StringLiterals;

namespace {

// The pixels of a and b, of the same size, whose red, green or blue are more than 64 apart.
int pixelsOff(const QImage &a, const QImage &b)
{
    int off = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            off += qAbs(qRed(p) - qRed(q)) > 64 || qAbs(qGreen(p) - qGreen(q)) > 64 || qAbs(qBlue(p) - qBlue(q)) > 64;
        }
    }
    return off;
}

} // namespace

class TestWmfPlayer : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
    void refusesLargePictures();
    void textCodes();

private:
    const QString m_corpus = QFINDTESTDATA("corpus");
};

void TestWmfPlayer::corpus_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("outcome"); // the size, or the message
    QTest::addColumn<QStringList>("expected");
    QFile manifest(m_corpus + u"/manifest.tsv"_s);
    QVERIFY(manifest.open(QIODevice::ReadOnly | QIODevice::Text));
    while (!manifest.atEnd()) {
        const QStringList fields = QString::fromUtf8(manifest.readLine()).trimmed().split(u'\t');
        if (fields[0].isEmpty() || fields[0].startsWith(u'#'))
            continue;
        QFile file(m_corpus + u'/' + fields[0]);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(fields[0]));
        const QByteArray data = file.readAll();
        QTest::newRow(qPrintable(fields[0])) << (fields[0].endsWith(u".qz") ? qUncompress(data) : data) << fields.value(1)
                                             << fields.mid(2).join(u' ').split(u' ', Qt::SkipEmptyParts);
    }
}

void TestWmfPlayer::corpus()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, outcome);
    QFETCH(QStringList, expected);
    QCOMPARE(isWmf(data), outcome != u"not a Windows metafile");
    const RenderResult result = renderWmf(data);
    QVERIFY2(result.image.isNull() != result.error.isEmpty(), qPrintable(result.error));
    static const QRegularExpression size(u"^(\\d+)x(\\d+)$"_s), pixel(u"^(\\d+),(\\d+)=([0-9a-f]{6})$"_s),
        reference(u"^(.+\\.png)~(\\d+)$"_s);
    const auto wh = size.match(outcome);
    if (!wh.hasMatch()) {
        QCOMPARE(result.error, outcome);
        return;
    }
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.image.size(), QSize(wh.captured(1).toInt(), wh.captured(2).toInt()));
    for (const QString &item : expected) {
        if (const auto m = pixel.match(item); m.hasMatch()) {
            const QRgb got = result.image.pixel(m.captured(1).toInt(), m.captured(2).toInt());
            QVERIFY2(got == (m.captured(3).toUInt(nullptr, 16) | 0xFF000000),
                     qPrintable(QStringLiteral("%1, not %2").arg(got & 0xFFFFFF, 6, 16, QLatin1Char('0')).arg(item)));
        } else if (const auto r = reference.match(item); r.hasMatch()) {
            const QImage picture(m_corpus + u'/' + r.captured(1));
            QCOMPARE(picture.size(), result.image.size());
            const int off = pixelsOff(result.image, picture);
            QVERIFY2(off <= r.captured(2).toInt(), qPrintable(QStringLiteral("%1 pixels off %2").arg(off).arg(item)));
        } else {
            QCOMPARE(item, u"blank"_s);
            QImage white(result.image.size(), result.image.format());
            white.fill(Qt::white);
            QCOMPARE(result.image, white);
        }
    }
    // Every proper prefix of a file that loads (but the large ones) is a
    // truncated file: the header's size, or a record running past the end, tells.
    for (qsizetype length = 0; length < data.size() && data.size() < 0x10000; ++length) {
        const RenderResult cut = renderWmf(data.first(length));
        QVERIFY2(cut.image.isNull() && !cut.error.isEmpty(), qPrintable(QStringLiteral("%1 bytes").arg(length)));
    }
}

// Over the side or byte limit, the size is refused before anything is drawn;
// as large as the limits, it is drawn.
void TestWmfPlayer::refusesLargePictures()
{
    QFile file(m_corpus + u"/size-placeable-96.wmf"_s); // 120 x 80, 38400 bytes
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QCOMPARE(renderWmf(data, {119, 38400}).error, u"image too large (120 x 80)"_s);
    QCOMPARE(renderWmf(data, {120, 38399}).error, u"image too large (120 x 80)"_s);
    QVERIFY(!renderWmf(data, {120, 38400}).image.isNull());
}

// Western text in Windows-1252, the Symbol font's letters as Greek and operators.
void TestWmfPlayer::textCodes()
{
    QCOMPARE(decodeText("A\x80\x93\x94", false), QStringLiteral(u"A\u20AC\u201C\u201D"));
    QCOMPARE(decodeText("abgDW", true), QStringLiteral(u"\u03B1\u03B2\u03B3\u0394\u03A9"));
    QCOMPARE(decodeText("\xB4\xB9\xA3\xD6", true), QStringLiteral(u"\u00D7\u2260\u2264\u221A"));
}

QTEST_MAIN(TestWmfPlayer)
#include "tst_wmfplayer.moc"
