// A multi-line text box whose text reads as lines joined by CR LF.
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QString>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <optional>
#include <vector>

class QMenu;
class QTextLayout;
class QTextLine;

namespace morvane::ui {

class MultiLineEditAccessible;

// Keeps its text as one string with an index of line starts and lays out only the
// lines it shows, so that setting and reading a long text costs next to nothing.
// Lines are separated by CR LF. A lone CR or LF (or another control character) given
// to setText stays a character of its line and shows as its visible symbol (␍, ␊);
// typing, pasting and Ctrl+Return make CR LF breaks. Positions are offsets into text().
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

    qsizetype lineCount() const { return m_lineStarts.size(); }
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

    bool isUndoAvailable() const { return !m_undo.empty(); }
    bool isRedoAvailable() const { return !m_redo.empty(); }

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

    // How an edit joins the one before it in the undo history.
    enum class EditKind { Typing, Backspace, Delete, Other };
    struct Edit {
        qsizetype position;
        QString removed;
        QString inserted;
        qsizetype cursorBefore;
        qsizetype anchorBefore;
        EditKind kind;
    };

    qsizetype lineStart(qsizetype line) const { return m_lineStarts[line]; }
    qsizetype lineEnd(qsizetype line) const;
    QStringView lineText(qsizetype line) const;
    qsizetype lineOf(qsizetype position) const;
    qsizetype validPosition(qsizetype position) const;

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

    // A boundary finder over the part of position's line near it, set at position.
    struct BoundaryWindow {
        qsizetype from;
        qsizetype to;
        QTextBoundaryFinder finder;
    };
    BoundaryWindow boundaryWindow(QTextBoundaryFinder::BoundaryType type, qsizetype position) const;
    qsizetype nextCharPosition(qsizetype position) const;
    qsizetype previousCharPosition(qsizetype position) const;
    qsizetype previousCodePoint(qsizetype position) const;
    qsizetype nextWordPosition(qsizetype position) const;
    qsizetype previousWordPosition(qsizetype position) const;
    qsizetype rowEdge(qsizetype position, bool end) const;
    qsizetype positionRowsAway(qsizetype position, int rows, qreal x) const;
    qreal caretX(qsizetype position) const;
    std::pair<qsizetype, qsizetype> wordAt(qsizetype position) const;

    bool handleCommand(QKeyEvent *event);
    void moveCursor(qsizetype position, bool keepAnchor, bool keepColumn = false);
    void keepCaretAtRowEnd(bool atRowEnd);
    void setCursorAndAnchor(qsizetype cursor, qsizetype anchor);
    void edit(qsizetype from, qsizetype to, const QString &text, EditKind kind);
    void applyReplace(qsizetype from, qsizetype length, const QString &text);
    void deleteSelection(EditKind kind);
    void restartBlink();
    void autoScroll();
    void notifyUndoRedo(bool undoBefore, bool redoBefore);

    QString m_text;
    QList<qsizetype> m_lineStarts{0};
    qsizetype m_cursor = 0;
    qsizetype m_anchor = 0;
    LineWrapMode m_wrap = WidgetWidth;
    bool m_readOnly = false;

    std::vector<Edit> m_undo;
    std::vector<Edit> m_redo;
    bool m_mergeOpen = false;

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
