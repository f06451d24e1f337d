// The About window's texts: the version line, the credits and the marquee rotation.
#include "app/abouttext.h"

#include <QTest>

using namespace morvane::app;
using namespace Qt::StringLiterals;

class TestAboutText : public QObject {
    Q_OBJECT

private slots:
    void versionText_data();
    void versionText();
    void creditsAreOneLineOf96();
    void marqueeStartsWith70Blanks();
    void rotateLeft_data();
    void rotateLeft();
    void marqueeComesBackAfterFullCycle_data();
    void marqueeComesBackAfterFullCycle();
};

void TestAboutText::versionText_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");
    QTest::newRow("program's own") << 1 << 0 << 4 << u"Version 1.0.4"_s;
    QTest::newRow("all zero") << 0 << 0 << 0 << u"Version 0.0.0"_s;
    QTest::newRow("several digits, no padding") << 12 << 5 << 107 << u"Version 12.5.107"_s;
    QTest::newRow("tens keep their zero") << 10 << 20 << 30 << u"Version 10.20.30"_s;
}

void TestAboutText::versionText()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(morvane::app::versionText(major, minor, revision), expected);
}

void TestAboutText::creditsAreOneLineOf96()
{
    const QString credits = creditsSentence();
    QCOMPARE(credits.size(), 96);
    QVERIFY(!credits.contains(u'\n') && !credits.contains(u'\r'));
    QCOMPARE(credits.trimmed(), credits);
}

void TestAboutText::marqueeStartsWith70Blanks()
{
    const QString marquee = marqueeText(u"abc"_s);
    QCOMPARE(marquee, QString(70, u' ') + u"abc"_s);
    QCOMPARE(marqueeText(QString()), QString(70, u' '));
}

void TestAboutText::rotateLeft_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty stays empty") << QString() << QString();
    QTest::newRow("one character") << u"x"_s << u"x"_s;
    QTest::newRow("first goes last") << u"abcd"_s << u"bcda"_s;
    QTest::newRow("leading blank goes last") << u" ab"_s << u"ab "_s;
    QTest::newRow("repeated characters") << u"aab"_s << u"aba"_s;
}

void TestAboutText::rotateLeft()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(morvane::app::rotateLeft(text), expected);
}

void TestAboutText::marqueeComesBackAfterFullCycle_data()
{
    QTest::addColumn<QString>("credits");
    QTest::newRow("the program's credits") << creditsSentence();
    QTest::newRow("short") << u"Hi."_s;
    QTest::newRow("none") << QString();
}

void TestAboutText::marqueeComesBackAfterFullCycle()
{
    QFETCH(QString, credits);
    const QString start = marqueeText(credits);
    const qsizetype period = 70 + credits.size();
    QString text = start;
    for (qsizetype tick = 1; tick <= period; ++tick) {
        text = morvane::app::rotateLeft(text);
        // After tick t the text is the start rotated left by t.
        QCOMPARE(text, start.mid(tick % period) + start.left(tick % period));
        if (tick < period && !credits.isEmpty())
            QVERIFY(text != start);
    }
    QCOMPARE(text, start);
}

QTEST_APPLESS_MAIN(TestAboutText)
#include "tst_abouttext.moc"
