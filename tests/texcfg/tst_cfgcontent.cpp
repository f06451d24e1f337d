// The cfg content's exact characters, CR LF breaks included.
#include "texcfg/cfgcontent.h"

#include <QTest>

using namespace morvane::texcfg;
using namespace Qt::StringLiterals;

class TestCfgContent : public QObject {
    Q_OBJECT

private slots:
    void build();
};

void TestCfgContent::build()
{
    QCOMPARE(BuildCfgContent(u"stone.jpg\r\nwood.jpg"_s, u"0"_s, u"default"_s, u"My Quillo Textures"_s),
             u"// My Quillo Textures\r\ntexture 0 \"default/stone.jpg\"\r\ntexture 0 \"default/wood.jpg\"\r\n"_s);
    QCOMPARE(BuildCfgContent(u" a "_s, u" 12"_s, u" two/folders "_s, u" c "_s),
             u"//  c \r\ntexture  12 \" two/folders / a \"\r\n"_s);
    // With number 0, folder d and comment c: nothing trimmed or escaped, only CR LF parts entries.
    const std::pair<QString, QString> rows[] = {
        {QString(), u""_s},
        {u"\r\n\r\na"_s, u"texture 0 \"d/\"\r\ntexture 0 \"d/\"\r\ntexture 0 \"d/a\"\r\n"_s},
        {u"a\r\n"_s, u"texture 0 \"d/a\"\r\ntexture 0 \"d/\"\r\n"_s},
        {u"a\"b"_s, u"texture 0 \"d/a\"b\"\r\n"_s},
        {u"a\rb\nc\r\nd"_s, u"texture 0 \"d/a\rb\nc\"\r\ntexture 0 \"d/d\"\r\n"_s},
    };
    for (const auto &[list, entries] : rows)
        QCOMPARE(BuildCfgContent(list, u"0"_s, u"d"_s, u"c"_s), u"// c\r\n"_s + entries);
}

QTEST_APPLESS_MAIN(TestCfgContent)
#include "tst_cfgcontent.moc"
