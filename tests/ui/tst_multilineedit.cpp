// The multi-line text box: its key bindings as one table (data/keys.tsv), then what keys
// cannot show: menus, the mouse, scrolling, wrapping and assistive technology.
#include "ui/multilineedit.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace morvane::ui;
using namespace Qt::StringLiterals;

namespace {

// A field of the key table with \r, \n and \uXXXX as the characters they name.
QString unescaped(QString field)
{
    field.replace(u"\\r"_s, u"\r"_s).replace(u"\\n"_s, u"\n"_s);
    for (qsizetype at = field.indexOf(u"\\u"_s); at >= 0; at = field.indexOf(u"\\u"_s, at + 1))
        field.replace(at, 6, QChar(field.sliced(at + 2, 4).toUShort(nullptr, 16)));
    return field;
}

// Text with its caret marked "|" and, when something is selected, the other end "^":
// the text, the caret and the other end.
std::tuple<QString, qsizetype, qsizetype> unmark(QString text)
{
    const qsizetype caret = text.indexOf(u'|');
    const qsizetype anchor = text.indexOf(u'^');
    text.remove(u'|').remove(u'^');
    if (anchor < 0)
        return {text, caret, caret};
    return {text, caret - (anchor < caret), anchor - (caret < anchor)};
}

// Plays keys, separated by blanks: a key as QKeySequence writes it ("Ctrl+Z"), 'text typed
// in one key press (as a keyboard layout gives characters without keys of their own),
// clip=text put on the clipboard, ro and rw to make the box read-only and editable again.
void play(MultiLineEdit *box, const QString &keys)
{
    for (const QString &token : keys.split(u' ', Qt::SkipEmptyParts)) {
        if (token.startsWith(u'\'')) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, token.mid(1));
            QApplication::sendEvent(box, &press);
        } else if (token.startsWith(u"clip="_s)) {
            QGuiApplication::clipboard()->setText(token.mid(5));
        } else if (token == u"ro"_s || token == u"rw"_s) {
            box->setReadOnly(token == u"ro"_s);
        } else {
            const QKeySequence key = QKeySequence::fromString(token);
            QVERIFY2(key.count() == 1, qPrintable(token));
            QTest::keyClick(box, key[0].key(), key[0].keyboardModifiers());
        }
    }
}

// The names of the enabled entries of the box's context menu, in menu order.
QStringList enabledEntries(MultiLineEdit *box)
{
    const std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
    QStringList names;
    for (const QAction *action : menu->actions()) {
        if (action->isEnabled() && !action->isSeparator())
            names.append(action->objectName());
    }
    return names;
}

} // namespace

class TestMultiLineEdit : public QObject {
    Q_OBJECT

private slots:
    void init();

    void keys_data();
    void keys();
    void menus();
    void mouseSelects();
    void pagingAndLongText();
    void wrapping();
    void accessibleText();

private:
    std::unique_ptr<MultiLineEdit> owner;
    MultiLineEdit *box = nullptr;
};

// Each test has a box of its own, 300 by 200 pixels.
void TestMultiLineEdit::init()
{
    owner = std::make_unique<MultiLineEdit>();
    box = owner.get();
    box->resize(300, 200);
    box->show();
    QVERIFY(QTest::qWaitForWindowActive(box));
}

// The rows of data/keys.tsv.
void TestMultiLineEdit::keys_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("after");
    QFile table(QStringLiteral(MORVANE_UI_DATA "/keys.tsv"));
    QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
    for (const QString &line : QString::fromUtf8(table.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u'\t');
        QVERIFY2(line.startsWith(u'#') || fields.size() == 4, qPrintable(line));
        if (!line.startsWith(u'#'))
            QTest::newRow(qPrintable(fields[0])) << unescaped(fields[1]) << unescaped(fields[2])
                                                 << unescaped(fields[3]);
    }
}

void TestMultiLineEdit::keys()
{
    QFETCH(QString, before);
    QFETCH(QString, keys);
    QFETCH(QString, after);
    const auto [text, caret, anchor] = unmark(before);
    QSignalSpy changed(box, &MultiLineEdit::textChanged);
    box->setText(text);
    QCOMPARE(changed.size(), 1);
    box->setSelection(anchor, caret);
    play(box, keys);
    const qsizetype end = box->cursorPosition() == box->selectionStart() ? box->selectionEnd() : box->selectionStart();
    QCOMPARE(std::tuple(box->text(), box->cursorPosition(), end), unmark(after));
}

void TestMultiLineEdit::menus()
{
    QGuiApplication::clipboard()->setText(u"x"_s);
    QCOMPARE(enabledEntries(box), QStringList{u"edit-paste"_s});
    play(box, u"'ab Ctrl+A"_s);
    QCOMPARE(enabledEntries(box), (QStringList{u"edit-undo"_s, u"edit-cut"_s, u"edit-copy"_s, u"edit-paste"_s,
                                               u"edit-delete"_s, u"select-all"_s}));
    play(box, u"ro"_s);
    QCOMPARE(enabledEntries(box), (QStringList{u"edit-copy"_s, u"select-all"_s}));
    play(box, u"rw"_s);
    std::unique_ptr<QMenu>(box->createStandardContextMenu())->findChild<QAction *>(u"edit-delete"_s)->trigger();
    QCOMPARE(box->text(), QString());
}

void TestMultiLineEdit::mouseSelects()
{
    box->setText(u"alpha beta gamma\r\nsecond line"_s);
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->cursorRect(6).center());
    QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ShiftModifier, box->cursorRect(10).center());
    QCOMPARE(box->selectedText(), u"beta"_s);
    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, box->cursorRect(box->text().size()).center());
    QCOMPARE(box->selectedText(), u"line"_s); // at a line's end, the word before
}

// Page Down moves caret and view a page; Ctrl+End shows the last page, even of 100,000 lines.
void TestMultiLineEdit::pagingAndLongText()
{
    box->setLineWrapMode(MultiLineEdit::NoWrap);
    QString text;
    for (int i = 0; i < 100000; ++i)
        text += u"line %1\r\n"_s.arg(i, 5, 10, QChar(u'0'));
    box->setText(text);
    QCOMPARE(box->lineCount(), 100001);
    QScrollBar *bar = box->verticalScrollBar();
    QCOMPARE(bar->maximum(), 100001 - bar->pageStep());
    play(box, u"End PgDown"_s);
    QCOMPARE(box->cursorPosition(), 12 * bar->pageStep() + 10); // the end of the line a page down
    QCOMPARE(bar->value(), bar->pageStep());
    play(box, u"Ctrl+End"_s);
    QCOMPARE(bar->value(), bar->maximum());
}

// A long line wraps at the box's width, or stays on one row that scrolls sideways with the
// caret; End on a wrapped row stays on that row.
void TestMultiLineEdit::wrapping()
{
    const QString longLine = u"texture_of_grass "_s.repeated(12);
    box->setText(longLine);
    QVERIFY(box->cursorRect(longLine.size()).top() > 3 * box->fontMetrics().lineSpacing());
    box->setLineWrapMode(MultiLineEdit::NoWrap);
    play(box, u"End"_s);
    QVERIFY(box->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(box->horizontalScrollBar()->value(), box->horizontalScrollBar()->maximum());

    // A row broken inside a word ends where the next begins, one broken at a blank before the blank.
    box->setLineWrapMode(MultiLineEdit::WidgetWidth);
    for (const QString &text : {u"texture_"_s.repeated(20), longLine}) {
        box->setText(text);
        play(box, u"End"_s);
        const QRect end = box->cursorRect(box->cursorPosition());
        QCOMPARE(end.top(), box->cursorRect(0).top());
        QCOMPARE(text[box->cursorPosition()] == u' ', text == longLine);
        play(box, u"End"_s);
        QCOMPARE(box->cursorRect(box->cursorPosition()), end);
    }
}

// Offsets are positions in the text; lines end in CR LF.
void TestMultiLineEdit::accessibleText()
{
    box->setText(u"stone.jpg\r\nwood.jpg"_s);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(box);
    QCOMPARE(iface->textInterface()->characterCount(), 19);
    int from = -1;
    int to = -1;
    QCOMPARE(iface->textInterface()->textBeforeOffset(13, QAccessible::LineBoundary, &from, &to), u"stone.jpg\r\n"_s);
    QCOMPARE(std::pair(from, to), std::pair(0, 11));
    iface->editableTextInterface()->insertText(11, u"old "_s);
    box->setReadOnly(true);
    iface->editableTextInterface()->deleteText(0, 5);
    QCOMPARE(box->text(), u"stone.jpg\r\nold wood.jpg"_s);
    QVERIFY(iface->state().readOnly && !iface->state().editable && iface->state().multiLine);
}

QTEST_MAIN(TestMultiLineEdit)
#include "tst_multilineedit.moc"
