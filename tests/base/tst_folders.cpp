// Folder listings and their order: the quick ways (one pass for both lists,
// name patterns without expressions, natural order without collation keys)
// give exactly what the slow ways give.
#include "base/folders.h"
#include "base/namepattern.h"
#include "support/fixtures.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>
#include <utime.h>

using namespace Qt::StringLiterals;
using namespace morvane::base;

namespace {

// Names such as folders of textures hold: letters of both cases, digits with
// and without leading zeros, and the punctuation file names carry.
QStringList randomNames(int count, quint32 seed)
{
    static const QString alphabet = u"aAbBcChHsStTxXzZ0123456789 -_.,;'!~()[]{}@#$%&+=^`"_s;
    QRandomGenerator rng(seed);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QString name;
        const int length = 1 + int(rng.bounded(12));
        for (int c = 0; c < length; ++c) {
            const bool digits = rng.bounded(4) == 0;
            if (digits) {
                const int run = 1 + int(rng.bounded(4));
                for (int d = 0; d < run; ++d)
                    name += QChar(u'0' + int(rng.bounded(10)));
            } else {
                name += alphabet[int(rng.bounded(int(alphabet.size())))];
            }
        }
        names.append(name);
    }
    return names;
}

// The order the locale's collation gives: numbers by value, letter case
// ignored, names equal but for case in a fixed order.
QStringList collated(QStringList names, const QLocale &locale)
{
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        const int c = collator.compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

// Makes path's last change seconds ago.
bool age(const QString &path, int seconds)
{
    struct stat info;
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &info) != 0)
        return false;
    const utimbuf times{info.st_atime - seconds, info.st_mtime - seconds};
    return ::utime(name.constData(), &times) == 0;
}

} // namespace

class TestFolders : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void naturalOrder_data();
    void naturalOrder();
    void patternsAsExpressions();
    void listingsFollowChanges();
    void namesNotUtf8LeftOut_data();
    void namesNotUtf8LeftOut();
};

void TestFolders::naturalOrder_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C, sorted as English") << QLocale::c();
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("Czech, where ch is one letter") << QLocale(QLocale::Czech, QLocale::CzechRepublic);
}

// Enough names for the quick way, and the few that always go the slow one.
void TestFolders::naturalOrder()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    const QLocale collation = locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
    // Names of printable ASCII alone, enough to be sorted on several threads
    // and few; and many with one beyond.
    for (const auto &[count, beyond] : {std::pair{25000, false}, std::pair{40, false}, std::pair{3000, true}}) {
        QStringList names = randomNames(count, quint32(count));
        names << u"tex10"_s << u"tex2"_s << u"Tex2"_s << u"tex02"_s << u"tex002a"_s << u"chata"_s << u"hrad"_s
              << u"ciste"_s << u"a.b"_s << u"a_b"_s << u"a-b"_s << u"a b"_s;
        if (beyond)
            names << u"caf\u00e9"_s;
        const QStringList expected = collated(names, collation);
        sortNaturally(names);
        QCOMPARE(names, expected);
    }
}

void TestFolders::patternsAsExpressions()
{
    const QStringList names = randomNames(2000, 7)
                              + QStringList{u"Stone.JPG"_s, u"stone.jpg"_s, u"noext"_s, u"a.tar.gz"_s,
                                            u"\u00c9t\u00e9.Jpg"_s, u"a.jpg.bak"_s, u"a.bmpx"_s, u"tex1.jpg"_s,
                                            u"tex10.jpg"_s, u"[a].jpg"_s, u"axb"_s, u"a.b"_s};
    // Every quick kind, and patterns only an expression can match: "?",
    // brackets as plain characters, a dot as a dot.
    for (const QString &pattern : {u"*"_s, u"*.*"_s, u"*.jpg"_s, u"*.JPG;*.gz"_s, u"*t*"_s, u"*[*"_s, u"*.?pg"_s,
                                   u"st*"_s, u""_s, u"*.bmp*"_s, u"tex?.jpg"_s, u"[a].jpg"_s, u"a.b"_s}) {
        QList<QRegularExpression> expressions;
        for (const QString &part : pattern.split(u';', Qt::SkipEmptyParts)) {
            QString glob; // brackets are plain characters in a name pattern
            for (const QChar c : part)
                glob += c == u'[' ? u"[[]"_s : c == u']' ? u"[]]"_s : QString(c);
            expressions.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(glob),
                                                  QRegularExpression::CaseInsensitiveOption));
        }
        const NamePattern quick(pattern);
        for (const QString &name : names) {
            const bool expected = std::any_of(expressions.cbegin(), expressions.cend(),
                                              [&](const QRegularExpression &re) { return re.match(name).hasMatch(); });
            QVERIFY2(quick.matches(name) == expected, qPrintable(pattern + u" on "_s + name));
        }
    }
}

// Opening a folder lists it more than once in a row; each listing is of the
// folder as it is, however recently it changed.
void TestFolders::listingsFollowChanges()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"grass"_s));
    QVERIFY(QFile(dir.filePath(u"stone.jpg"_s)).open(QIODevice::WriteOnly));
    QVERIFY(age(dir.path(), 60));
    QCOMPARE(listSubFolders(dir.path()), QStringList{u"grass"_s});
    QCOMPARE(listFiles(dir.path(), u"*"_s), QStringList{u"stone.jpg"_s});

    QVERIFY(QFile(dir.filePath(u"wood.jpg"_s)).open(QIODevice::WriteOnly));
    QCOMPARE(listFiles(dir.path(), u"*"_s), (QStringList{u"stone.jpg"_s, u"wood.jpg"_s}));
    QVERIFY(QDir(dir.path()).rmdir(u"grass"_s));
    QCOMPARE(listSubFolders(dir.path()), QStringList());
    QVERIFY(QFile::rename(dir.filePath(u"wood.jpg"_s), dir.filePath(u"oak.jpg"_s)));
    QCOMPARE(listFiles(dir.path(), u"*"_s), (QStringList{u"oak.jpg"_s, u"stone.jpg"_s}));
}

// Names Qt cannot hold are left out of the lists and told, escaped; a name
// of valid UTF-8 that looks the same as Qt shows them stays listed.
void TestFolders::namesNotUtf8LeftOut_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("leftOut");
    QTest::newRow("all") << u"*"_s << QStringList{u"stone.jpg"_s, u"x\ufffd.png"_s}
                         << QStringList{u"\\xff\\xfe"_s, u"caf\\xe9.jpg"_s};
    QTest::newRow("the pattern picks what is told") << u"*.jpg"_s << QStringList{u"stone.jpg"_s}
                                                    << QStringList{u"caf\\xe9.jpg"_s};
}

void TestFolders::namesNotUtf8LeftOut()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, files);
    QFETCH(QStringList, leftOut);
    const fixtures::RawTemporaryDir dir;
    for (const QString &name : {u"caf\\xe9.jpg"_s, u"x\\xef\\xbf\\xbd.png"_s, u"\\xff\\xfe"_s, u"stone.jpg"_s})
        QVERIFY(fixtures::makeRaw(dir.path(), name, false));
    for (const QString &name : {u"d\\xe9"_s, u"grass"_s})
        QVERIFY(fixtures::makeRaw(dir.path(), name, true));
    QStringList leftOutNow{u"?"_s};
    QCOMPARE(listFiles(dir.path(), pattern, &leftOutNow), files);
    QCOMPARE(leftOutNow, leftOut);
    QCOMPARE(listSubFolders(dir.path(), &leftOutNow), QStringList{u"grass"_s});
    QCOMPARE(leftOutNow, QStringList{u"d\\xe9"_s});
}

QTEST_GUILESS_MAIN(TestFolders)
#include "tst_folders.moc"
