#include "texcfg/texturelist.h"

#include <QTest>

using namespace morvane::texcfg;
using namespace Qt::StringLiterals;

namespace {

QString lines(const QStringList &parts)
{
    return parts.join("\r\n"_L1);
}

// Turns a path written with "\" into one written with sep.
QString withSep(QString path, QChar sep)
{
    return path.replace(u'\\', sep);
}

} // namespace

class TestTextureList : public QObject {
    Q_OBJECT

private slots:
    void removeExtension_data();
    void removeExtension();
    void folderEntryName_data();
    void folderEntryName();
    void buildTextureList_data();
    void buildTextureList();
    void buildTextureListLargeFolder();
};

void TestTextureList::removeExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("three after the dot") << u"stone.jpg"_s << u"stone"_s;
    QTest::newRow("four after the dot") << u"sky.jpeg"_s << u"sky"_s;
    QTest::newRow("last dot counts") << u"x.tar.gz"_s << u"x.tar"_s;
    QTest::newRow("five after the dot") << u"a.bcdef"_s << u"a"_s;
    QTest::newRow("six after the dot") << u"a.bcdefg"_s << u"a.bcdefg"_s;
    QTest::newRow("no dot") << u"README"_s << u"README"_s;
    QTest::newRow("trailing dot") << u"x."_s << u"x"_s;
    QTest::newRow("name is the extension") << u".png"_s << QString();
    QTest::newRow("short without dot") << u"ab"_s << u"ab"_s;
    // U+1F600 is a surrogate pair: five characters after the dot, seven UTF-16 units.
    QTest::newRow("surrogate pairs count as one") << u"a.\U0001F600\U0001F600bcd"_s << u"a"_s;
    QTest::newRow("six characters with pairs") << u"a.\U0001F600bcdef"_s << u"a.\U0001F600bcdef"_s;
}

void TestTextureList::removeExtension()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(RemoveExtension(name), expected);
}

void TestTextureList::folderEntryName_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("deeper folder") << u"C:\\maps\\grass"_s << u"C:\\maps"_s << u"grass"_s;
    QTest::newRow("drive root") << u"C:\\grass"_s << u"C:\\"_s << u"grass"_s;
    QTest::newRow("folder named like a file") << u"C:\\maps\\old.set"_s << u"C:\\maps"_s << u"old.set"_s;
    QTest::newRow("only one separator dropped") << u"C:\\maps\\\\x"_s << u"C:\\maps"_s << u"\\x"_s;
    QTest::newRow("path not compared") << u"D:\\mapx\\grass"_s << u"C:\\maps"_s << u"grass"_s;
    QTest::newRow("surrogate pair in path") << u"C:\\\U0001F600\\grass"_s << u"C:\\\U0001F600"_s << u"grass"_s;
    QTest::newRow("two pairs in path")
        << u"C:\\\U0001F600\U0001F600\\grass"_s << u"C:\\\U0001F600\U0001F600"_s << u"grass"_s;
}

void TestTextureList::folderEntryName()
{
    QFETCH(QString, entry);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    for (QChar sep : {u'\\', u'/'}) {
        QCOMPARE(FolderEntryName(withSep(entry, sep), withSep(path, sep), sep), withSep(expected, sep));
    }
    // On the platform's own separator, the default.
    const QChar own = QDir::separator();
    QCOMPARE(FolderEntryName(withSep(entry, own), withSep(path, own)), withSep(expected, own));
}

void TestTextureList::buildTextureList_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("listFolders");
    QTest::addColumn<bool>("listFiles");
    QTest::addColumn<bool>("removeExt");
    QTest::addColumn<QString>("expected");

    const QStringList twoFolders{u"C:\\maps\\grass"_s, u"C:\\maps\\wood"_s};
    const QStringList twoFiles{u"stone.jpg"_s, u"wall.tga"_s};
    const QString sep = u"-----------"_s;

    QTest::newRow("folders and files") << u"C:\\maps"_s << twoFolders << twoFiles << true << true << false
                                       << lines({u"grass"_s, u"wood"_s, QString(), sep, QString(), u"stone.jpg"_s,
                                                 u"wall.tga"_s});
    QTest::newRow("folders and files, extensions removed from files only")
        << u"C:\\maps"_s << QStringList{u"C:\\maps\\grass"_s, u"C:\\maps\\old.set"_s} << twoFiles << true << true
        << true << lines({u"grass"_s, u"old.set"_s, QString(), sep, QString(), u"stone"_s, u"wall"_s});
    QTest::newRow("files only") << u"C:\\maps"_s << twoFolders << twoFiles << false << true << false
                                << lines({u"stone.jpg"_s, u"wall.tga"_s});
    QTest::newRow("folders only") << u"C:\\maps"_s << twoFolders << twoFiles << true << false << true
                                  << lines({u"grass"_s, u"wood"_s});
    QTest::newRow("no sub-folders, no separator")
        << u"C:\\maps"_s << QStringList() << QStringList{u"stone.jpg"_s} << true << true << false << u"stone.jpg"_s;
    QTest::newRow("no files, no separator")
        << u"C:\\maps"_s << QStringList{u"C:\\maps\\grass"_s} << QStringList() << true << true << false << u"grass"_s;
    QTest::newRow("nothing listed") << u"C:\\maps"_s << twoFolders << twoFiles << false << false << true << QString();
    QTest::newRow("one empty line") << u"C:\\maps"_s << QStringList() << QStringList{u".png"_s} << false << true
                                    << true << u"\r\n"_s;
    QTest::newRow("empty first of two") << u"C:\\maps"_s << QStringList() << QStringList{u".png"_s, u"a.gif"_s}
                                        << false << true << true << u"\r\na"_s;
}

void TestTextureList::buildTextureList()
{
    QFETCH(QString, path);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    QFETCH(bool, listFolders);
    QFETCH(bool, listFiles);
    QFETCH(bool, removeExt);
    QFETCH(QString, expected);

    for (QChar sep : {u'\\', u'/'}) {
        QStringList sepFolders;
        for (const QString &f : std::as_const(folders))
            sepFolders.append(withSep(f, sep));
        const QString list =
            BuildTextureList(sepFolders, withSep(path, sep), files, {listFolders, listFiles, removeExt}, sep);
        QCOMPARE(list, expected);
    }
}

void TestTextureList::buildTextureListLargeFolder()
{
    // Well past what a 16-bit count could hold.
    QStringList files;
    for (int i = 0; i < 100000; ++i)
        files.append(u"tex"_s + QString::number(i) + u".jpg"_s);
    const QString list = BuildTextureList({}, u"/maps"_s, files, {false, true, false});
    const QStringList entries = list.split("\r\n"_L1);
    QCOMPARE(entries.size(), 100000);
    QCOMPARE(entries.first(), u"tex0.jpg"_s);
    QCOMPARE(entries.last(), u"tex99999.jpg"_s);
}

QTEST_APPLESS_MAIN(TestTextureList)
#include "tst_texturelist.moc"
