// Damaged metafiles, each named for its defect: each one fails with a
// message, or loads what it holds, and every cut-short good file fails.
#include "convert/wmf/wmf.h"
#include "wmfbuilder.h"

#include <QTest>

using namespace wmftest;
using morvane::wmf::encodeWmf;
using morvane::wmf::renderWmf;

namespace {

enum class Outcome {
    Fails,      // no picture, an error
    Loads,      // a picture, no error
    LoadsBlank, // a picture in which the damaged record drew nothing
};

// A 10 x 10 picture whose window is the picture, with an object slot.
WmfBuilder small()
{
    return WmfBuilder::placeable(0, 0, 10, 10).windowOrg(0, 0).windowExt(10, 10);
}

// A bitmap record over the whole of small().
QByteArray withBitmap(const QByteArray &bitmap)
{
    return small().stretchDib(0, 0, 10, 10, bitmap).build();
}

QByteArray infoHeader(qint32 width, qint32 height, int bits, int compression = 0, quint32 colorsUsed = 0,
                      quint32 size = 40)
{
    QByteArray out = dword(size) + dword(quint32(width)) + dword(quint32(height)) + words({1, bits})
                     + dword(quint32(compression)) + dword(0) + dword(0) + dword(0) + dword(colorsUsed) + dword(0);
    return out;
}

QByteArray withFirstRecordSize(quint32 words)
{
    QByteArray data = small().build();
    data.replace(40, 4, dword(words));
    return data;
}

// Everything the player plays, once, with a bitmap and text.
QByteArray manyRecords()
{
    return WmfBuilder::placeable(0, 0, 64, 48)
        .windowOrg(0, 0)
        .windowExt(64, 48)
        .saveDc()
        .pen(0, 2, qRgb(0, 0, 255))
        .select(0)
        .brush(2, qRgb(255, 0, 0), 3)
        .select(1)
        .font(-12, "Sans")
        .select(2)
        .intersectClip(1, 1, 63, 47)
        .rectangle(2, 2, 30, 20)
        .ellipse(30, 2, 60, 20)
        .polygon({QPoint(2, 40), QPoint(20, 25), QPoint(30, 45)})
        .add(0x0538, words({2, 3, 3, 40, 25, 60, 25, 50, 45, 45, 30, 55, 30, 50, 40}))
        .add(0x081A, words({10, 50, 25, 60, 40, 60, 10, 40}))
        .textOut(4, 22, "Text")
        .add(0x0A32, words({34, 4, 2, 0}) + QByteArray("ok") + words({6, 6}))
        .stretchDib(40, 40, 2, 2, dib(2, 2, 4, 0, {qRgb(0, 0, 0), qRgb(255, 255, 0)}, QByteArray::fromHex("10000000" "01000000")))
        .restoreDc(-1)
        .remove(2)
        .build();
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestWmfMalformed : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
    void truncation_data();
    void truncation();
};

void TestWmfMalformed::corpus_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Outcome>("outcome");

    // The file as a whole.
    QTest::newRow("placeable key only") << QByteArray::fromHex("d7cdc69a") << Outcome::Fails;
    QTest::newRow("placeable header, no standard header") << WmfBuilder::placeable(0, 0, 10, 10).build().first(22) << Outcome::Fails;
    QByteArray badHeaderSize = small().build();
    badHeaderSize[24] = 7;
    QTest::newRow("standard header size 7") << badHeaderSize << Outcome::Fails;
    QTest::newRow("record size 0") << withFirstRecordSize(0) << Outcome::Fails;
    QTest::newRow("record size past the end") << withFirstRecordSize(1000) << Outcome::Fails;
    QTest::newRow("record size 0xFFFFFFFF") << withFirstRecordSize(0xFFFFFFFF) << Outcome::Fails;
    QTest::newRow("record header cut short") << small().build(false) + QByteArray::fromHex("0300") << Outcome::Fails;
    QTest::newRow("no EOF record, size as the header says") << small().rectangle(0, 0, 5, 5).build(false) << Outcome::Loads;
    QByteArray shortOfSize = small().rectangle(0, 0, 5, 5).build(false);
    shortOfSize.replace(28, 4, dword(1000));
    QTest::newRow("no EOF record, shorter than the header says") << shortOfSize << Outcome::Fails;
    QByteArray maxRecord = small().build();
    maxRecord.replace(34, 4, dword(0xFFFFFFFF));
    QTest::newRow("MaxRecord 0xFFFFFFFF") << maxRecord << Outcome::Loads;
    QTest::newRow("inch 0") << WmfBuilder::placeable(0, 0, 10, 10, 0).rectangle(0, 0, 10, 10).build() << Outcome::Loads;
    QTest::newRow("draws nothing, no size") << WmfBuilder::standard().build() << Outcome::Fails;

    // Objects and state.
    QTest::newRow("object index deleted") << small().brush(0, 0).remove(0).select(0).remove(0).build() << Outcome::Loads;
    WmfBuilder many = small().objects(1);
    for (int i = 0; i < 40; ++i)
        many.brush(0, qRgb(i, 0, 0)).select(i);
    QTest::newRow("more objects than the header declares") << many.rectangle(0, 0, 5, 5).build() << Outcome::Loads;
    WmfBuilder saves = small();
    for (int i = 0; i < 50000; ++i)
        saves.saveDc();
    QTest::newRow("50000 SAVEDCs") << saves.restoreDc(-30000).rectangle(0, 0, 5, 5).build() << Outcome::Loads;
    QTest::newRow("scale denominators 0") << small().add(0x0410, words({0, 5, 0, 5})).add(0x0412, words({0, 1, 0, 1})).rectangle(0, 0, 5, 5).build()
                                          << Outcome::Loads;
    QTest::newRow("scaled extent overflowing")
        << small().add(0x0410, words({1, 32767, 1, 32767})).add(0x0410, words({1, 32767, 1, 32767})).add(0x0410, words({1, 32767, 1, 32767}))
               .rectangle(0, 0, 5, 5).build()
        << Outcome::Loads;
    QTest::newRow("viewport magnifying 32767 times")
        << small().windowExt(1, 1).add(0x020E, words({32767, 32767})).pen(0, 32767, 0).select(0).rectangle(-32768, -32768, 32767, 32767)
               .ellipse(-5, -5, 5, 5).textOut(0, 0, "x").build()
        << Outcome::Loads;
    WmfBuilder clips = small();
    for (int i = 0; i < 3000; ++i)
        clips.excludeClip(i % 10, i / 10 % 10, i % 10 + 1, i / 10 % 10 + 1).add(0x0220, words({1, 1}));
    QTest::newRow("thousands of clip holes") << clips.rectangle(0, 0, 10, 10).build() << Outcome::Loads;

    // Geometry and text.
    QTest::newRow("polygon count beyond the record") << small().add(0x0324, words({1000, 0, 0, 5, 5})).build() << Outcome::LoadsBlank;
    QTest::newRow("polygon count negative") << small().add(0x0324, words({-2, 0, 0, 5, 5})).build() << Outcome::LoadsBlank;
    QByteArray overflow = words({0xFFFF});
    for (int i = 0; i < 0xFFFF; ++i)
        overflow += words({0xFFFF});
    QTest::newRow("POLYPOLYGON counts whose sum overflows") << small().add(0x0538, overflow + words({0, 0, 5, 5})).build()
                                                           << Outcome::LoadsBlank;
    QTest::newRow("POLYPOLYGON polygon count beyond the record") << small().add(0x0538, words({50, 3})).build() << Outcome::LoadsBlank;
    QTest::newRow("text length beyond the record") << small().add(0x0521, words({1000, 0x4141, 0, 0})).build() << Outcome::LoadsBlank;
    QTest::newRow("EXTTEXTOUT length beyond the record") << small().add(0x0A32, words({0, 0, 500, 0, 0x4141})).build()
                                                        << Outcome::LoadsBlank;
    QTest::newRow("EXTTEXTOUT spacing shorter than the text")
        << small().font(-8, "Sans").select(0).add(0x0A32, words({0, 0, 6, 0}) + QByteArray("abcdef") + words({3, 3})).build()
        << Outcome::Loads;
    QTest::newRow("EXTTEXTOUT box flag without a box") << small().add(0x0A32, words({0, 0, 0, 0x0006})).build() << Outcome::LoadsBlank;
    QTest::newRow("unterminated face name")
        << small().add(0x02FB, words({-8, 0, 0, 0, 400, 0, 0, 0, 0}) + QByteArray(40, 'F')).select(0).textOut(0, 0, "ab").build()
        << Outcome::Loads;
    QTest::newRow("face name cut by the record end")
        << small().add(0x02FB, words({-8, 0, 0, 0, 400, 0, 0, 0, 0}) + QByteArray("Sa")).select(0).textOut(0, 0, "ab").build()
        << Outcome::Loads;
    QTest::newRow("font record cut short") << small().add(0x02FB, words({-8, 0})).select(0).textOut(0, 0, "ab").build() << Outcome::Loads;
    QTest::newRow("font height -32768") << small().font(-32768, "Sans").select(0).textOut(0, 0, "ab").build() << Outcome::Loads;
    QTest::newRow("pen record cut short") << small().add(0x02FA, words({0})).select(0).rectangle(0, 0, 5, 5).build() << Outcome::Loads;
    QTest::newRow("arc with an empty box") << small().add(0x0817, words({1, 1, 2, 2, 5, 5, 5, 5})).build() << Outcome::LoadsBlank;

    // Bitmaps: each is skipped, and the picture stays white.
    QTest::newRow("bitmap header size 8") << withBitmap(dword(8) + dword(10) + QByteArray(40, '\0')) << Outcome::LoadsBlank;
    QTest::newRow("bitmap header size huge") << withBitmap(infoHeader(2, 2, 24, 0, 0, 0x7FFFFFFF) + QByteArray(16, '\0'))
                                             << Outcome::LoadsBlank;
    QTest::newRow("bitmap header cut short") << withBitmap(infoHeader(2, 2, 24).first(20)) << Outcome::LoadsBlank;
    QTest::newRow("bitmap width 0") << withBitmap(infoHeader(0, 2, 24) + QByteArray(16, '\0')) << Outcome::LoadsBlank;
    QTest::newRow("bitmap width negative") << withBitmap(infoHeader(-2, 2, 24) + QByteArray(16, '\0')) << Outcome::LoadsBlank;
    QTest::newRow("bitmap height most negative") << withBitmap(infoHeader(2, qint32(0x80000000), 24)) << Outcome::LoadsBlank;
    QTest::newRow("bitmap width huge") << withBitmap(infoHeader(0x7FFFFFFF, 1, 24) + QByteArray(16, '\0')) << Outcome::LoadsBlank;
    QTest::newRow("bitmap width times height overflowing") << withBitmap(infoHeader(0x10000, 0x10001, 32)) << Outcome::LoadsBlank;
    QTest::newRow("bitmap of 7 bits per pixel") << withBitmap(infoHeader(2, 2, 7) + QByteArray(16, '\0')) << Outcome::LoadsBlank;
    QTest::newRow("bitmap pixels shorter than claimed") << withBitmap(infoHeader(10, 10, 24) + QByteArray(100, '\0'))
                                                        << Outcome::LoadsBlank;
    QTest::newRow("bitmap colour table beyond the record") << withBitmap(infoHeader(2, 2, 8, 0, 0xFFFFFFFF) + QByteArray(8, '\0'))
                                                           << Outcome::LoadsBlank;
    QTest::newRow("bitmap missing its bit masks") << withBitmap(infoHeader(2, 2, 16, 3) + dword(0xF800)) << Outcome::LoadsBlank;
    QTest::newRow("bitmap fields with 24 bits") << withBitmap(infoHeader(1, 1, 24, 3) + QByteArray(16, '\0')) << Outcome::LoadsBlank;
    QTest::newRow("bitmap compressed as JPEG") << withBitmap(infoHeader(2, 2, 24, 4) + QByteArray(16, '\0')) << Outcome::LoadsBlank;
    QTest::newRow("RLE run past the buffer") << withBitmap(infoHeader(4, 4, 8, 1) + QByteArray(1024, '\0') + QByteArray::fromHex("00ff0102"))
                                             << Outcome::Loads;
    QTest::newRow("RLE runs past the bitmap")
        << withBitmap(infoHeader(4, 4, 8, 1, 2) + dword(0) + dword(0xFFFFFF) + QByteArray::fromHex("ff01ff01" "0002ffff" "ff01" "0000" "0000" "0000" "0000" "0000"))
        << Outcome::Loads;
    QTest::newRow("RLE4 top-down") << withBitmap(infoHeader(4, -4, 4, 2) + QByteArray(64, '\0') + QByteArray::fromHex("0001"))
                                   << Outcome::LoadsBlank;
    QTest::newRow("RLE8 with 4 bits per pixel") << withBitmap(infoHeader(4, 4, 4, 1) + QByteArray(64, '\0')) << Outcome::LoadsBlank;
    QTest::newRow("bitmap record without its bitmap") << small().add(0x0F43, dword(0x00CC0020) + words({0, 1, 1, 0, 0, 10, 10, 0, 0})).build()
                                                      << Outcome::LoadsBlank;
    QTest::newRow("DIBBITBLT cut inside its fields") << small().add(0x0940, dword(0x00CC0020) + words({0, 0})).build()
                                                     << Outcome::LoadsBlank;
    QTest::newRow("pattern brush without a bitmap") << small().add(0x0142, words({5, 0}) + infoHeader(8, 8, 1).first(12)).select(0)
                                                           .rectangle(-1, -1, 11, 11).build()
                                                    << Outcome::Loads;
}

void TestWmfMalformed::corpus()
{
    QFETCH(QByteArray, data);
    QFETCH(Outcome, outcome);
    const auto result = renderWmf(data);
    QVERIFY2(result.image.isNull() != result.error.isEmpty(), qPrintable(result.error));
    if (outcome == Outcome::Fails) {
        QVERIFY(result.image.isNull());
        return;
    }
    QVERIFY2(!result.image.isNull(), qPrintable(result.error));
    if (outcome == Outcome::LoadsBlank) {
        QImage white(result.image.size(), result.image.format());
        white.fill(Qt::white);
        QCOMPARE(result.image, white);
    }
}

void TestWmfMalformed::truncation_data()
{
    QTest::addColumn<QByteArray>("data");
    QImage picture(9, 7, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    QTest::newRow("written by us") << encodeWmf(picture).bytes;
    QTest::newRow("many records") << manyRecords();
    QTest::newRow("standard header only")
        << WmfBuilder::standard().brush(0, qRgb(0, 0, 255)).select(0).rectangle(3, 3, 40, 30).textOut(5, 5, "abc").build();
}

// Every proper prefix of a good file is a truncated file: the header's
// size, or a record running past the end, tells.
void TestWmfMalformed::truncation()
{
    QFETCH(QByteArray, data);
    const auto whole = renderWmf(data);
    QVERIFY2(whole.error.isEmpty() && !whole.image.isNull(), qPrintable(whole.error));
    for (qsizetype length = 0; length < data.size(); ++length) {
        const auto cut = renderWmf(data.first(length));
        QVERIFY2(cut.image.isNull() && !cut.error.isEmpty(), qPrintable(QStringLiteral("%1 bytes").arg(length)));
    }
}

QTEST_MAIN(TestWmfMalformed)
#include "tst_wmfmalformed.moc"
