// A multi-line text box whose text reads as lines joined by CR LF.
#pragma once

#include "ui/textmodel.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QPointF>
#include <QString>

#include <algorithm>
#include <optional>

class QMenu;
class QTextLayout;
class QTextLine;

namespace morvane::ui {

class MultiLineEditAccessible;

// Keeps its text in a TextModel and lays out only the lines it shows, so that setting
// and reading a long text costs next to nothing. Lines are separated by CR LF. A lone
// CR or LF (or another control character) given to setText stays a character of its
// line and shows as its visible symbol (␍, ␊); typing, pasting and Ctrl+Return make
// CR LF breaks. Positions are offsets into text().
class MultiLineEdit : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged USER true)
    Q_PROPERTY(LineWrapMode lineWrapMode READ lineWrapMode WRITE setLineWrapMode)
    Q_PROPERTY(bool readOnly READ isReadOnly WRITE setReadOnly)

public:
    enum LineWrapMode { NoWrap, WidgetWidth };
    Q_ENUM(LineWrapMode)

    explicit MultiLineEdit(QWidget *parent = nullptr);
    ~MultiLineEdit() override;

    // The text as last set, unchanged, until the user edits it; after that the
    // box's lines joined by CR LF.
    QString text() const;
    // Replaces the whole text, puts the caret at its start and forgets the undo history.
    void setText(const QString &text);

    LineWrapMode lineWrapMode() const { return m_wrap; }
    void setLineWrapMode(LineWrapMode mode);
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);

    qsizetype lineCount() const { return m_model.lineCount(); }
    qsizetype cursorPosition() const { return m_cursor; }
    // Moves the caret to position and clears the selection.
    void setCursorPosition(qsizetype position);
    // Selects from anchor to position; the caret goes to position.
    void setSelection(qsizetype anchor, qsizetype position);
    bool hasSelectedText() const { return m_cursor != m_anchor; }
    qsizetype selectionStart() const { return std::min(m_cursor, m_anchor); }
    qsizetype selectionEnd() const { return std::max(m_cursor, m_anchor); }
    QString selectedText() const;
    // Replaces from..to with text as one edit that undo takes back (nothing when read-only).
    void replace(qsizetype from, qsizetype to, const QString &text);

    bool isUndoAvailable() const { return m_model.isUndoAvailable(); }
    bool isRedoAvailable() const { return m_model.isRedoAvailable(); }

    // Where the caret stands at position, in viewport coordinates, one row high.
    QRect cursorRect(qsizetype position) const;
    // The position nearest to point, in viewport coordinates.
    qsizetype positionAt(QPointF point) const;
    // Scrolls so that position is shown.
    void ensureVisible(qsizetype position);

    // Undo, Redo, Cut, Copy, Paste, Delete and Select All; the caller owns the menu.
    QMenu *createStandardContextMenu(QWidget *parent = nullptr);

public slots:
    void selectAll();
    void copy() const;
    void cut();
    void paste();
    void undo();
    void redo();

signals:
    void textChanged();
    void cursorPositionChanged();
    void selectionChanged();
    void copyAvailable(bool available);
    void undoAvailable(bool available);
    void redoAvailable(bool available);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    // Return and Enter go to the window (its default button); Ctrl+Return starts a new line.
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    friend class MultiLineEditAccessible;
    using EditKind = TextModel::EditKind;

    // Puts caret and view at the start of a new text; tells assistive technology what it replaced.
    void resetView(const QString &previous);
    // Drops the measured widths and the composing text after an edit, undo or redo;
    // tells assistive technology.
    void followReplace(qsizetype position, const QString &removed, const QString &inserted);

    int rowHeight() const;
    int visibleRows() const;
    qsizetype topLine() const;
    int layoutLine(QTextLayout &layout, qsizetype line) const;
    QTextLine rowOf(const QTextLayout &layout, qsizetype position, int column) const;
    qsizetype hitTest(QPointF point, bool *atRowEnd) const;
    int rowsOf(qsizetype line) const;
    qreal contentX() const;
    // The viewport y of line's top, for lines near the shown ones.
    std::optional<int> lineTop(qsizetype line) const;
    qreal widestLine();
    void updateScrollBars();

    qsizetype rowEdge(qsizetype position, bool end) const;
    qsizetype positionRowsAway(qsizetype position, int rows, qreal x) const;
    qreal caretX(qsizetype position) const;

    bool handleCommand(QKeyEvent *event);
    // The parts of handleCommand: deleting, moving along a line or the text,
    // and moving by rows or pages; each false when event is none of its keys.
    bool handleDeletion(QKeyEvent *event);
    bool handleMovement(QKeyEvent *event);
    bool handleVerticalMovement(QKeyEvent *event);
    void moveCursor(qsizetype position, bool keepAnchor, bool keepColumn = false);
    void keepCaretAtRowEnd(bool atRowEnd);
    void setCursorAndAnchor(qsizetype cursor, qsizetype anchor);
    void edit(qsizetype from, qsizetype to, const QString &text, EditKind kind);
    // Shows the text after an undo or redo, with selection selected.
    void showUndoRedo(TextModel::Selection selection, bool undoBefore, bool redoBefore);
    void deleteSelection(EditKind kind);
    void restartBlink();
    void autoScroll();
    void notifyUndoRedo(bool undoBefore, bool redoBefore);

    TextModel m_model;
    qsizetype m_cursor = 0;
    qsizetype m_anchor = 0;
    LineWrapMode m_wrap = WidgetWidth;
    bool m_readOnly = false;

    QString m_preedit;
    int m_preeditCursor = 0;

    int m_topSkip = 0; // rows of the top line scrolled away, with wrapping
    qreal m_desiredX = -1;
    bool m_caretAtRowEnd = false; // the caret shows at the end of a wrapped row, not the next one's start
    qreal m_widestMeasured = 0;
    qreal m_widestPainted = 0;
    bool m_widestDirty = true;

    QBasicTimer m_blinkTimer;
    bool m_caretShown = false;
    QBasicTimer m_autoScrollTimer;
    QPointF m_mousePos;
    bool m_mouseSelecting = false;
    QElapsedTimer m_sinceDoubleClick;
};

// Makes the accessibility layer describe every MultiLineEdit as editable text.
void installMultiLineEditAccessibility();

} // namespace morvane::ui
