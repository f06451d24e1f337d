// The About window: its texts, its form, its keys, the marquee, and how the
// main window shows it.
#include "app/abouttext.h"
#include "app/frmabout.h"
#include "app/frmmain.h"
#include "app/windowframe.h"
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

using namespace morvane;
using namespace Qt::StringLiterals;

namespace {

QString marqueeAfter(qsizetype ticks)
{
    QString text = app::marqueeText(app::creditsSentence());
    for (qsizetype i = 0; i < ticks; ++i)
        text = app::rotateLeft(text);
    return text;
}

} // namespace

class TestFrmAbout : public QObject {
    Q_OBJECT

private slots:
    void texts();
    void form();
    void keys();
    void aboutMenuShowsModalWindowAfreshEachTime();
};

// The version unpadded; the credits one line of 96 characters, 70 blanks
// before them in the marquee; a rotation takes the first character last.
void TestFrmAbout::texts()
{
    QCOMPARE(app::versionText(12, 5, 107), u"Version 12.5.107"_s);
    QCOMPARE(app::creditsSentence().size(), 96);
    QCOMPARE(app::creditsSentence().simplified(), app::creditsSentence());
    QCOMPARE(app::marqueeText(u"Hi."_s), QString(70, u' ') + u"Hi."_s);
    QCOMPARE(app::rotateLeft(u" abcd"_s), u"abcd "_s);
    QCOMPARE(app::rotateLeft(QString()), QString());
}

// The form in twips, 15 to a pixel: a few controls, the etched line (a
// 2-pixel white line under a grey one); the texts, colours and fonts: every
// control in Verdana 8.25, the title and the marquee bold.
void TestFrmAbout::form()
{
    app::FrmAbout about;
    QCOMPARE(about.size(), QSize(4980 / 15, 3300 / 15));
    for (const auto &[name, twips] : {std::pair{"txtMessage", QRect(120, 1440, 4695, 375)},
                                      std::pair{"cmdOK", QRect(3480, 2760, 1260, 465)},
                                      std::pair{"Line1_0", QRect(105, 2640, 4800 - 105 + 15, 30)}}) {
        const QRect r = test::control(&about, name)->geometry();
        QCOMPARE(QRect(r.x() * 15, r.y() * 15, r.width() * 15, r.height() * 15), twips);
    }
    QCOMPARE(about.windowTitle(), u"About"_s);
    for (const auto &[name, text] :
         {std::pair{"lblTitle", u"MVT"_s}, std::pair{"lblVersion", u"Version " MORVANE_VERSION ""_s},
          std::pair{"lblDescription", u"Add new textures to QuilloEngine's cfg file(s) with ease."_s}})
        QCOMPARE(test::control<QLabel>(&about, name)->text(), text);
    for (const auto &[name, colour] :
         {std::pair{"Label3", QColor(128, 128, 128)}, std::pair{"txtMessage", QColor(0, 0, 255)}}) {
        QWidget *control = test::control(&about, name);
        control->ensurePolished();
        QCOMPARE(control->palette().color(control->foregroundRole()), colour);
    }
    for (QWidget *control : about.findChildren<QWidget *>()) {
        control->ensurePolished();
        QCOMPARE(control->font().family(), app::formFont(u"Verdana"_s, 8.25).family());
        QCOMPARE(control->font().pointSizeF(), 8.25);
        QCOMPARE(control->font().bold(), control->objectName() == u"lblTitle" || control->objectName() == u"txtMessage");
    }
}

// OK has the focus and is the default button, and Tab cannot take the focus
// off it; Enter and Esc press it, on it or in the text box.
void TestFrmAbout::keys()
{
    for (const auto &[key, from] : {std::pair{Qt::Key_Tab, "cmdOK"}, std::pair{Qt::Key_Backtab, "cmdOK"},
                                    std::pair{Qt::Key_Return, "cmdOK"}, std::pair{Qt::Key_Return, "txtMessage"},
                                    std::pair{Qt::Key_Escape, "txtMessage"}}) {
        app::FrmAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        auto *ok = test::control<QPushButton>(&about, "cmdOK");
        QCOMPARE(QApplication::focusWidget(), ok);
        QVERIFY(ok->isDefault());
        QWidget *target = test::control(&about, from);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QSignalSpy clicked(ok, &QPushButton::clicked);
        QTest::keyClick(target, key);
        const bool staysOpen = key == Qt::Key_Tab || key == Qt::Key_Backtab;
        QTRY_COMPARE(clicked.count(), qsizetype(staysOpen ? 0 : 1));
        QCOMPARE(about.isVisible(), staysOpen);
        QVERIFY(!staysOpen || QApplication::focusWidget() == ok);
    }
}

void TestFrmAbout::aboutMenuShowsModalWindowAfreshEachTime()
{
    test::RecordingMessageBoxes messages;
    test::RecordingClipboard clipboard;
    app::FrmMain window(messages, clipboard);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowIcon().availableSizes(), QList<QSize>{QSize(16, 16)});
    auto *menu = test::control<QAction>(&window, "mnuAbout");
    QVERIFY(menu->isEnabled());

    for (int showing = 1; showing <= 2; ++showing) {
        bool inspected = false;
        test::whenModalShows(this, [&](QWidget *modal) {
            auto *about = qobject_cast<app::FrmAbout *>(modal);
            QVERIFY(about);
            inspected = true;
            QVERIFY(about->parentWidget() == nullptr);
            QCOMPARE(about->windowModality(), Qt::ApplicationModal);
            QVERIFY(!(about->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
            QCOMPARE(about->windowIcon().availableSizes(), QList<QSize>{QSize(16, 16)});
            // Each showing starts from the blank box, whatever the last one
            // showed, and each tick shows the marquee rotated by one more,
            // over whatever was typed into it.
            auto *box = test::control<QLineEdit>(about, "txtMessage");
            auto *timer = test::control<QTimer>(about, "Timer1");
            QVERIFY(box->text().isEmpty());
            QCOMPARE(timer->interval(), 100);
            QSignalSpy ticks(timer, &QTimer::timeout);
            QVERIFY(ticks.wait());
            QCOMPARE(box->text(), marqueeAfter(1));
            box->setFocus();
            QTest::keyClicks(box, u"typed"_s);
            QVERIFY(box->text().contains(u"typed"_s));
            QVERIFY(ticks.wait());
            QCOMPARE(box->text(), marqueeAfter(ticks.count()));
            QCOMPARE(box->cursorPosition(), 0); // the box shows the start of the text
            QTest::keyClick(test::control(about, "cmdOK"), Qt::Key_Escape);
        });
        menu->trigger(); // returns once About has been closed
        QVERIFY(inspected);
    }
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(window.findChildren<app::FrmAbout *>().isEmpty());
}

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
