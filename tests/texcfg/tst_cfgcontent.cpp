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
    const struct {
        QString list, number, folder, comment, cfg;
    } rows[] = {
        {u"stone.jpg\r\nwood.jpg"_s, u"0"_s, u"default"_s, u"My Quillo Textures"_s,
         u"// My Quillo Textures\r\ntexture 0 \"default/stone.jpg\"\r\ntexture 0 \"default/wood.jpg\"\r\n"_s},
        {u"a\r\nb"_s, u"12"_s, u"two/folders"_s, u"c"_s, u"// c\r\ntexture 12 \"two/folders/a\"\r\ntexture 12 \"two/folders/b\"\r\n"_s},
        {QString(), u"0"_s, u"d"_s, u"c"_s, u"// c\r\n"_s},
        {u"\r\n\r\na"_s, u"0"_s, u"d"_s, u"c"_s, u"// c\r\ntexture 0 \"d/\"\r\ntexture 0 \"d/\"\r\ntexture 0 \"d/a\"\r\n"_s},
        {u"a\r\n"_s, u"0"_s, u"d"_s, u"c"_s, u"// c\r\ntexture 0 \"d/a\"\r\ntexture 0 \"d/\"\r\n"_s},
        {u"a\"b"_s, u"0"_s, u"f\"g"_s, u"c"_s, u"// c\r\ntexture 0 \"f\"g/a\"b\"\r\n"_s},
        {u"a\rb\nc\r\nd"_s, u"0"_s, u"f"_s, u"c"_s, u"// c\r\ntexture 0 \"f/a\rb\nc\"\r\ntexture 0 \"f/d\"\r\n"_s},
        {u" a "_s, u" 1"_s, u" f "_s, u" c "_s, u"//  c \r\ntexture  1 \" f / a \"\r\n"_s},
    };
    for (const auto &row : rows)
        QCOMPARE(BuildCfgContent(row.list, row.number, row.folder, row.comment), row.cfg);
}

QTEST_APPLESS_MAIN(TestCfgContent)
#include "tst_cfgcontent.moc"
