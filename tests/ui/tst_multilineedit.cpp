#include "ui/multilineedit.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace morvane::ui;
using namespace Qt::StringLiterals;

namespace {

// A window that records the Return and Enter keys its children let through.
class Window : public QWidget {
public:
    QList<QKeyCombination> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            keys.append(event->keyCombination());
    }
};

// Rows of the image with a pixel far from the background colour.
int inkedRows(const QImage &image, QColor background)
{
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) +
                    std::abs(c.blue() - background.blue()) > 150) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

// Types text that has no key of its own, as a keyboard layout or compose key would.
void typeText(QWidget *target, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

bool findColour(const QImage &image, QColor colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

// Presses each key in turn.
void press(QWidget *target, std::initializer_list<Qt::Key> keys, Qt::KeyboardModifiers modifiers = {})
{
    for (const Qt::Key key : keys)
        QTest::keyClick(target, key, modifiers);
}

QImage viewportImage(MultiLineEdit &box)
{
    box.viewport()->repaint();
    return box.viewport()->grab().toImage();
}

} // namespace

class TestMultiLineEdit : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void textRoundTrip_data();
    void textRoundTrip();
    void editingReadsBackWithCrLf();
    void surrogatePairsMoveAsOne();
    void returnGoesToWindowCtrlReturnBreaksLine();
    void tabMovesFocus();
    void clipboard();
    void undoRedo();
    void readOnly();
    void mouseSelects();
    void verticalMovesAndPaging();
    void inputMethodCommit();
    void styleAndWrapping();
    void hundredThousandLines();
    void accessibleText();

private:
    MultiLineEdit *box = nullptr;
    std::unique_ptr<Window> window;
};

void TestMultiLineEdit::init()
{
    window = std::make_unique<Window>();
    auto *layout = new QVBoxLayout(window.get());
    box = new MultiLineEdit(window.get());
    layout->addWidget(box);
    layout->addWidget(new QLineEdit(window.get()));
    window->resize(300, 200);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    box->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), box);
}

void TestMultiLineEdit::cleanup()
{
    window.reset();
    box = nullptr;
}

void TestMultiLineEdit::textRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::newRow("empty") << QString() << 1;
    QTest::newRow("CR LF") << u"stone.jpg\r\nwood.jpg"_s << 2;
    QTest::newRow("trailing CR LF") << u"a\r\n"_s << 2;
    QTest::newRow("lone LF and CR stay in their line") << u"a\nb\rc\n\rd"_s << 1;
    QTest::newRow("CR before CR LF") << u"a\r\r\nb"_s << 2;
    QTest::newRow("surrogate pairs") << u"\U0001F600\r\n\U00010348x"_s << 2;
}

void TestMultiLineEdit::textRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(int, lines);
    QSignalSpy changed(box, &MultiLineEdit::textChanged);
    box->setText(text);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->lineCount(), lines);
    QCOMPARE(changed.size(), 1);
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier); // moving the caret changes nothing
    QCOMPARE(box->cursorPosition(), text.size());
    QCOMPARE(box->text(), text);
}

void TestMultiLineEdit::editingReadsBackWithCrLf()
{
    QTest::keyClicks(box, u"ab"_s);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(box, u"cd"_s);
    QTest::keyClick(box, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(box->text(), u"ab\r\ncd\r\n"_s);
    QCOMPARE(box->lineCount(), 3);

    QTest::keyClick(box, Qt::Key_Backspace); // joins the lines again
    press(box, {Qt::Key_Up, Qt::Key_Home, Qt::Key_Delete, Qt::Key_End, Qt::Key_Delete}); // then the break after "b"
    QCOMPARE(box->text(), u"bcd"_s);

    QTest::keyClick(box, Qt::Key_Home);
    press(box, {Qt::Key_Right, Qt::Key_Right}, Qt::ShiftModifier);
    QTest::keyClicks(box, u"X"_s); // typing replaces the selection
    QCOMPARE(box->text(), u"Xd"_s);

    // Edits leave lone CR and LF elsewhere as they are.
    box->setText(u"a\rb\r\nc\n"_s);
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClicks(box, u"z"_s);
    QCOMPARE(box->text(), u"a\rb\r\nzc\n"_s);

    box->setText(u"one two  three"_s);
    QTest::keyClick(box, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(box->cursorPosition(), 4);
    QTest::keyClick(box, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(box->cursorPosition(), 9);
    QTest::keyClick(box, Qt::Key_Backspace, Qt::ControlModifier);
    QCOMPARE(box->text(), u"one three"_s);
}

void TestMultiLineEdit::surrogatePairsMoveAsOne()
{
    const QString face = u"\U0001F600"_s;
    box->setText(u"a"_s + face + u"b"_s);
    press(box, {Qt::Key_Right, Qt::Key_Right});
    QCOMPARE(box->cursorPosition(), 3);
    QTest::keyClick(box, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(box->selectedText(), face);
    press(box, {Qt::Key_Right, Qt::Key_Backspace});
    QCOMPARE(box->text(), u"ab"_s);
    typeText(box, face);
    QCOMPARE(box->text(), u"a"_s + face + u"b"_s);
    press(box, {Qt::Key_Left, Qt::Key_Delete});
    QCOMPARE(box->text(), u"ab"_s);
    box->setText(u"a"_s + face);
    box->setCursorPosition(2); // inside the pair: the caret stays before it
    QCOMPARE(box->cursorPosition(), 1);
}

void TestMultiLineEdit::returnGoesToWindowCtrlReturnBreaksLine()
{
    box->setText(u"a"_s);
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(box, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(window->keys, (QList<QKeyCombination>{Qt::Key_Return, Qt::KeypadModifier | Qt::Key_Enter,
                                                   Qt::ShiftModifier | Qt::Key_Return}));
    QCOMPARE(box->text(), u"a"_s);
    window->keys.clear();
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(window->keys.isEmpty());
    QCOMPARE(box->text(), u"\r\na"_s);
}

void TestMultiLineEdit::tabMovesFocus()
{
    auto *line = window->findChild<QLineEdit *>();
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), line);
    QTest::keyClick(line, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), box);
    QTest::keyClick(box, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(box->text(), QString());
}

void TestMultiLineEdit::clipboard()
{
    QClipboard *clip = QGuiApplication::clipboard();
    box->setText(u"stone.jpg\r\nwood.jpg"_s);
    QTest::keyClick(box, Qt::Key_End);
    press(box, {Qt::Key_Right, Qt::Key_Right}, Qt::ShiftModifier);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clip->text(), u"\r\nw"_s);
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(box->text(), u"stone.jpgood.jpg"_s);

    clip->setText(u"one\ntwo\rthree"_s); // pasted breaks become CR LF
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), u"stone.jpgone\r\ntwo\r\nthreeood.jpg"_s);
    QCOMPARE(box->lineCount(), 3);

    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
    for (const char *name : {"edit-undo", "edit-cut", "edit-copy", "edit-paste", "edit-delete", "select-all"})
        QVERIFY2(menu->findChild<QAction *>(QString::fromLatin1(name))->isEnabled(), name);
    QVERIFY(!menu->findChild<QAction *>(u"edit-redo"_s)->isEnabled());
    menu->findChild<QAction *>(u"edit-delete"_s)->trigger();
    QCOMPARE(box->text(), QString());
}

void TestMultiLineEdit::undoRedo()
{
    QSignalSpy undoable(box, &MultiLineEdit::undoAvailable);
    QTest::keyClicks(box, u"abc"_s);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(box, u"de"_s);
    press(box, {Qt::Key_Backspace, Qt::Key_Backspace});
    QCOMPARE(box->text(), u"abc\r\n"_s);
    QCOMPARE(undoable.size(), 1);

    const QStringList steps{u"abc\r\nde"_s, u"abc\r\n"_s, u"abc"_s, QString()};
    for (const QString &expected : steps) {
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(box->text(), expected);
    }
    QVERIFY(!box->isUndoAvailable());
    QTest::keyClick(box, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(box->text(), u"abc"_s);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(box->text(), u"abc\r\n"_s);
    QCOMPARE(box->cursorPosition(), 5);

    // Undo brings back what a paste replaced, selected as it was.
    QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    QGuiApplication::clipboard()->setText(u"XY"_s);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), u"XYbc\r\n"_s);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box->text(), u"abc\r\n"_s);
    QCOMPARE(box->selectedText(), u"a"_s);
    QVERIFY(box->isRedoAvailable());
}

void TestMultiLineEdit::readOnly()
{
    box->setText(u"abc\r\ndef"_s);
    box->setReadOnly(true);
    QTest::keyClicks(box, u"x"_s);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Down, Qt::ShiftModifier); // selecting still works
    QCOMPARE(box->selectedText(), u"abc\r\n"_s);
    QGuiApplication::clipboard()->setText(u"before"_s);
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier); // cutting is editing: nothing happens
    QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_s);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"abc\r\n"_s);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QInputMethodEvent commit;
    commit.setCommitString(u"y"_s);
    QApplication::sendEvent(box, &commit);
    QCOMPARE(box->text(), u"abc\r\ndef"_s);
    QVERIFY(!static_cast<QWidget *>(box)->inputMethodQuery(Qt::ImEnabled).toBool());

    std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
    QVERIFY(menu->findChild<QAction *>(u"edit-copy"_s)->isEnabled());
    for (const char *name : {"edit-cut", "edit-paste", "edit-delete", "edit-undo"})
        QVERIFY2(!menu->findChild<QAction *>(QString::fromLatin1(name))->isEnabled(), name);

    box->setReadOnly(false);
    QTest::keyClicks(box, u"x"_s);
    QCOMPARE(box->text(), u"xdef"_s);
}

void TestMultiLineEdit::mouseSelects()
{
    box->setText(u"alpha beta gamma\r\nsecond line"_s);
    const QRect start = box->cursorRect(6); // before "beta"
    const QRect end = box->cursorRect(10);  // after it
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, start.center());
    QCOMPARE(box->cursorPosition(), 6);
    QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ShiftModifier, end.center());
    QCOMPARE(box->selectedText(), u"beta"_s);

    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, box->cursorRect(13).center());
    QCOMPARE(box->selectedText(), u"gamma"_s);
}

void TestMultiLineEdit::verticalMovesAndPaging()
{
    box->setLineWrapMode(MultiLineEdit::NoWrap);
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.append(u"line %1"_s.arg(i, 3, 10, QChar(u'0')));
    box->setText(lines.join(u"\r\n"_s));
    QScrollBar *bar = box->verticalScrollBar();
    press(box, {Qt::Key_End, Qt::Key_Down});
    QCOMPARE(box->cursorPosition(), 10 + 8); // end of line 1
    QTest::keyClick(box, Qt::Key_PageDown);
    const qsizetype paged = box->cursorPosition();
    QVERIFY2(paged > 10 * 3, qPrintable(QString::number(paged)));
    QVERIFY(bar->value() > 0);
    QVERIFY(box->cursorRect(paged).bottom() <= box->viewport()->height()); // the caret stays in view
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(bar->maximum(), 200 - (bar->pageStep()));
    QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(box->selectedText(), box->text());
    QCOMPARE(bar->value(), 0);
}

void TestMultiLineEdit::inputMethodCommit()
{
    box->setText(u"ab"_s);
    QTest::keyClick(box, Qt::Key_End);
    QInputMethodEvent preedit(u"e\u0301"_s, {});
    QApplication::sendEvent(box, &preedit);
    QCOMPARE(box->text(), u"ab"_s); // composing text is not the box's text yet
    QInputMethodEvent commit;
    commit.setCommitString(u"\u00e9"_s);
    QApplication::sendEvent(box, &commit);
    QCOMPARE(box->text(), u"ab\u00e9"_s);
    QCOMPARE(static_cast<QWidget *>(box)->inputMethodQuery(Qt::ImSurroundingText).toString(), u"ab\u00e9"_s);
    QCOMPARE(static_cast<QWidget *>(box)->inputMethodQuery(Qt::ImCursorPosition).toInt(), 3);
}

// The style sheet's colours, and a long line painted on more rows when wrapped.
void TestMultiLineEdit::styleAndWrapping()
{
    const QColor grey(212, 208, 200);
    box->setStyleSheet(u"background-color: rgb(212, 208, 200); color: rgb(0, 0, 255);"_s);
    const QString longLine = u"texture_of_grass "_s.repeated(12);
    box->setText(longLine);
    box->setLineWrapMode(MultiLineEdit::WidgetWidth);
    const QImage wrappedImage = viewportImage(*box);
    QCOMPARE(wrappedImage.pixelColor(wrappedImage.width() - 3, wrappedImage.height() - 3), grey);
    QVERIFY(findColour(wrappedImage, QColor(0, 0, 255)));
    const int wrapped = inkedRows(wrappedImage, grey);
    QCOMPARE(box->horizontalScrollBar()->maximum(), 0);
    box->setLineWrapMode(MultiLineEdit::NoWrap);
    const int single = inkedRows(viewportImage(*box), grey);
    QVERIFY2(single > 0, "no text painted");
    QVERIFY2(wrapped > 2 * single, qPrintable(u"%1 rows wrapped, %2 not"_s.arg(wrapped).arg(single)));
    QVERIFY(box->horizontalScrollBar()->maximum() > 0);
    QTest::keyClick(box, Qt::Key_End); // the view follows the caret to the right
    QCOMPARE(box->horizontalScrollBar()->value(), box->horizontalScrollBar()->maximum());

    // A wrapped line taller than the box still shows the caret at its end.
    box->setLineWrapMode(MultiLineEdit::WidgetWidth);
    box->setText(u"a\r\n"_s + longLine.repeated(4) + u"\r\nb"_s);
    box->setFixedHeight(box->fontMetrics().lineSpacing() * 3 + 2 * box->frameWidth() + 4);
    box->setCursorPosition(3 + 4 * longLine.size());
    for (const Qt::Key key : {Qt::Key_Home, Qt::Key_Up, Qt::Key_End, Qt::Key_Down, Qt::Key_Down}) {
        const QRect caret = box->cursorRect(box->cursorPosition());
        QVERIFY2(box->viewport()->rect().contains(caret), qPrintable(u"caret at y %1"_s.arg(caret.y())));
        QTest::keyClick(box, key);
    }
    QCOMPARE(box->cursorPosition(), box->text().size()); // the second Down reached "b"
    QTest::keyClick(box, Qt::Key_Up); // back onto the last row of the long line
    QVERIFY(box->cursorPosition() > 3 * longLine.size());
    QVERIFY(box->cursorPosition() <= 3 + 4 * longLine.size());
    QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
    QVERIFY(box->viewport()->rect().contains(box->cursorRect(0)));

    // End on a row broken inside a word leaves the caret at that row's end, not the next row's start.
    box->setText(u"texture_"_s.repeated(20));
    QTest::keyClick(box, Qt::Key_End);
    const QRect end = box->cursorRect(box->cursorPosition());
    QCOMPARE(end.top(), box->cursorRect(0).top());
    QVERIFY(end.left() > box->viewport()->width() / 2);
    QTest::keyClick(box, Qt::Key_End);
    QCOMPARE(box->cursorRect(box->cursorPosition()), end);
    QTest::keyClick(box, Qt::Key_Home);
    QCOMPARE(box->cursorPosition(), 0);
}

void TestMultiLineEdit::hundredThousandLines()
{
    QString text;
    for (int i = 0; i < 100000; ++i)
        text += u"texture 0 \"default/texture_"_s + QString::number(i) + u".jpg\"\r\n"_s;
    box->setText(text);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->lineCount(), 100001);
    QVERIFY(box->verticalScrollBar()->maximum() > 99990);
    box->grab(); // paints the first page only

    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(box->verticalScrollBar()->value(), box->verticalScrollBar()->maximum());
    press(box, {Qt::Key_Up, Qt::Key_End, Qt::Key_Backspace});
    QTest::keyClicks(box, u"!"_s);
    QString expected = text;
    expected.replace(expected.size() - 3, 1, u"!"_s);
    QCOMPARE(box->text(), expected);
    QCOMPARE(box->lineCount(), 100001);
}

void TestMultiLineEdit::accessibleText()
{
    box->setAccessibleName(u"Texture list"_s);
    box->setAccessibleDescription(u"Output textues to set up ready for cfg file."_s);
    box->setText(u"stone.jpg\r\nwood.jpg"_s);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(box);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::EditableText);
    QCOMPARE(iface->text(QAccessible::Name), u"Texture list"_s);
    QCOMPARE(iface->text(QAccessible::Description), u"Output textues to set up ready for cfg file."_s);
    QVERIFY(iface->state().multiLine && iface->state().editable && !iface->state().readOnly);

    QAccessibleTextInterface *text = iface->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 19);
    QCOMPARE(text->text(11, 15), u"wood"_s);
    int from = -1;
    int to = -1;
    QCOMPARE(text->textAtOffset(13, QAccessible::LineBoundary, &from, &to), u"wood.jpg"_s);
    QCOMPARE(text->textBeforeOffset(13, QAccessible::LineBoundary, &from, &to), u"stone.jpg\r\n"_s);
    QCOMPARE(text->textAtOffset(2, QAccessible::WordBoundary, &from, &to), u"stone"_s);
    QCOMPARE(std::pair(from, to), std::pair(0, 5));
    QCOMPARE(text->textAfterOffset(8, QAccessible::CharBoundary, &from, &to), u"\r\n"_s);
    text->setSelection(0, 11, 15);
    QCOMPARE(box->selectedText(), u"wood"_s);
    QCOMPARE(text->cursorPosition(), 15);
    QVERIFY(text->characterRect(11).width() > 0);

    iface->editableTextInterface()->insertText(11, u"old "_s);
    QCOMPARE(box->text(), u"stone.jpg\r\nold wood.jpg"_s);
    QVERIFY(box->isUndoAvailable());
    box->setReadOnly(true);
    QVERIFY(iface->state().readOnly && !iface->state().editable);
    iface->editableTextInterface()->deleteText(0, 5);
    QCOMPARE(box->text(), u"stone.jpg\r\nold wood.jpg"_s);
}

QTEST_MAIN(TestMultiLineEdit)
#include "tst_multilineedit.moc"
