#include "texcfg/mask.h"

#include <QTest>

using namespace morvane::texcfg;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<MaskRange>)

class TestMask : public QObject {
    Q_OBJECT

private slots:
    void cleanMask_data();
    void cleanMask();
    void maskSelection_data();
    void maskSelection();
};

void TestMask::cleanMask_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("expected");
    QTest::newRow("clean mask kept") << u"*.jpg"_s << u"*.jpg"_s;
    QTest::newRow("slash") << u"*.j/pg"_s << u"*.jpg"_s;
    QTest::newRow("semicolon") << u"*.jpg;*.png"_s << u"*.jpg*.png"_s;
    QTest::newRow("colon and backslash") << u"C:\\stone*.jpg"_s << u"Cstone*.jpg"_s;
    QTest::newRow("only forbidden") << u"::"_s << QString();
    QTest::newRow("all four") << u"\\/;:"_s << QString();
}

void TestMask::cleanMask()
{
    QFETCH(QString, mask);
    QFETCH(QString, expected);
    QCOMPARE(CleanMask(mask), expected);
}

void TestMask::maskSelection_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<std::optional<MaskRange>>("expected");
    QTest::newRow("*.jpg") << u"*.jpg"_s << std::optional(MaskRange{2, 3});
    QTest::newRow("*.*") << u"*.*"_s << std::optional(MaskRange{2, 1});
    QTest::newRow("*.tar.gz") << u"*.tar.gz"_s << std::optional(MaskRange{6, 2});
    QTest::newRow("no dot") << u"stone"_s << std::optional(MaskRange{0, 5});
    QTest::newRow("dot first") << u".jpg"_s << std::optional(MaskRange{0, 4});
    QTest::newRow("dot last") << u"abc."_s << std::optional(MaskRange{4, 0});
    QTest::newRow("lone dot") << u"."_s << std::optional(MaskRange{0, 1});
    QTest::newRow("empty") << QString() << std::optional<MaskRange>();
}

void TestMask::maskSelection()
{
    QFETCH(QString, mask);
    QFETCH(std::optional<MaskRange>, expected);
    QCOMPARE(MaskSelection(mask), expected);
}

QTEST_APPLESS_MAIN(TestMask)
#include "tst_mask.moc"
