// The text of the multi-line text box without a widget: lines, characters, edits and undo.
#include "ui/textmodel.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace morvane::ui;
using namespace Qt::StringLiterals;

namespace {

using Kind = TextModel::EditKind;
using Selection = TextModel::Selection;
using Range = std::pair<qsizetype, qsizetype>;

// 0, then the offset after each CR LF of text.
QList<qsizetype> expectedStarts(const QString &text)
{
    QList<qsizetype> starts{0};
    for (qsizetype at = text.indexOf(u"\r\n"_s); at >= 0; at = text.indexOf(u"\r\n"_s, at + 2))
        starts.append(at + 2);
    return starts;
}

QList<qsizetype> starts(const TextModel &model)
{
    QList<qsizetype> out;
    for (qsizetype line = 0; line < model.lineCount(); ++line)
        out.append(model.lineStart(line));
    return out;
}

// The caret and anchor undo gives back, as a pair QCOMPARE can print.
Range selection(std::optional<Selection> s)
{
    return s ? Range(s->cursor, s->anchor) : Range(-1, -1);
}

} // namespace

class TestTextModel : public QObject {
    Q_OBJECT

private slots:
    void lineIndexAndUndoFollowRandomEdits();
    void runsUndoAsOneStep();
    void breaksMadeAndUnmade();
    void charactersAndWords();
    void shownLinesAndBreaks();
};

// Random typing, Backspace, Delete and replacements, breaks among them made and unmade:
// the kept index always matches one built afresh, and undoing every step gives back the
// text as set, redoing them the text as edited.
void TestTextModel::lineIndexAndUndoFollowRandomEdits()
{
    QRandomGenerator random(20240601);
    const QStringList pieces{u"a"_s, u"\r"_s, u"\n"_s, u"\r\n"_s, u"bc"_s, u"\U0001F600"_s, QString()};
    const auto piece = [&] { return pieces[random.bounded(int(pieces.size()))]; };
    const QString initial = u"x\r\ny"_s;
    TextModel model;
    model.setText(initial);
    qsizetype caret = 0;
    for (int i = 0; i < 2000; ++i) {
        const Selection before{caret, caret};
        std::optional<qsizetype> after;
        switch (random.bounded(5)) {
        case 0:
            after = model.replace(caret, caret, piece() + piece(), Kind::Typing, before);
            break;
        case 1:
            after = model.replace(model.previousCodePoint(caret), caret, QString(), Kind::Backspace, before);
            break;
        case 2:
            after = model.replace(caret, model.nextCharPosition(caret), QString(), Kind::Delete, before);
            break;
        case 3: {
            const qsizetype from = random.bounded(int(model.text().size() + 1));
            after = model.replace(from, from + random.bounded(4), piece() + piece(), Kind::Other, before);
            break;
        }
        default: // a caret move ends the run; an input method may replace elsewhere within one
            caret = model.validPosition(random.bounded(int(model.text().size() + 1)));
            if (random.bounded(2))
                model.endRun();
        }
        caret = after.value_or(caret);
        QCOMPARE(starts(model), expectedStarts(model.text()));
    }
    const QString edited = model.text();
    while (model.undo())
        QCOMPARE(starts(model), expectedStarts(model.text()));
    QCOMPARE(model.text(), initial);
    while (model.redo())
        QCOMPARE(starts(model), expectedStarts(model.text()));
    QCOMPARE(model.text(), edited);
}

// Runs of typing, of Backspace and of Delete each undo as one step; undo gives back the
// selection the step was made from, redo the caret after it.
void TestTextModel::runsUndoAsOneStep()
{
    TextModel model;
    model.setText(u"x-"_s);
    qsizetype caret = 1;
    for (const QString &typed : {u"a"_s, u"b"_s, u"c"_s, u"d"_s})
        caret = *model.replace(caret, caret, typed, Kind::Typing, {caret, caret});
    caret = *model.replace(caret - 1, caret, QString(), Kind::Backspace, {caret, caret});
    caret = *model.replace(caret - 1, caret, QString(), Kind::Backspace, {caret, caret});
    model.replace(1, 2, QString(), Kind::Delete, {1, 1});
    model.replace(1, 2, QString(), Kind::Delete, {1, 1});
    QCOMPARE(model.text(), u"x-"_s);
    model.replace(2, 2, u"1"_s, Kind::Typing, {2, 2});
    model.replace(2, 2, u"2"_s, Kind::Typing, {2, 2}); // not where the run stopped
    model.endRun();
    model.replace(1, 1, u"3"_s, Kind::Typing, {1, 1}); // after a caret move
    model.replace(4, 5, u"[]"_s, Kind::Other, {5, 4}); // replacing a selection stands alone
    QCOMPARE(model.text(), u"x3-2[]"_s);

    const QList<std::pair<QString, Range>> steps{
        {u"x3-21"_s, {5, 4}}, {u"x-21"_s, {1, 1}}, {u"x-1"_s, {2, 2}}, {u"x-"_s, {2, 2}},
        {u"xab-"_s, {1, 1}},  {u"xabcd-"_s, {5, 5}}, {u"x-"_s, {1, 1}}};
    for (const auto &[text, before] : steps) {
        QCOMPARE(selection(model.undo()), before);
        QCOMPARE(model.text(), text);
    }
    QVERIFY(!model.isUndoAvailable());
    QCOMPARE(selection(model.undo()), (Range(-1, -1)));
    QCOMPARE(selection(model.redo()), (Range(5, 5)));
    QCOMPARE(model.text(), u"xabcd-"_s);

    model.replace(0, 0, u"y"_s, Kind::Typing, {0, 0}); // a new edit forgets what was undone
    QVERIFY(!model.isRedoAvailable());
    model.undo();
    model.setText(u"fresh"_s); // a new text forgets the whole history
    QVERIFY(!model.isUndoAvailable());
    QVERIFY(!model.isRedoAvailable());
}

// Only CR LF breaks a line; edits may make one of a lone CR and a lone LF, and undo parts them again.
void TestTextModel::breaksMadeAndUnmade()
{
    TextModel model;
    QSignalSpy reset(&model, &TextModel::textReset);
    model.setText(u"a\rX\nb"_s);
    QCOMPARE(reset.takeFirst(), (QVariantList{QString()}));
    QCOMPARE(model.lineCount(), 1);
    QCOMPARE(model.lineText(0), u"a\rX\nb"_s);

    QSignalSpy replaced(&model, &TextModel::textReplaced);
    QCOMPARE(model.replace(2, 3, QString(), Kind::Delete, {3, 2}), 1); // the caret is not left inside the new break
    QCOMPARE(model.text(), u"a\r\nb"_s);
    QCOMPARE(model.lineCount(), 2);
    QCOMPARE(model.lineEnd(0), 1);
    QCOMPARE(model.lineText(1), u"b"_s);
    QCOMPARE(model.validPosition(2), 1); // never between CR and LF
    QCOMPARE(model.nextCharPosition(1), 3);
    QCOMPARE(model.previousCodePoint(3), 1);
    QCOMPARE(model.lineOf(2), 0);
    QCOMPARE(model.lineOf(3), 1);
    QVERIFY(!model.replace(2, 1, QString(), Kind::Other, {})); // half a break is nothing to remove

    QCOMPARE(selection(model.undo()), (Range(3, 2)));
    QCOMPARE(model.text(), u"a\rX\nb"_s);
    QCOMPARE(model.lineCount(), 1);
    QCOMPARE(replaced.size(), 2);
    QCOMPARE(replaced[0], (QVariantList{qsizetype(2), u"X"_s, QString()}));
    QCOMPARE(replaced[1], (QVariantList{qsizetype(2), QString(), u"X"_s}));
}

// Moving goes by whole characters and words within a line and over a break in one step;
// Backspace takes one code point.
void TestTextModel::charactersAndWords()
{
    const QString face = u"\U0001F600"_s;
    TextModel model;
    model.setText(u"e\u0301"_s + face + u"\r\none two  three"_s);
    QCOMPARE(model.nextCharPosition(0), 2);
    QCOMPARE(model.nextCharPosition(2), 4);
    QCOMPARE(model.previousCharPosition(4), 2);
    QCOMPARE(model.previousCodePoint(4), 2);
    QCOMPARE(model.previousCodePoint(2), 1); // the accent alone
    QCOMPARE(model.validPosition(3), 2);
    QCOMPARE(model.nextCharPosition(4), 6); // over the break
    QCOMPARE(model.previousCharPosition(6), 4);

    QCOMPARE(model.nextWordPosition(4), 6); // over the break
    QCOMPARE(model.previousWordPosition(15), 10);
    QCOMPARE(model.previousWordPosition(6), 4);
    QCOMPARE(model.wordAt(11), (Range(10, 13)));
    QCOMPARE(model.wordAt(model.text().size()), (Range(15, 20))); // the word before the end
}

void TestTextModel::shownLinesAndBreaks()
{
    TextModel model;
    model.setText(u"a\rb\nc\td\x7f\x2028\r\nbb\r\ncccc\r\n\r\ndd"_s);
    QCOMPARE(model.shownLine(0), u"a\u240db\u240ac\td\u2421 "_s);
    QList<qsizetype> longest = model.longestLines(2);
    std::sort(longest.begin(), longest.end());
    QCOMPARE(longest, (QList<qsizetype>{0, 2}));
    QCOMPARE(model.longestLines(10).size(), 5);
    QCOMPARE(withCrLfBreaks(u"a\r\nb\n\rc\r"), u"a\r\nb\r\n\r\nc\r\n"_s);
}

QTEST_GUILESS_MAIN(TestTextModel)
#include "tst_textmodel.moc"
