// The text of the multi-line text box without a widget: its line index and undo history.
// What keys do to it is in the text box's key table.
#include "ui/textmodel.h"

#include <QRandomGenerator>
#include <QTest>

using namespace morvane::ui;
using namespace Qt::StringLiterals;

class TestTextModel : public QObject {
    Q_OBJECT

private slots:
    void lineIndexAndUndoFollowRandomEdits();
};

// Random typing, Backspace, Delete and replacements, breaks among them made and unmade:
// the kept index always matches one built afresh, undoing every step gives back the text
// as set, redoing them the text as edited.
void TestTextModel::lineIndexAndUndoFollowRandomEdits()
{
    TextModel model;
    const auto indexIsFresh = [&model] { // 0, then the offset after each CR LF
        QList<qsizetype> fresh{0};
        for (qsizetype at = model.text().indexOf(u"\r\n"_s); at >= 0; at = model.text().indexOf(u"\r\n"_s, at + 2))
            fresh.append(at + 2);
        QList<qsizetype> kept;
        for (qsizetype line = 0; line < model.lineCount(); ++line)
            kept.append(model.lineStart(line));
        return kept == fresh;
    };
    QRandomGenerator random(20240601);
    const QStringList pieces{u"a"_s, u"\r"_s, u"\n"_s, u"\r\n"_s, u"bc"_s, u"\U0001F600"_s, QString()};
    const auto piece = [&] { return pieces[random.bounded(int(pieces.size()))]; };
    model.setText(u"x\r\ny"_s);
    qsizetype caret = 0;
    for (int i = 0; i < 2000; ++i) {
        const int what = random.bounded(5); // typing, Backspace, Delete, a replacement anywhere, a caret move
        const qsizetype anywhere = random.bounded(int(model.text().size() + 1));
        if (what == 4) { // ends the run, or not, as an input method may replace elsewhere within one
            caret = model.validPosition(anywhere);
            if (random.bounded(2))
                model.endRun();
            continue;
        }
        const std::pair<qsizetype, qsizetype> ranges[] = {{caret, caret},
                                                          {model.previousCodePoint(caret), caret},
                                                          {caret, model.nextCharPosition(caret)},
                                                          {anywhere, anywhere + random.bounded(4)}};
        const QString text = what == 1 || what == 2 ? QString() : piece() + piece();
        const auto [from, to] = ranges[what];
        caret = model.replace(from, to, text, TextModel::EditKind(what), {caret, caret}).value_or(caret);
        QVERIFY(indexIsFresh());
    }
    const QString edited = model.text();
    while (model.undo())
        QVERIFY(indexIsFresh());
    QCOMPARE(model.text(), u"x\r\ny"_s);
    while (model.redo())
        QVERIFY(indexIsFresh());
    QCOMPARE(model.text(), edited);
    model.undo();
    model.setText(u"fresh"_s); // a new text forgets the whole history
    QVERIFY(!model.isUndoAvailable() && !model.isRedoAvailable());
    model.setText(u"e\u0301\U0001F600"_s); // Backspace takes one code point: a pair whole, an accent alone
    QCOMPARE(std::pair(model.previousCodePoint(4), model.previousCodePoint(2)), std::pair(qsizetype(2), qsizetype(1)));
}

QTEST_GUILESS_MAIN(TestTextModel)
#include "tst_textmodel.moc"
