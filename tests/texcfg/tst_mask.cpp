#include "texcfg/mask.h"

#include <QTest>

using namespace morvane::texcfg;
using namespace Qt::StringLiterals;

class TestMask : public QObject {
    Q_OBJECT

private slots:
    void cleanMask() { QCOMPARE(CleanMask(u"C:\\a/b;*.jpg:"_s), u"Cab*.jpg"_s); }
    void maskSelection();
};

// What the mask box selects when it gains focus: after the last dot that is not first, else all.
void TestMask::maskSelection()
{
    const std::pair<QString, std::optional<MaskRange>> rows[] = {
        {u"*.jpg"_s, MaskRange{2, 3}}, {u"*.tar.gz"_s, MaskRange{6, 2}}, {u"stone"_s, MaskRange{0, 5}},
        {u".jpg"_s, MaskRange{0, 4}},  {u"abc."_s, MaskRange{4, 0}},     {u"."_s, MaskRange{0, 1}},
        {QString(), std::nullopt}};
    for (const auto &[mask, expected] : rows) {
        const auto range = MaskSelection(mask);
        QVERIFY2(range == expected, qPrintable(mask));
    }
}

QTEST_APPLESS_MAIN(TestMask)
#include "tst_mask.moc"
