// The About window: its form, its texts, its keys, the marquee, and how the
// main window shows it.
#include "app/abouttext.h"
#include "app/frmabout.h"
#include "app/frmmain.h"
#include "support/recordingadapters.h"
#include "support/testhelpers.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace morvane;
using namespace Qt::StringLiterals;

namespace {

QString marqueeAfter(int ticks)
{
    QString text = app::marqueeText(app::creditsSentence());
    for (int i = 0; i < ticks; ++i)
        text = app::rotateLeft(text);
    return text;
}

QTimer *timerOf(QWidget *about)
{
    return test::control<QTimer>(about, "Timer1");
}

QLineEdit *messageOf(QWidget *about)
{
    return test::control<QLineEdit>(about, "txtMessage");
}

} // namespace

class TestFrmAbout : public QObject {
    Q_OBJECT

private slots:
    void form();
    void fonts();
    void focusStaysOnOk();
    void keysPressOk_data();
    void keysPressOk();
    void typingIsOverwrittenAtNextTick();
    void aboutMenuShowsModalWindowAfreshEachTime();

private:
    // Shows About from the main window's menu; inspect runs while it is open.
    void showFromMenu(app::FrmMain &window, const std::function<void(app::FrmAbout *)> &inspect);
};

// The form in twips, 15 to a pixel: a few controls, the etched line (a
// 2-pixel white line under a grey one), the texts and colours.
void TestFrmAbout::form()
{
    app::FrmAbout about;
    const auto inTwips = [&](const char *name) {
        const QRect r = about.findChild<QWidget *>(QString::fromLatin1(name))->geometry();
        return QRect(r.x() * 15, r.y() * 15, r.width() * 15, r.height() * 15);
    };
    QCOMPARE(about.size(), QSize(4980 / 15, 3300 / 15));
    QCOMPARE(inTwips("txtMessage"), QRect(120, 1440, 4695, 375));
    QCOMPARE(inTwips("cmdOK"), QRect(3480, 2760, 1260, 465));
    QCOMPARE(inTwips("Line1_0"), QRect(105, 2640, 4800 - 105 + 15, 30));

    QCOMPARE(about.windowTitle(), u"About"_s);
    const auto text = [&](const char *name) { return about.findChild<QLabel *>(QString::fromLatin1(name))->text(); };
    QCOMPARE(text("lblTitle"), u"MVT"_s);
    QCOMPARE(text("lblVersion"), u"Version "_s + QStringLiteral(MORVANE_PROJECT_VERSION));
    QCOMPARE(text("lblDescription"), u"Add new textures to QuilloEngine's cfg file(s) with ease."_s);

    for (const auto &[name, colour] : {std::pair{"Label3", QColor(128, 128, 128)}, std::pair{"txtMessage", QColor(0, 0, 255)}}) {
        auto *control = about.findChild<QWidget *>(QString::fromLatin1(name));
        control->ensurePolished();
        QCOMPARE(control->palette().color(control->foregroundRole()), colour);
    }
}

// Every control in Verdana 8.25, the title and the marquee bold.
void TestFrmAbout::fonts()
{
    app::FrmAbout about;
    const QStringList bold{u"lblTitle"_s, u"txtMessage"_s};
    for (QWidget *control : about.findChildren<QWidget *>()) {
        control->ensurePolished();
        QCOMPARE(control->font().family(), u"Verdana"_s);
        QCOMPARE(control->font().pointSizeF(), 8.25);
        QCOMPARE(control->font().bold(), bold.contains(control->objectName()));
    }
}

void TestFrmAbout::focusStaysOnOk()
{
    app::FrmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowActive(&about));
    auto *ok = about.findChild<QPushButton *>(u"cmdOK"_s);
    QCOMPARE(QApplication::focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), ok);
    QVERIFY(ok->isDefault());
}

void TestFrmAbout::keysPressOk_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("fromMessageBox");
    QTest::newRow("Enter on OK") << int(Qt::Key_Return) << false;
    QTest::newRow("Enter in the text box") << int(Qt::Key_Return) << true;
    QTest::newRow("Esc in the text box") << int(Qt::Key_Escape) << true;
}

void TestFrmAbout::keysPressOk()
{
    QFETCH(int, key);
    QFETCH(bool, fromMessageBox);
    app::FrmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowActive(&about));
    auto *ok = about.findChild<QPushButton *>(u"cmdOK"_s);
    QWidget *target = ok;
    if (fromMessageBox) {
        target = messageOf(&about);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
    }
    QSignalSpy clicked(ok, &QPushButton::clicked);
    QTest::keyClick(target, Qt::Key(key));
    QTRY_COMPARE(clicked.count(), qsizetype(1));
    QVERIFY(!about.isVisible());
}

void TestFrmAbout::typingIsOverwrittenAtNextTick()
{
    app::FrmAbout about;
    QSignalSpy ticks(timerOf(&about), &QTimer::timeout); // counts every tick from the first
    about.show();
    QVERIFY(QTest::qWaitForWindowActive(&about));
    QLineEdit *box = messageOf(&about);
    box->setFocus();
    QTest::keyClicks(box, u"typed"_s);
    QVERIFY(box->text().contains(u"typed"_s));
    QVERIFY(ticks.wait());
    QCOMPARE(box->text(), marqueeAfter(int(ticks.count())));
}

void TestFrmAbout::showFromMenu(app::FrmMain &window, const std::function<void(app::FrmAbout *)> &inspect)
{
    auto *menu = window.findChild<QAction *>(u"mnuAbout"_s);
    QVERIFY(menu->isEnabled());
    bool inspected = false;
    test::whenModalShows(this, [&](QWidget *modal) {
        auto *about = qobject_cast<app::FrmAbout *>(modal);
        QVERIFY(about);
        inspect(about);
        inspected = true;
        QTest::keyClick(about->findChild<QPushButton *>(u"cmdOK"_s), Qt::Key_Escape);
    });
    menu->trigger(); // returns once About has been closed
    QVERIFY(inspected);
}

void TestFrmAbout::aboutMenuShowsModalWindowAfreshEachTime()
{
    test::RecordingMessageBoxes messages;
    test::RecordingClipboard clipboard;
    app::FrmMain window(messages, clipboard);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowIcon().availableSizes(), QList<QSize>{QSize(16, 16)});

    for (int showing = 1; showing <= 2; ++showing) {
        showFromMenu(window, [&](app::FrmAbout *about) {
            QVERIFY(about->parentWidget() == nullptr);
            QCOMPARE(about->windowModality(), Qt::ApplicationModal);
            QVERIFY(!about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
            QVERIFY(!about->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
            QCOMPARE(about->windowIcon().availableSizes(), QList<QSize>{QSize(16, 16)});
            // Each showing starts from the blank box, whatever the last one
            // showed, and the first tick shows the marquee rotated by one.
            QVERIFY(messageOf(about)->text().isEmpty());
            QCOMPARE(timerOf(about)->interval(), 100);
            QSignalSpy ticks(timerOf(about), &QTimer::timeout);
            QVERIFY(ticks.wait());
            QCOMPARE(messageOf(about)->text(), marqueeAfter(1));
            QCOMPARE(messageOf(about)->cursorPosition(), 0); // the box shows the start of the text
            if (showing == 1) {
                while (ticks.count() < 3)
                    QVERIFY(ticks.wait());
                QCOMPARE(messageOf(about)->text(), marqueeAfter(3));
            }
        });
    }
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(window.findChildren<app::FrmAbout *>().isEmpty());
}

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
