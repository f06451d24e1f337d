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

#include <ctime>
#include <utime.h>

using namespace Qt::StringLiterals;
using namespace morvane::base;

namespace {

// Names such as folders of textures hold: letters of both cases, runs of digits with and
// without leading zeros, and the punctuation file names carry.
QStringList randomNames(int count, quint32 seed)
{
    const QStringList pieces = u"a A b B c C h H s S t T x X z Z - _ . , ; ' ! ~ ( ) [ ] { } @ # $ % & + = ^ ` "
                               u"0 1 7 00 02 10 99 007 123 0400 65536"_s.split(u' ') + QStringList{u" "_s};
    QRandomGenerator rng(seed);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QString name;
        for (int length = 1 + int(rng.bounded(12)); name.size() < length;)
            name += pieces[int(rng.bounded(int(pieces.size())))];
        names.append(name);
    }
    return names;
}

} // namespace

class TestFolders : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }
    void naturalOrder();
    void patternsAsExpressions();
    void listingsFollowChanges();
    void namesNotUtf8LeftOut();
};

// The locale's collation, numbers by value and case ignored, names equal but for case in
// a fixed order: for enough names to take the quick way, and for the few that never do.
void TestFolders::naturalOrder()
{
    // C sorts as English; in Czech "ch" is one letter, after "h".
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::German), QLocale(QLocale::Czech)}) {
        QLocale::setDefault(locale);
        QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        // Names of printable ASCII alone, enough to be sorted on several threads and few; and many with one beyond.
        for (const auto &[count, beyond] : {std::pair{25000, false}, std::pair{40, false}, std::pair{3000, true}}) {
            QStringList names = randomNames(count, quint32(count)) + QStringList{u"tex10"_s, u"tex2"_s, u"Tex2"_s,
                u"tex02"_s, u"tex002a"_s, u"chata"_s, u"hrad"_s, u"ciste"_s, u"a.b"_s, u"a_b"_s, u"a-b"_s, u"a b"_s};
            if (beyond)
                names << u"caf\u00e9"_s;
            QStringList expected = names;
            std::stable_sort(expected.begin(), expected.end(), [&](const QString &a, const QString &b) {
                const int c = collator.compare(a, b);
                return c != 0 ? c < 0 : a < b;
            });
            sortNaturally(names);
            QCOMPARE(names, expected);
        }
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
        QStringList alternatives{u"(?!)"_s}; // none, for no pattern
        for (const QString &part : pattern.split(u';', Qt::SkipEmptyParts)) {
            QString glob; // brackets are plain characters in a name pattern
            for (const QChar c : part)
                glob += c == u'[' ? u"[[]"_s : c == u']' ? u"[]]"_s : QString(c);
            alternatives.append(QRegularExpression::wildcardToRegularExpression(glob));
        }
        const QRegularExpression slow(alternatives.join(u'|'), QRegularExpression::CaseInsensitiveOption);
        const NamePattern quick(pattern);
        for (const QString &name : names)
            QVERIFY2(quick.matches(name) == slow.match(name).hasMatch(), qPrintable(pattern + u" on "_s + name));
    }
}

// Opening a folder lists it more than once in a row; each listing is of the
// folder as it is, however recently it changed.
void TestFolders::listingsFollowChanges()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"grass"_s));
    QVERIFY(QFile(dir.filePath(u"stone.jpg"_s)).open(QIODevice::WriteOnly));
    const utimbuf aMinuteAgo{::time(nullptr) - 60, ::time(nullptr) - 60};
    QVERIFY(::utime(QFile::encodeName(dir.path()).constData(), &aMinuteAgo) == 0);
    QCOMPARE(listSubFolders(dir.path()), QStringList{u"grass"_s});
    QCOMPARE(listFiles(dir.path(), u"*"_s), QStringList{u"stone.jpg"_s});

    QVERIFY(QFile(dir.filePath(u"wood.jpg"_s)).open(QIODevice::WriteOnly));
    QCOMPARE(listFiles(dir.path(), u"*"_s), (QStringList{u"stone.jpg"_s, u"wood.jpg"_s}));
    QVERIFY(QDir(dir.path()).rmdir(u"grass"_s));
    QCOMPARE(listSubFolders(dir.path()), QStringList());
    QVERIFY(QFile::rename(dir.filePath(u"wood.jpg"_s), dir.filePath(u"oak.jpg"_s)));
    QCOMPARE(listFiles(dir.path(), u"*"_s), (QStringList{u"oak.jpg"_s, u"stone.jpg"_s}));
}

// Names Qt cannot hold are left out of the lists and told, escaped, those of files
// as the pattern picks them; a name of valid UTF-8 that looks the same as Qt shows them stays listed.
void TestFolders::namesNotUtf8LeftOut()
{
    const fixtures::RawTemporaryDir dir;
    for (const QString &name : {u"caf\\xe9.jpg"_s, u"x\\xef\\xbf\\xbd.png"_s, u"\\xff\\xfe"_s, u"stone.jpg"_s})
        QVERIFY(fixtures::makeRaw(dir.path(), name, false));
    for (const QString &name : {u"d\\xe9"_s, u"grass"_s})
        QVERIFY(fixtures::makeRaw(dir.path(), name, true));
    QStringList leftOut{u"?"_s};
    QCOMPARE(listFiles(dir.path(), u"*"_s, &leftOut), (QStringList{u"stone.jpg"_s, u"x\ufffd.png"_s}));
    QCOMPARE(leftOut, (QStringList{u"\\xff\\xfe"_s, u"caf\\xe9.jpg"_s}));
    QCOMPARE(listFiles(dir.path(), u"*.jpg"_s, &leftOut), QStringList{u"stone.jpg"_s});
    QCOMPARE(leftOut, QStringList{u"caf\\xe9.jpg"_s});
    QCOMPARE(listSubFolders(dir.path(), &leftOut), QStringList{u"grass"_s});
    QCOMPARE(leftOut, QStringList{u"d\\xe9"_s});
}

QTEST_GUILESS_MAIN(TestFolders)
#include "tst_folders.moc"
