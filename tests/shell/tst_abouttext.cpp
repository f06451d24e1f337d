// The About window's texts: the version line, the credits and the marquee rotation.
#include "app/abouttext.h"

#include <QTest>

using namespace morvane::app;
using namespace Qt::StringLiterals;

class TestAboutText : public QObject {
    Q_OBJECT

private slots:
    void versionText();
    void creditsAreOneLineOf96();
    void marqueeStartsWith70Blanks();
    void rotateLeft();
    void marqueeComesBackAfterFullCycle_data();
    void marqueeComesBackAfterFullCycle();
};

void TestAboutText::versionText()
{
    QCOMPARE(morvane::app::versionText(1, 0, 4), u"Version 1.0.4"_s);
    QCOMPARE(morvane::app::versionText(12, 5, 107), u"Version 12.5.107"_s); // no padding
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

// The first character goes last.
void TestAboutText::rotateLeft()
{
    QCOMPARE(morvane::app::rotateLeft(QString()), QString());
    QCOMPARE(morvane::app::rotateLeft(u"x"_s), u"x"_s);
    QCOMPARE(morvane::app::rotateLeft(u" abcd"_s), u"abcd "_s);
}

void TestAboutText::marqueeComesBackAfterFullCycle_data()
{
    QTest::addColumn<QString>("credits");
    QTest::newRow("the program's credits") << creditsSentence();
    QTest::newRow("short") << u"Hi."_s;
    QTest::newRow("none") << QString();
}

// One tick per character of the marquee brings it back, and no fewer.
void TestAboutText::marqueeComesBackAfterFullCycle()
{
    QFETCH(QString, credits);
    const QString start = marqueeText(credits);
    QString text = start;
    for (qsizetype tick = 1; tick < start.size(); ++tick) {
        text = morvane::app::rotateLeft(text);
        QVERIFY(text != start || credits.isEmpty());
    }
    QCOMPARE(morvane::app::rotateLeft(text), start);
}

QTEST_APPLESS_MAIN(TestAboutText)
#include "tst_abouttext.moc"
