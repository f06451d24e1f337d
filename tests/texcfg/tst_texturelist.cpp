#include "texcfg/mask.h"
#include "texcfg/texturelist.h"

#include <QTest>

using namespace morvane::texcfg;
using namespace Qt::StringLiterals;

static const QString face = u"\U0001F600"_s; // a surrogate pair

class TestTextureList : public QObject {
    Q_OBJECT

private slots:
    void removeExtension();
    void folderEntryName();
    void buildTextureList();
    void cleanMask() { QCOMPARE(CleanMask(u"C:\\a/b;*.jpg:"_s), u"Cab*.jpg"_s); }
    void maskSelection();
};

// At most five characters after the last dot go; U+1F600, a surrogate pair, is one character.
void TestTextureList::removeExtension()
{
    const std::pair<QString, QString> rows[] = {
        {u"sky.jpeg"_s, u"sky"_s},      {u"x.tar.gz"_s, u"x.tar"_s}, {u"a.bcdef"_s, u"a"_s},
        {u"a.bcdefg"_s, u"a.bcdefg"_s}, {u"ab"_s, u"ab"_s},          {u"x."_s, u"x"_s},
        {u".png"_s, QString()},         {u"a."_s + face + face + u"bcd"_s, u"a"_s},
        {u"a."_s + face + u"bcdef"_s, u"a."_s + face + u"bcdef"_s}};
    for (const auto &[name, expected] : rows)
        QCOMPARE(RemoveExtension(name), expected);
}

// The sub-folder's own name: the entry without as many characters as the path has, then
// without one separator; the path is not compared.
void TestTextureList::folderEntryName()
{
    const std::tuple<QString, QString, QString> rows[] = {
        {u"C:/grass"_s, u"C:/"_s, u"grass"_s},
        {u"C:/maps//x"_s, u"C:/maps"_s, u"/x"_s},
        {u"C:/"_s + face + face + u"/grass"_s, u"C:/"_s + face + face, u"grass"_s},
        {u"D:/ab/grass"_s, u"C:/"_s + face, u"b/grass"_s}};
    for (const auto &[entry, path, name] : rows) {
        for (const QChar sep : {u'\\', u'/'}) {
            const auto with = [sep](QString text) { return text.replace(u'/', sep); };
            QCOMPARE(FolderEntryName(with(entry), with(path), sep), with(name));
        }
    }
}

// Folders, a separator block when there are files too, files; CR LF between lines, none after the last.
void TestTextureList::buildTextureList()
{
    const QString line = u"-----------"_s;
    const QStringList folders{u"grass"_s, u"old.set"_s};
    const QStringList files{u"stone.jpg"_s, u"wall.tga"_s};
    const struct {
        QStringList folders, files;
        TextureListOptions options;
        QStringList lines;
    } rows[] = {
        {folders, files, {true, true, false}, folders + QStringList{QString(), line, QString()} + files},
        {folders, files, {true, true, true}, folders + QStringList{QString(), line, QString(), u"stone"_s, u"wall"_s}},
        {folders, files, {false, true, false}, files},
        {folders, files, {true, false, true}, folders},
        {{}, files, {true, true, false}, files},
        {folders, {}, {true, true, false}, folders},
        {{}, {u".png"_s}, {false, true, true}, {QString(), QString()}},
        {{}, {u".png"_s, u"a.gif"_s}, {false, true, true}, {QString(), u"a"_s}},
    };
    for (const auto &row : rows) {
        for (const QChar sep : {u'\\', u'/'}) {
            QStringList entries;
            for (const QString &folder : row.folders)
                entries.append(u"C:"_s + sep + u"maps"_s + sep + folder);
            QCOMPARE(BuildTextureList(entries, u"C:"_s + sep + u"maps"_s, row.files, row.options, sep),
                     row.lines.join(u"\r\n"_s));
        }
    }
}

// What the mask box selects when it gains focus: after the last dot that is not first, else all.
void TestTextureList::maskSelection()
{
    const std::pair<QString, std::optional<MaskRange>> rows[] = {
        {u"*.jpg"_s, MaskRange{2, 3}}, {u"*.tar.gz"_s, MaskRange{6, 2}}, {u"stone"_s, MaskRange{0, 5}},
        {u".jpg"_s, MaskRange{0, 4}},  {u"abc."_s, MaskRange{4, 0}},     {u"."_s, MaskRange{0, 1}},
        {QString(), std::nullopt}};
    for (const auto &[mask, expected] : rows)
        QVERIFY2(MaskSelection(mask) == expected, qPrintable(mask));
}

QTEST_APPLESS_MAIN(TestTextureList)
#include "tst_texturelist.moc"
