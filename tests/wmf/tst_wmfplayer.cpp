// The metafile player: records drawn onto known pixels, picture sizes, and
// bitmaps of every depth.
#include "convert/wmf/textcodec.h"
#include "convert/wmf/wmf.h"
#include "wmfbuilder.h"

#include <QSet>
#include <QTest>

#include <utility>

using namespace wmftest;
using morvane::wmf::isWmf;
using morvane::wmf::RenderLimits;
using morvane::wmf::renderWmf;

namespace {

constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Black = 0xFF000000;
constexpr QRgb Red = 0xFFFF0000;
constexpr QRgb Green = 0xFF00FF00;
constexpr QRgb Blue = 0xFF0000FF;
constexpr QRgb Yellow = 0xFFFFFF00;

// A 100 x 100 picture whose window is the picture.
WmfBuilder canvas()
{
    return WmfBuilder::placeable(0, 0, 100, 100).windowOrg(0, 0).windowExt(100, 100);
}

// Creates a red brush, which takes the given slot, and selects it.
WmfBuilder redBrush(WmfBuilder b, int slot = 0)
{
    return std::move(b.brush(0, Red).select(slot));
}

// redBrush over a null pen in slot 0, so that shapes have no outline.
WmfBuilder redFill()
{
    return redBrush(canvas().nullPen().select(0), 1);
}

using Probes = std::initializer_list<std::pair<QPoint, QRgb>>;

void addRow(const char *name, const WmfBuilder &b, Probes probes)
{
    QList<QPoint> points;
    QList<QRgb> colours;
    for (const auto &[point, colour] : probes) {
        points.append(point);
        colours.append(colour);
    }
    QTest::newRow(name) << b.build() << points << colours;
}

QPoint p(int x, int y)
{
    return QPoint(x, y);
}

// A bitmap record drawing quadrantsDib() with rop and the given geometry words.
QByteArray bitmapRecord(quint32 rop, std::initializer_list<int> geometry)
{
    return dword(rop) + words(geometry) + quadrantsDib();
}

} // namespace

class TestWmfPlayer : public QObject
{
    Q_OBJECT

private slots:
    void recognises();
    void drawing_data();
    void drawing();
    void pictureSize_data();
    void pictureSize();
    void refusesLargePictures();
    void bitmapDepths_data();
    void bitmapDepths();
    void textCodes();
    void text();
    void textOpaqueBox();
    void hatchOverBackground();
    void edgesAreSmoothed();
};

// Known by either header; anything else is refused with the same message.
void TestWmfPlayer::recognises()
{
    QByteArray version1 = WmfBuilder::standard().build();
    version1[5] = 0x01;
    QByteArray wrongType = WmfBuilder::standard().build();
    wrongType[0] = 3;
    for (const QByteArray &data : {WmfBuilder::placeable(0, 0, 10, 10).build(), WmfBuilder::standard().build(),
                                   QByteArray::fromHex("d7cdc69a0000"), version1})
        QVERIFY(isWmf(data));
    for (const QByteArray &data : {wrongType, QByteArray("This directory contains the sources.\r\n"), QByteArray()}) {
        QVERIFY(!isWmf(data));
        QCOMPARE(renderWmf(data).error, QStringLiteral("not a Windows metafile"));
    }
}

// One case for each family of records, drawn on white.
void TestWmfPlayer::drawing_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<QPoint>>("points");
    QTest::addColumn<QList<QRgb>>("colours");

    // Mapping: logical units onto picture pixels.
    addRow("window with y going up",
           redBrush(WmfBuilder::placeable(0, 0, 100, 100).windowOrg(0, 100).windowExt(100, -100)).rectangle(10, 10, 40, 40),
           {{p(25, 75), Red}, {p(25, 25), White}});
    addRow("viewport origin moved", redBrush(canvas().add(0x020D, words({0, 20}))).rectangle(10, 10, 40, 40),
           {{p(45, 25), Red}, {p(15, 25), White}});
    addRow("window extent scaled", redBrush(canvas().add(0x0410, words({1, 2, 1, 2}))).rectangle(20, 20, 80, 80),
           {{p(25, 25), Red}, {p(60, 60), White}});
    addRow("isotropic mapping keeps the aspect",
           redBrush(WmfBuilder::placeable(0, 0, 100, 100).mapMode(7).windowOrg(0, 0).windowExt(200, 100)).rectangle(0, 0, 100, 100),
           {{p(25, 25), Red}, {p(25, 75), White}, {p(75, 25), White}});
    addRow("placeable box is the first window",
           redBrush(WmfBuilder::placeable(1000, 1000, 1100, 1100)).rectangle(1010, 1010, 1040, 1040),
           {{p(25, 25), Red}, {p(60, 60), White}});
    addRow("zero window extent is ignored", redBrush(canvas().windowExt(0, 0).windowExt(0, 50)).rectangle(10, 10, 40, 40),
           {{p(25, 25), Red}, {p(60, 60), White}});

    // Fill modes: the centre of a five-pointed star winds twice.
    const QList<QPoint> star = {p(50, 5), p(76, 86), p(7, 36), p(93, 36), p(24, 86)};
    addRow("winding fill fills the star's centre", redFill().fillMode(2).polygon(star), {{p(50, 55), Red}, {p(50, 15), Red}});
    const QByteArray squares = words({2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 30, 30, 70, 30, 70, 70, 30, 70});
    addRow("alternate polypolygon has a hole", redBrush(canvas()).fillMode(1).add(0x0538, squares),
           {{p(50, 50), White}, {p(20, 20), Red}});

    // Shapes and lines.
    const QByteArray quarter = words({10, 50, 50, 90, 90, 90, 10, 10}); // from the right, counterclockwise to the top
    addRow("pie", redBrush(canvas()).add(0x081A, quarter),
           {{p(65, 35), Red}, {p(35, 35), White}, {p(35, 65), White}, {p(65, 65), White}});
    addRow("arc is a line", canvas().pen(0, 6, Blue).select(0).add(0x0817, quarter),
           {{p(78, 22), Blue}, {p(65, 35), White}, {p(35, 65), White}});
    addRow("rectangle with a wide pen", redBrush(canvas().pen(0, 10, Blue).select(0), 1).rectangle(20, 20, 80, 80),
           {{p(50, 50), Red}, {p(20, 50), Blue}, {p(12, 50), White}});
    addRow("round rectangle", redBrush(canvas()).add(0x061C, words({40, 40, 90, 90, 10, 10})),
           {{p(12, 12), White}, {p(50, 50), Red}, {p(50, 12), Red}});
    addRow("null brush", canvas().brush(1, Red).select(0).rectangle(10, 10, 90, 90), {{p(50, 50), White}});
    addRow("PATBLT with the brush", redBrush(canvas()).add(0x061D, dword(0x00F00021) + words({30, 30, 10, 10})),
           {{p(25, 25), Red}, {p(50, 50), White}});
    addRow("SETPIXEL", canvas().add(0x041F, colorRef(Blue) + words({30, 20})), {{p(20, 30), Blue}, {p(21, 30), White}});
    addRow("lines from the current position",
           canvas().pen(0, 4, Blue).select(0).add(0x0214, words({50, 10})).add(0x0213, words({50, 90})),
           {{p(50, 50), Blue}, {p(50, 40), White}});
    addRow("xor pen twice", redFill().add(0x0104, words({7})).rectangle(10, 10, 90, 90).rectangle(10, 10, 90, 90),
           {{p(50, 50), White}});

    // The object table: each create takes the lowest free slot.
    addRow("lowest free slot after a delete",
           canvas().brush(0, Red).brush(0, Green).brush(0, Blue).remove(1).brush(0, Yellow).select(1).rectangle(10, 10, 90, 90),
           {{p(50, 50), Yellow}});
    addRow("region placeholder takes a slot",
           canvas().add(0x06FF, words({0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0})).brush(0, Red).select(1).select(0).rectangle(10, 10, 90, 90),
           {{p(50, 50), Red}});
    addRow("slot out of range selects nothing",
           redBrush(canvas()).select(0xFFFF).select(40).remove(0xFFFF).rectangle(10, 10, 90, 90), {{p(50, 50), Red}});
    addRow("deleting the selected brush keeps it", redBrush(canvas()).remove(0).rectangle(10, 10, 90, 90), {{p(50, 50), Red}});
    addRow("colour from the selected palette",
           canvas().add(0x00F7, words({0x300, 2}) + colorRef(Red) + colorRef(Blue)).add(0x0234, words({0}))
               .add(0x02FC, words({0}) + dword(0x01000001) + words({0})).select(1).rectangle(10, 10, 90, 90),
           {{p(50, 50), Blue}});

    // Saving and restoring the context.
    addRow("restore by number",
           redBrush(canvas()).saveDc().brush(0, Green).select(1).saveDc().brush(0, Blue).select(2).restoreDc(1).rectangle(10, 10, 90, 90),
           {{p(50, 50), Red}});
    addRow("restore with nothing saved",
           redBrush(canvas()).restoreDc(-1).restoreDc(3).restoreDc(-32768).rectangle(10, 10, 90, 90), {{p(50, 50), Red}});
    addRow("restore past the saves", redBrush(canvas()).saveDc().brush(0, Blue).select(1).restoreDc(-5).rectangle(10, 10, 90, 90),
           {{p(50, 50), Blue}});
    addRow("restore brings the window back", redBrush(canvas()).saveDc().windowExt(200, 200).restoreDc(-1).rectangle(10, 10, 40, 40),
           {{p(30, 30), Red}, {p(45, 45), White}});

    // Clipping, in logical units.
    addRow("intersecting clip",
           redBrush(canvas().windowExt(200, 200).nullPen().select(0), 1).intersectClip(0, 0, 100, 200).rectangle(0, 0, 200, 200),
           {{p(25, 50), Red}, {p(75, 50), White}});
    addRow("excluding clip", redFill().excludeClip(0, 0, 50, 100).rectangle(0, 0, 100, 100),
           {{p(25, 50), White}, {p(75, 50), Red}});
    addRow("restore takes the clip away", redBrush(canvas()).saveDc().intersectClip(0, 0, 10, 10).restoreDc(-1).rectangle(0, 0, 100, 100),
           {{p(50, 50), Red}});

    // Bitmaps.
    addRow("STRETCHDIB scaled up", canvas().add(0x0F43, bitmapRecord(0x00CC0020, {0, 2, 2, 0, 0, 100, 100, 0, 0})),
           {{p(25, 25), Red}, {p(75, 25), Green}, {p(25, 75), Blue}, {p(75, 75), Yellow}});
    addRow("STRETCHDIB source counted from the bottom", canvas().add(0x0F43, bitmapRecord(0x00CC0020, {0, 1, 1, 0, 0, 100, 100, 0, 0})),
           {{p(50, 50), Blue}});
    addRow("DIBBITBLT source counted from the top",
           WmfBuilder::placeable(0, 0, 100, 100).windowOrg(0, 0).windowExt(2, 2).add(0x0940, bitmapRecord(0x00CC0020, {0, 0, 1, 1, 0, 0})),
           {{p(25, 25), Red}, {p(75, 75), White}});
    addRow("DIBSTRETCHBLT", canvas().add(0x0B41, bitmapRecord(0x00CC0020, {2, 2, 0, 0, 50, 50, 50, 50})),
           {{p(62, 62), Red}, {p(87, 87), Yellow}, {p(25, 25), White}});
    addRow("SETDIBTODEV", canvas().add(0x0D33, words({0, 2, 0, 0, 0, 2, 2, 10, 10}) + quadrantsDib()),
           {{p(10, 10), Red}, {p(11, 10), Green}, {p(10, 11), Blue}, {p(11, 11), Yellow}, {p(12, 12), White}});
    addRow("bitmap pattern brush", canvas().nullPen().add(0x0142, words({5, 0}) + quadrantsDib()).select(0).select(1).rectangle(0, 0, 100, 100),
           {{p(10, 10), Red}, {p(11, 10), Green}, {p(10, 11), Blue}, {p(11, 11), Yellow}});
    addRow("bitmap xor", redFill().rectangle(0, 0, 100, 100).add(0x0F43, bitmapRecord(0x00660046, {0, 2, 2, 0, 0, 100, 100, 0, 0})),
           {{p(25, 25), Black}, {p(75, 25), Yellow}});
    addRow("DIBBITBLT without a bitmap", redBrush(canvas()).add(0x0940, dword(0x00F00021) + words({0, 0, 0, 50, 50, 0, 0})),
           {{p(25, 25), Red}, {p(75, 75), White}});
}

void TestWmfPlayer::drawing()
{
    QFETCH(QByteArray, data);
    QFETCH(QList<QPoint>, points);
    QFETCH(QList<QRgb>, colours);
    const auto result = renderWmf(data);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.image.size(), QSize(100, 100));
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QRgb got = result.image.pixel(points[i]);
        QVERIFY2(got == colours[i], qPrintable(QStringLiteral("at (%1, %2): %3, not %4")
                                                   .arg(points[i].x()).arg(points[i].y())
                                                   .arg(got, 8, 16, QLatin1Char('0')).arg(colours[i], 8, 16, QLatin1Char('0'))));
    }
}

void TestWmfPlayer::pictureSize_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");
    QTest::newRow("placeable at 96 dpi") << WmfBuilder::placeable(0, 0, 120, 80).build() << QSize(120, 80);
    QTest::newRow("placeable at 1440 dpi") << WmfBuilder::placeable(0, 0, 2880, 1440, 1440).build() << QSize(192, 96);
    QTest::newRow("placeable box off the origin") << WmfBuilder::placeable(-100, -50, 200, 100, 300).build() << QSize(96, 48);
    QTest::newRow("placeable box upside down") << WmfBuilder::placeable(0, 80, 120, 0).build() << QSize(120, 80);
    QTest::newRow("window extent in twips") << WmfBuilder::standard().windowExt(1440, 720).rectangle(0, 0, 10, 10).build()
                                            << QSize(96, 48);
    QTest::newRow("box around the drawing")
        << WmfBuilder::standard().nullPen().select(0).brush(0, Red).select(1).rectangle(10, 10, 50, 30).build() << QSize(40, 20);
    QTest::newRow("placeable with no box falls back to the window")
        << WmfBuilder::placeable(0, 0, 0, 0).windowExt(2880, 1440).rectangle(0, 0, 10, 10).build() << QSize(192, 96);
}

void TestWmfPlayer::pictureSize()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    const auto result = renderWmf(data);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.image.size(), size);
}

// Over the side or byte limit, whether the header gives the size or the
// drawing is measured.
void TestWmfPlayer::refusesLargePictures()
{
    const auto error = [](const QByteArray &data, int maxSide, qint64 maxBytes) {
        RenderLimits limits;
        limits.maxSide = maxSide;
        limits.maxBytes = maxBytes;
        const auto result = renderWmf(data, limits);
        return result.image.isNull() ? result.error : QString();
    };
    QCOMPARE(error(WmfBuilder::placeable(0, 0, 30000, 30000, 48).build(), 16384, qint64(1) << 30),
             QStringLiteral("image too large (60000 x 60000)"));
    QCOMPARE(error(WmfBuilder::placeable(0, 0, 20, 20).build(), 100, 1000), QStringLiteral("image too large (20 x 20)"));
    QCOMPARE(error(WmfBuilder::standard().nullPen().select(0).rectangle(-30000, -30000, 30000, 30000).build(), 16384,
                   qint64(1) << 30),
             QStringLiteral("image too large (60000 x 60000)"));
}

void TestWmfPlayer::bitmapDepths_data()
{
    QTest::addColumn<QByteArray>("bitmap");
    QTest::addColumn<QList<QRgb>>("pixels");
    QTest::addColumn<int>("width");
    for (const DibCase &c : dibCases())
        QTest::newRow(c.name) << c.dib << c.pixels << c.width;
}

void TestWmfPlayer::bitmapDepths()
{
    QFETCH(QByteArray, bitmap);
    QFETCH(QList<QRgb>, pixels);
    QFETCH(int, width);
    const int height = int(pixels.size()) / width;
    const auto result = renderWmf(WmfBuilder::placeable(0, 0, width, height).stretchDib(0, 0, width, height, bitmap).build());
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            QCOMPARE(result.image.pixel(x, y), pixels[y * width + x]);
}

// Western text in Windows-1252, the Symbol font's letters as Greek and operators.
void TestWmfPlayer::textCodes()
{
    using morvane::wmf::decodeText;
    QCOMPARE(decodeText("A\x80\x93\x94", false), QStringLiteral(u"A\u20AC\u201C\u201D"));
    QCOMPARE(decodeText("abgDW", true), QStringLiteral(u"\u03B1\u03B2\u03B3\u0394\u03A9"));
    QCOMPARE(decodeText("\xB4\xB9\xA3\xD6", true), QStringLiteral(u"\u00D7\u2260\u2264\u221A"));
}

void TestWmfPlayer::text()
{
    const QByteArray data = WmfBuilder::placeable(0, 0, 200, 60)
                                .font(-32, "DejaVu Sans")
                                .select(0)
                                .textColor(qRgb(200, 0, 0))
                                .textOut(10, 10, "Hello")
                                .build();
    const auto result = renderWmf(data);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    // The text starts at (10, 10), its top there, and runs to the right.
    int inside = 0, outside = 0;
    for (int y = 0; y < result.image.height(); ++y) {
        for (int x = 0; x < result.image.width(); ++x) {
            const QRgb c = result.image.pixel(x, y);
            const bool ink = qRed(c) > qGreen(c) + 60;
            const bool inCell = x >= 8 && x < 150 && y >= 8 && y < 52;
            (inCell ? inside : outside) += ink;
        }
    }
    QVERIFY2(inside > 150, qPrintable(QString::number(inside)));
    QCOMPARE(outside, 0);
}

void TestWmfPlayer::textOpaqueBox()
{
    // EXTTEXTOUT with an opaque box and no text fills the box with the background colour.
    const QByteArray data = WmfBuilder::placeable(0, 0, 100, 100)
                                .add(0x0201, colorRef(Green))
                                .add(0x0A32, words({0, 0, 0, 0x0002, 10, 10, 60, 40}))
                                .build();
    const auto result = renderWmf(data);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.image.pixel(30, 20), Green);
    QCOMPARE(result.image.pixel(70, 20), White);
}

void TestWmfPlayer::hatchOverBackground()
{
    // Horizontal hatching in blue, the gaps in the background colour when it is opaque.
    for (const int mode : {1, 2}) {
        const QByteArray data = canvas().nullPen().select(0).add(0x0201, colorRef(Green)).bkMode(mode)
                                    .brush(2, Blue, 0).select(1).rectangle(0, 0, 100, 100).build();
        const auto result = renderWmf(data);
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QSet<QRgb> column;
        for (int y = 40; y < 56; ++y)
            column.insert(result.image.pixel(50, y));
        QCOMPARE(column, (QSet<QRgb>{Blue, mode == 2 ? Green : White}));
    }
}

// An ellipse's edge is blended with the background, not stepped.
void TestWmfPlayer::edgesAreSmoothed()
{
    const auto result = renderWmf(redFill().ellipse(10, 10, 90, 90).build());
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.image.pixel(50, 50), Red);
    QCOMPARE(result.image.pixel(14, 14), White);
    int blended = 0;
    for (int x = 0; x < 100; ++x) {
        const QRgb c = result.image.pixel(x, 30);
        blended += c != Red && c != White;
    }
    QVERIFY(blended >= 2);
}

QTEST_MAIN(TestWmfPlayer)
#include "tst_wmfplayer.moc"
