#include "texcfg/cfgcontent.h"

#include <QTest>

using namespace morvane::texcfg;
using namespace Qt::StringLiterals;

namespace {

// Lines each followed by CR LF, as the cfg content has them.
QString cfgLines(const QStringList &lines)
{
    QString out;
    for (const QString &line : lines)
        out += line + "\r\n"_L1;
    return out;
}

} // namespace

class TestCfgContent : public QObject {
    Q_OBJECT

private slots:
    void build_data();
    void build();
    void largeList();
};

void TestCfgContent::build_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("expected");

    const QString twoEntries = u"stone.jpg\r\nwood.jpg"_s;
    QTest::newRow("worked example")
        << twoEntries << u"0"_s << u"default"_s << u"My Quillo Textures"_s
        << cfgLines({u"// My Quillo Textures"_s, u"texture 0 \"default/stone.jpg\""_s,
                     u"texture 0 \"default/wood.jpg\""_s});
    QTest::newRow("number and two folders")
        << twoEntries << u"12"_s << u"two/folders"_s << u"c"_s
        << cfgLines({u"// c"_s, u"texture 12 \"two/folders/stone.jpg\""_s, u"texture 12 \"two/folders/wood.jpg\""_s});
    QTest::newRow("empty list") << QString() << u"0"_s << u"d"_s << u"c"_s << cfgLines({u"// c"_s});
    QTest::newRow("empty entry in the middle")
        << u"stone.jpg\r\n\r\nwood.jpg"_s << u"0"_s << u"d"_s << u"c"_s
        << cfgLines({u"// c"_s, u"texture 0 \"d/stone.jpg\""_s, u"texture 0 \"d/\""_s, u"texture 0 \"d/wood.jpg\""_s});
    QTest::newRow("folders and files with the separator")
        << u"grass\r\nwood\r\n\r\n-----------\r\n\r\nstone.jpg"_s << u"1"_s << u"d"_s << u"c"_s
        << cfgLines({u"// c"_s, u"texture 1 \"d/grass\""_s, u"texture 1 \"d/wood\""_s, u"texture 1 \"d/\""_s,
                     u"texture 1 \"d/-----------\""_s, u"texture 1 \"d/\""_s, u"texture 1 \"d/stone.jpg\""_s});
    QTest::newRow("list ending in CR LF") << u"a\r\n"_s << u"0"_s << u"d"_s << u"c"_s
                                          << cfgLines({u"// c"_s, u"texture 0 \"d/a\""_s, u"texture 0 \"d/\""_s});
    QTest::newRow("quotes copied unescaped") << u"a\"b"_s << u"0"_s << u"f\"g"_s << u"c"_s
                                             << cfgLines({u"// c"_s, u"texture 0 \"f\"g/a\"b\""_s});
    QTest::newRow("lone CR and LF stay inside entries")
        << u"a\rb\nc\r\nd"_s << u"0"_s << u"f"_s << u"c"_s
        << cfgLines({u"// c"_s, u"texture 0 \"f/a\rb\nc\""_s, u"texture 0 \"f/d\""_s});
    QTest::newRow("blanks kept") << u" a "_s << u" 1"_s << u" f "_s << u" c "_s
                                 << cfgLines({u"//  c "_s, u"texture  1 \" f / a \""_s});
}

void TestCfgContent::build()
{
    QFETCH(QString, list);
    QFETCH(QString, number);
    QFETCH(QString, folder);
    QFETCH(QString, comment);
    QFETCH(QString, expected);
    QCOMPARE(BuildCfgContent(list, number, folder, comment), expected);
}

void TestCfgContent::largeList()
{
    QStringList entries;
    for (int i = 0; i < 100000; ++i)
        entries.append(QString::number(i) + u".jpg"_s);
    const QString cfg = BuildCfgContent(entries.join("\r\n"_L1), u"7"_s, u"f"_s, u"c"_s);
    QVERIFY(cfg.endsWith("texture 7 \"f/99999.jpg\"\r\n"_L1));
    QCOMPARE(cfg.count("\r\n"_L1), 100001);
}

QTEST_APPLESS_MAIN(TestCfgContent)
#include "tst_cfgcontent.moc"
