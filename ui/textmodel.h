// The text of a multi-line text box: lines joined by CR LF, their index and the undo history.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>
#include <vector>

namespace morvane::ui {

// Keeps the text as one string with the offset where each line starts, so that setting
// and reading a long text costs next to nothing. Only CR LF separates lines: a lone CR
// or LF (or another control character) stays a character of its line, and the text reads
// back exactly as set until an edit, after that as its lines joined by CR LF. Positions
// are offsets into text(); those it is given move back off the middle of a break or of a
// surrogate pair.
class TextModel : public QObject {
    Q_OBJECT

public:
    // How an edit joins the one before it in the undo history: runs of typing, of
    // Backspace and of Delete each undo as one step.
    enum class EditKind { Typing, Backspace, Delete, Other };
    // A caret and the other end of its selection, the same when nothing is selected.
    struct Selection {
        qsizetype cursor = 0;
        qsizetype anchor = 0;
    };

    explicit TextModel(QObject *parent = nullptr);

    const QString &text() const { return m_text; }
    // Replaces the whole text and forgets the undo history.
    void setText(const QString &text);

    qsizetype lineCount() const { return m_lineStarts.size(); }
    qsizetype lineStart(qsizetype line) const { return m_lineStarts[line]; }
    // Where line's text ends, before its CR LF.
    qsizetype lineEnd(qsizetype line) const
    {
        return line + 1 < m_lineStarts.size() ? m_lineStarts[line + 1] - 2 : m_text.size();
    }
    QStringView lineText(qsizetype line) const
    {
        return QStringView(m_text).sliced(lineStart(line), lineEnd(line) - lineStart(line));
    }
    // The line that holds position.
    qsizetype lineOf(qsizetype position) const;
    // line as it shows, of the same length: control characters other than tab as their
    // visible symbols (U+2400 on, DEL as U+2421), line and paragraph separators and the
    // object replacement character as blanks.
    QString shownLine(qsizetype line) const;
    // The count lines with the most characters (fewer when there are fewer), in no order.
    QList<qsizetype> longestLines(qsizetype count) const;
    // position inside the text, moved back off the middle of a break or a surrogate pair.
    qsizetype validPosition(qsizetype position) const;

    // The position after the character (grapheme) at position; from a line's end, the next line's start.
    qsizetype nextCharPosition(qsizetype position) const;
    qsizetype previousCharPosition(qsizetype position) const;
    // The position one code point back, which Backspace takes: a letter keeps its accents
    // until they go one by one.
    qsizetype previousCodePoint(qsizetype position) const;
    // The start of the next word, or the line's end; from a line's end, the next line's start.
    qsizetype nextWordPosition(qsizetype position) const;
    qsizetype previousWordPosition(qsizetype position) const;
    // The start and end of the word (or run of blanks) at position; at a line's end, the one before.
    std::pair<qsizetype, qsizetype> wordAt(qsizetype position) const;

    // Replaces from..to with text as one edit, or as part of the run of its kind before it.
    // before is the selection undo brings back. Returns the position after text, nothing
    // when the edit changes nothing.
    std::optional<qsizetype> replace(qsizetype from, qsizetype to, const QString &text, EditKind kind,
                                     Selection before);
    // Ends the run of typing, Backspace or Delete: the next edit is a step of its own.
    void endRun() { m_runOpen = false; }

    bool isUndoAvailable() const { return !m_undo.empty(); }
    bool isRedoAvailable() const { return !m_redo.empty(); }
    // Takes back the last step; returns the selection it was made from.
    std::optional<Selection> undo();
    // Makes the last undone step again; returns the caret after its text.
    std::optional<Selection> redo();

signals:
    // An edit, undo or redo put inserted in place of removed at position.
    void textReplaced(qsizetype position, const QString &removed, const QString &inserted);
    // setText replaced previous, the whole text.
    void textReset(const QString &previous);

private:
    struct Edit {
        qsizetype position;
        QString removed;
        QString inserted;
        Selection before;
        EditKind kind;
    };

    // Puts inserted in place of removed at position and tells who listens.
    void apply(qsizetype position, const QString &removed, const QString &inserted);
    void updateLineStarts(qsizetype position, qsizetype removedLength, qsizetype insertedLength);

    QString m_text;
    QList<qsizetype> m_lineStarts{0};
    std::vector<Edit> m_undo;
    std::vector<Edit> m_redo;
    bool m_runOpen = false;
};

// text with every line break, be it CR LF, a lone LF or a lone CR, written as CR LF.
QString withCrLfBreaks(QStringView text);

} // namespace morvane::ui
