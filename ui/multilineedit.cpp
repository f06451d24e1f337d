#include "ui/multilineedit.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOptionFocusRect>
#include <QTextLayout>

#include <cmath>
#include <limits>

namespace morvane::ui {

using namespace Qt::StringLiterals;

namespace {

constexpr int kMargin = 4;          // between the frame and the text, in pixels
constexpr qsizetype kMeasured = 32; // lines measured for the horizontal scroll range

// True when the key event's text is something to type rather than a command.
bool isTypedText(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool altGr = mods.testFlag(Qt::ControlModifier) && mods.testFlag(Qt::AltModifier);
    if (!altGr && (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control;
    });
}

bool isReturn(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

bool isRedo(const QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    return event->matches(QKeySequence::Redo) ||
           (event->key() == Qt::Key_Y && mods == Qt::ControlModifier) ||
           (event->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier));
}

bool isBackspace(const QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    return (event->key() == Qt::Key_Backspace && mods == Qt::NoModifier) || event->matches(QKeySequence::Backspace);
}

// The keys handled as commands, which no shortcut of the window should take away.
constexpr QKeySequence::StandardKey kCommandKeys[] = {
    QKeySequence::Undo,
    QKeySequence::Copy,
    QKeySequence::Cut,
    QKeySequence::Paste,
    QKeySequence::SelectAll,
    QKeySequence::Delete,
    QKeySequence::DeleteStartOfWord,
    QKeySequence::DeleteEndOfWord,
    QKeySequence::DeleteEndOfLine,
    QKeySequence::MoveToNextChar,
    QKeySequence::MoveToPreviousChar,
    QKeySequence::MoveToNextWord,
    QKeySequence::MoveToPreviousWord,
    QKeySequence::MoveToNextLine,
    QKeySequence::MoveToPreviousLine,
    QKeySequence::MoveToNextPage,
    QKeySequence::MoveToPreviousPage,
    QKeySequence::MoveToStartOfLine,
    QKeySequence::MoveToEndOfLine,
    QKeySequence::MoveToStartOfBlock,
    QKeySequence::MoveToEndOfBlock,
    QKeySequence::MoveToStartOfDocument,
    QKeySequence::MoveToEndOfDocument,
    QKeySequence::SelectNextChar,
    QKeySequence::SelectPreviousChar,
    QKeySequence::SelectNextWord,
    QKeySequence::SelectPreviousWord,
    QKeySequence::SelectNextLine,
    QKeySequence::SelectPreviousLine,
    QKeySequence::SelectNextPage,
    QKeySequence::SelectPreviousPage,
    QKeySequence::SelectStartOfLine,
    QKeySequence::SelectEndOfLine,
    QKeySequence::SelectStartOfBlock,
    QKeySequence::SelectEndOfBlock,
    QKeySequence::SelectStartOfDocument,
    QKeySequence::SelectEndOfDocument,
};

int clampToInt(qsizetype value)
{
    return int(std::clamp<qsizetype>(value, 0, std::numeric_limits<int>::max()));
}

void notifyAccessibility(QAccessibleEvent &&event)
{
    QAccessible::updateAccessibility(&event);
}

} // namespace

MultiLineEdit::MultiLineEdit(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    installMultiLineEditAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAttribute(Qt::WA_MacShowFocusRect);
    setInputMethodHints(Qt::ImhMultiLine);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    connect(&m_model, &TextModel::textReset, this, &MultiLineEdit::resetView);
    connect(&m_model, &TextModel::textReplaced, this, &MultiLineEdit::followReplace);
    updateScrollBars();
}

MultiLineEdit::~MultiLineEdit() = default;

// ---- text -------------------------------------------------------------------

QString MultiLineEdit::text() const
{
    return m_model.text();
}

void MultiLineEdit::setText(const QString &text)
{
    const bool hadSelection = hasSelectedText();
    const bool cursorMoves = m_cursor != 0;
    const bool undoBefore = isUndoAvailable();
    const bool redoBefore = isRedoAvailable();
    m_model.setText(text); // resetView puts the caret at the start
    emit textChanged();
    if (cursorMoves)
        emit cursorPositionChanged();
    if (hadSelection) {
        emit selectionChanged();
        emit copyAvailable(false);
    }
    notifyUndoRedo(undoBefore, redoBefore);
}

void MultiLineEdit::resetView(const QString &previous)
{
    m_cursor = m_anchor = 0;
    m_caretAtRowEnd = false;
    m_preedit.clear();
    m_desiredX = -1;
    m_widestDirty = true;
    m_widestPainted = 0;
    m_topSkip = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    if (QAccessible::isActive())
        notifyAccessibility(QAccessibleTextUpdateEvent(this, 0, previous, m_model.text()));
}

QString MultiLineEdit::selectedText() const
{
    return m_model.text().sliced(selectionStart(), selectionEnd() - selectionStart());
}

void MultiLineEdit::setReadOnly(bool readOnly)
{
    if (m_readOnly == readOnly)
        return;
    m_readOnly = readOnly;
    setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
    m_preedit.clear();
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.readOnly = true;
        changed.editable = true;
        notifyAccessibility(QAccessibleStateChangeEvent(this, changed));
    }
    viewport()->update();
}

// ---- layout and scrolling ---------------------------------------------------

void MultiLineEdit::setLineWrapMode(LineWrapMode mode)
{
    if (m_wrap == mode)
        return;
    m_wrap = mode;
    m_topSkip = 0;
    m_widestDirty = true;
    m_widestPainted = 0;
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

int MultiLineEdit::rowHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int MultiLineEdit::visibleRows() const
{
    return std::max(1, (viewport()->height() - kMargin) / rowHeight());
}

qsizetype MultiLineEdit::topLine() const
{
    return std::min<qsizetype>(verticalScrollBar()->value(), lineCount() - 1);
}

qreal MultiLineEdit::contentX() const
{
    return kMargin - (m_wrap == NoWrap ? horizontalScrollBar()->value() : 0);
}

// Lays out one line in rows of rowHeight() and returns how many rows it takes.
int MultiLineEdit::layoutLine(QTextLayout &layout, qsizetype line) const
{
    layout.setText(m_model.shownLine(line));
    layout.setFont(font());
    QTextOption option;
    option.setTextDirection(layoutDirection());
    option.setWrapMode(m_wrap == WidgetWidth ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    if (!m_preedit.isEmpty() && line == m_model.lineOf(m_cursor))
        layout.setPreeditArea(int(m_cursor - m_model.lineStart(line)), m_preedit);
    layout.setCacheEnabled(true);

    const qreal width = std::max(1, viewport()->width() - 2 * kMargin);
    const int height = rowHeight();
    int rows = 0;
    layout.beginLayout();
    for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
        row.setLineWidth(width);
        row.setPosition(QPointF(0, rows * height));
        ++rows;
    }
    layout.endLayout();
    return std::max(rows, 1);
}

int MultiLineEdit::rowsOf(qsizetype line) const
{
    if (m_wrap == NoWrap)
        return 1;
    QTextLayout layout;
    return layoutLine(layout, line);
}

std::optional<int> MultiLineEdit::lineTop(qsizetype line) const
{
    const int height = rowHeight();
    const int limit = visibleRows() + 2;
    qsizetype top = topLine();
    int rows = -m_topSkip;
    if (line >= top) {
        if (m_wrap == NoWrap)
            return line - top <= limit ? std::optional(kMargin + int(line - top) * height) : std::nullopt;
        for (; top < line; ++top) {
            rows += rowsOf(top);
            if (rows > limit)
                return std::nullopt;
        }
    } else {
        if (top - line > limit)
            return std::nullopt;
        for (; top > line; --top)
            rows -= rowsOf(top - 1);
    }
    return kMargin + rows * height;
}

qreal MultiLineEdit::widestLine()
{
    if (m_widestDirty) {
        m_widestMeasured = 0;
        for (const qsizetype line : m_model.longestLines(kMeasured)) {
            QTextLayout layout;
            layoutLine(layout, line);
            m_widestMeasured = std::max(m_widestMeasured, layout.lineAt(0).naturalTextWidth());
        }
        m_widestDirty = false;
    }
    return std::max(m_widestMeasured, m_widestPainted);
}

void MultiLineEdit::updateScrollBars()
{
    const int rows = visibleRows();
    qsizetype maxTop = 0;
    if (m_wrap == NoWrap) {
        maxTop = std::max<qsizetype>(0, lineCount() - rows);
    } else {
        // The first line of the last page: lines from the end while they fit.
        qsizetype line = lineCount() - 1;
        for (int used = 0; line >= 0; --line) {
            used += rowsOf(line);
            if (used > rows)
                break;
        }
        maxTop = std::min(line + 1, lineCount() - 1);
    }
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, clampToInt(maxTop));
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);

    QScrollBar *horizontal = horizontalScrollBar();
    if (m_wrap == NoWrap) {
        const int caretWidth = style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this);
        const int content = int(std::ceil(widestLine())) + 2 * kMargin + caretWidth;
        horizontal->setRange(0, std::max(0, content - viewport()->width()));
        horizontal->setPageStep(std::max(1, viewport()->width()));
        horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
    } else {
        horizontal->setRange(0, 0);
    }
}

void MultiLineEdit::scrollContentsBy(int, int dy)
{
    if (dy != 0)
        m_topSkip = 0;
    viewport()->update();
}

void MultiLineEdit::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_wrap == WidgetWidth)
        m_topSkip = 0;
    updateScrollBars();
}

void MultiLineEdit::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
        m_widestDirty = true;
        m_widestPainted = 0;
        updateScrollBars();
        viewport()->update();
        break;
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
        viewport()->update();
        break;
    default:
        break;
    }
}

QRect MultiLineEdit::cursorRect(qsizetype position) const
{
    position = m_model.validPosition(position);
    const qsizetype line = m_model.lineOf(position);
    const int width = style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this);
    const std::optional<int> top = lineTop(line);
    if (!top)
        return QRect(QPoint(-1, line < topLine() ? -rowHeight() - 1 : viewport()->height() + 1), QSize(width, rowHeight()));
    QTextLayout layout;
    layoutLine(layout, line);
    const int column = int(position - m_model.lineStart(line));
    const QTextLine row = rowOf(layout, position, column);
    const qreal x = row.isValid() ? row.cursorToX(column) : 0;
    return QRect(int(contentX() + x), *top + (row.isValid() ? int(row.y()) : 0), width, rowHeight());
}

// The row that shows position: the caret that End or a click put at the end of a
// wrapped row stays on that row although its offset is also the next row's start.
QTextLine MultiLineEdit::rowOf(const QTextLayout &layout, qsizetype position, int column) const
{
    QTextLine row = layout.lineForTextPosition(column);
    if (m_caretAtRowEnd && position == m_cursor && row.isValid() && row.lineNumber() > 0 &&
        row.textStart() == column)
        row = layout.lineAt(row.lineNumber() - 1);
    return row;
}

qsizetype MultiLineEdit::positionAt(QPointF point) const
{
    return hitTest(point, nullptr);
}

qsizetype MultiLineEdit::hitTest(QPointF point, bool *atRowEnd) const
{
    const int height = rowHeight();
    const qreal y = std::clamp<qreal>(point.y(), 0, std::max(0, viewport()->height() - 1));
    qsizetype line = topLine();
    int lineY = kMargin - m_topSkip * height;
    QTextLayout layout;
    while (true) {
        const int rows = m_wrap == NoWrap ? 1 : layoutLine(layout, line);
        if (y < lineY + rows * height || line + 1 >= lineCount())
            break;
        lineY += rows * height;
        ++line;
    }
    layoutLine(layout, line);
    const int row = std::clamp(int(std::floor((y - lineY) / height)), 0, layout.lineCount() - 1);
    const QTextLine hit = layout.lineAt(row);
    const int column = hit.xToCursor(point.x() - contentX());
    if (atRowEnd)
        *atRowEnd = row + 1 < layout.lineCount() && column == hit.textStart() + hit.textLength();
    return m_model.validPosition(m_model.lineStart(line) + column);
}

void MultiLineEdit::ensureVisible(qsizetype position)
{
    position = m_model.validPosition(position);
    const qsizetype line = m_model.lineOf(position);
    const int column = int(position - m_model.lineStart(line));
    QTextLayout layout;
    layoutLine(layout, line);
    const QTextLine caretRow = rowOf(layout, position, column);
    const int row = caretRow.isValid() ? caretRow.lineNumber() : 0;
    const int rows = visibleRows();
    QScrollBar *vertical = verticalScrollBar();

    const qsizetype top = topLine();
    const std::optional<int> y = lineTop(line);
    const bool above = line < top || (line == top && row < m_topSkip);
    const bool below = !y || *y + (row + 1) * rowHeight() > viewport()->height();
    if (above) {
        vertical->setValue(clampToInt(line));
        m_topSkip = m_wrap == WidgetWidth ? std::max(0, row - rows + 1) : 0;
    } else if (below) {
        // Fill the page upwards from the caret's row.
        int used = row + 1;
        qsizetype first = line;
        while (first > 0 && used < rows) {
            const int more = rowsOf(first - 1);
            if (used + more > rows)
                break;
            used += more;
            --first;
        }
        vertical->setValue(clampToInt(first));
        m_topSkip = first == line ? std::max(0, row + 1 - rows) : 0;
    }

    if (m_wrap == NoWrap) {
        const qreal natural = layout.lineAt(0).naturalTextWidth();
        if (natural > widestLine()) {
            m_widestPainted = natural;
            updateScrollBars();
        }
        QScrollBar *horizontal = horizontalScrollBar();
        const qreal x = caretRow.cursorToX(column);
        const int width = viewport()->width() - 2 * kMargin;
        if (x < horizontal->value())
            horizontal->setValue(int(std::floor(x)) - width / 4);
        else if (x > horizontal->value() + width - 1)
            horizontal->setValue(int(std::ceil(x)) - width + width / 4);
    }
    viewport()->update();
}

// ---- painting ---------------------------------------------------------------

void MultiLineEdit::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect exposed = event->rect();
    const QPalette::ColorGroup group =
        !isEnabled() ? QPalette::Disabled : (isActiveWindow() ? QPalette::Active : QPalette::Inactive);
    const QPalette &pal = palette();
    painter.setPen(pal.color(group, QPalette::Text));

    const int height = rowHeight();
    const qreal x = contentX();
    const qsizetype caretLine = m_model.lineOf(m_cursor);
    const bool caretOn = m_caretShown && hasFocus();
    const int caretWidth = style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this);
    const qsizetype selFrom = selectionStart();
    const qsizetype selTo = selectionEnd();
    qreal widest = 0;

    int y = kMargin - m_topSkip * height;
    for (qsizetype line = topLine(); line < lineCount() && y <= exposed.bottom(); ++line) {
        if (m_wrap == NoWrap && y + height <= exposed.top()) {
            y += height;
            continue;
        }
        QTextLayout layout;
        const int rows = layoutLine(layout, line);
        const qsizetype start = m_model.lineStart(line);
        const qsizetype end = m_model.lineEnd(line);
        QList<QTextLayout::FormatRange> selections;
        if (selFrom < end && selTo > start) {
            QTextLayout::FormatRange range;
            range.start = int(std::max(selFrom, start) - start);
            range.length = int(std::min(selTo, end) - start) - range.start;
            range.format.setBackground(pal.brush(group, QPalette::Highlight));
            range.format.setForeground(pal.brush(group, QPalette::HighlightedText));
            selections.append(range);
        }
        layout.draw(&painter, QPointF(x, y), selections);
        const QTextLine last = layout.lineAt(layout.lineCount() - 1);
        if (selFrom <= end && selTo > end) { // the break after this line is selected
            const qreal blank = fontMetrics().horizontalAdvance(u' ');
            painter.fillRect(QRectF(x + last.naturalTextWidth(), y + last.y(), blank, height),
                             pal.brush(group, QPalette::Highlight));
        }
        if (caretOn && line == caretLine) {
            const int column = int(m_cursor - start) + m_preeditCursor;
            const QTextLine row = m_preedit.isEmpty() ? rowOf(layout, m_cursor, column) : layout.lineForTextPosition(column);
            if (row.isValid())
                painter.fillRect(QRectF(x + row.cursorToX(column), y + row.y(), caretWidth, height), painter.pen().brush());
        }
        if (m_wrap == NoWrap)
            widest = std::max(widest, last.naturalTextWidth());
        y += rows * height;
    }
    if (m_wrap == NoWrap && widest > widestLine()) {
        m_widestPainted = widest;
        QMetaObject::invokeMethod(this, &MultiLineEdit::updateScrollBars, Qt::QueuedConnection);
    }
}

// ---- moving by rows ---------------------------------------------------------

// The start or end of the row (the wrapped part of a line) that holds position.
qsizetype MultiLineEdit::rowEdge(qsizetype position, bool end) const
{
    const qsizetype line = m_model.lineOf(position);
    if (m_wrap == NoWrap)
        return end ? m_model.lineEnd(line) : m_model.lineStart(line);
    QTextLayout layout;
    layoutLine(layout, line);
    const QTextLine row = rowOf(layout, position, int(position - m_model.lineStart(line)));
    if (!row.isValid())
        return position;
    if (!end)
        return m_model.lineStart(line) + row.textStart();
    qsizetype edge = row.textStart() + row.textLength();
    // A row that broke at a blank ends before it; one broken inside a word ends
    // where the next row starts, and the caret keeps to this row (see rowOf).
    if (row.lineNumber() + 1 < layout.lineCount() && edge > row.textStart() &&
        m_model.lineText(line)[edge - 1].isSpace())
        --edge;
    return m_model.validPosition(m_model.lineStart(line) + edge);
}

qreal MultiLineEdit::caretX(qsizetype position) const
{
    const qsizetype line = m_model.lineOf(position);
    QTextLayout layout;
    layoutLine(layout, line);
    const int column = int(position - m_model.lineStart(line));
    const QTextLine row = rowOf(layout, position, column);
    return row.isValid() ? row.cursorToX(column) : 0;
}

// The position rows rows below (above, when negative) position, nearest to x.
qsizetype MultiLineEdit::positionRowsAway(qsizetype position, int rows, qreal x) const
{
    qsizetype line = m_model.lineOf(position);
    QTextLayout layout;
    int row = 0;
    if (m_wrap == NoWrap) {
        line = std::clamp<qsizetype>(line + rows, 0, lineCount() - 1);
        layoutLine(layout, line);
    } else {
        int count = layoutLine(layout, line);
        const QTextLine current = rowOf(layout, position, int(position - m_model.lineStart(line)));
        row = (current.isValid() ? current.lineNumber() : 0) + rows;
        while (row < 0 && line > 0) {
            count = layoutLine(layout, --line);
            row += count;
        }
        while (row >= count && line + 1 < lineCount()) {
            row -= count;
            count = layoutLine(layout, ++line);
        }
        row = std::clamp(row, 0, layout.lineCount() - 1);
    }
    return m_model.validPosition(m_model.lineStart(line) + layout.lineAt(row).xToCursor(x));
}

// ---- caret and selection ----------------------------------------------------

void MultiLineEdit::restartBlink()
{
    // Called whenever the caret moves or the text changes: the input method follows too.
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
    m_caretShown = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (hasFocus() && flash > 0)
        m_blinkTimer.start(flash / 2, this);
    else
        m_blinkTimer.stop();
    viewport()->update();
}

void MultiLineEdit::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_blinkTimer.timerId()) {
        m_caretShown = !m_caretShown;
        viewport()->update(cursorRect(m_cursor).adjusted(-1, 0, 1, 0));
    } else if (event->timerId() == m_autoScrollTimer.timerId()) {
        autoScroll();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void MultiLineEdit::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
}

void MultiLineEdit::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blinkTimer.stop();
    m_caretShown = false;
    viewport()->update();
}

void MultiLineEdit::setCursorAndAnchor(qsizetype cursor, qsizetype anchor)
{
    cursor = m_model.validPosition(cursor);
    anchor = m_model.validPosition(anchor);
    m_caretAtRowEnd = false;
    const bool cursorMoved = cursor != m_cursor;
    const bool hadSelection = hasSelectedText();
    const bool selectionMoved = (std::min(cursor, anchor) != selectionStart() || std::max(cursor, anchor) != selectionEnd()) &&
                                (hadSelection || cursor != anchor);
    m_cursor = cursor;
    m_anchor = anchor;
    if (!cursorMoved && !selectionMoved)
        return;
    restartBlink();
    if (cursorMoved) {
        if (QAccessible::isActive())
            notifyAccessibility(QAccessibleTextCursorEvent(this, clampToInt(m_cursor)));
        emit cursorPositionChanged();
    }
    if (selectionMoved) {
        if (QAccessible::isActive())
            notifyAccessibility(QAccessibleTextSelectionEvent(this, clampToInt(selectionStart()), clampToInt(selectionEnd())));
        emit selectionChanged();
        if (hadSelection != hasSelectedText())
            emit copyAvailable(hasSelectedText());
    }
}

void MultiLineEdit::moveCursor(qsizetype position, bool keepAnchor, bool keepColumn)
{
    if (!keepColumn)
        m_desiredX = -1;
    m_model.endRun();
    setCursorAndAnchor(position, keepAnchor ? m_anchor : position);
    ensureVisible(m_cursor);
}

void MultiLineEdit::keepCaretAtRowEnd(bool atRowEnd)
{
    if (m_wrap == NoWrap || !atRowEnd)
        return;
    m_caretAtRowEnd = true;
    ensureVisible(m_cursor);
    viewport()->update();
}

void MultiLineEdit::setCursorPosition(qsizetype position)
{
    moveCursor(position, false);
}

void MultiLineEdit::setSelection(qsizetype anchor, qsizetype position)
{
    m_desiredX = -1;
    m_model.endRun();
    setCursorAndAnchor(position, anchor);
    ensureVisible(m_cursor);
}

void MultiLineEdit::selectAll()
{
    setSelection(0, m_model.text().size());
}

// ---- editing and undo -------------------------------------------------------

void MultiLineEdit::followReplace(qsizetype position, const QString &removed, const QString &inserted)
{
    m_widestDirty = true;
    m_widestPainted = 0;
    m_preedit.clear();
    m_preeditCursor = 0;
    if (QAccessible::isActive()) {
        if (removed.isEmpty())
            notifyAccessibility(QAccessibleTextInsertEvent(this, clampToInt(position), inserted));
        else if (inserted.isEmpty())
            notifyAccessibility(QAccessibleTextRemoveEvent(this, clampToInt(position), removed));
        else
            notifyAccessibility(QAccessibleTextUpdateEvent(this, clampToInt(position), removed, inserted));
    }
}

void MultiLineEdit::notifyUndoRedo(bool undoBefore, bool redoBefore)
{
    if (undoBefore != isUndoAvailable())
        emit undoAvailable(isUndoAvailable());
    if (redoBefore != isRedoAvailable())
        emit redoAvailable(isRedoAvailable());
}

void MultiLineEdit::edit(qsizetype from, qsizetype to, const QString &text, EditKind kind)
{
    const bool undoBefore = isUndoAvailable();
    const bool redoBefore = isRedoAvailable();
    const bool hadSelection = hasSelectedText();
    const std::optional<qsizetype> caret = m_model.replace(from, to, text, kind, {m_cursor, m_anchor});
    if (!caret)
        return;
    m_desiredX = -1;
    m_caretAtRowEnd = false;
    m_cursor = m_anchor = *caret;
    restartBlink();
    if (QAccessible::isActive())
        notifyAccessibility(QAccessibleTextCursorEvent(this, clampToInt(m_cursor)));
    emit cursorPositionChanged();
    if (hadSelection) {
        emit selectionChanged();
        emit copyAvailable(false);
    }
    updateScrollBars();
    ensureVisible(m_cursor);
    emit textChanged();
    notifyUndoRedo(undoBefore, redoBefore);
}

void MultiLineEdit::replace(qsizetype from, qsizetype to, const QString &text)
{
    if (!m_readOnly)
        edit(from, to, TextModel::withCrLfBreaks(text), EditKind::Other);
}

void MultiLineEdit::deleteSelection(EditKind kind)
{
    if (hasSelectedText())
        edit(selectionStart(), selectionEnd(), QString(), kind);
}

void MultiLineEdit::undo()
{
    if (m_readOnly || !isUndoAvailable())
        return;
    const bool redoBefore = isRedoAvailable();
    showUndoRedo(*m_model.undo(), true, redoBefore);
}

void MultiLineEdit::redo()
{
    if (m_readOnly || !isRedoAvailable())
        return;
    const bool undoBefore = isUndoAvailable();
    showUndoRedo(*m_model.redo(), undoBefore, true);
}

void MultiLineEdit::showUndoRedo(TextModel::Selection selection, bool undoBefore, bool redoBefore)
{
    m_desiredX = -1;
    setCursorAndAnchor(selection.cursor, selection.anchor);
    updateScrollBars();
    ensureVisible(m_cursor);
    emit textChanged();
    notifyUndoRedo(undoBefore, redoBefore);
}

void MultiLineEdit::copy() const
{
    if (hasSelectedText())
        QGuiApplication::clipboard()->setText(selectedText());
}

void MultiLineEdit::cut()
{
    if (m_readOnly || !hasSelectedText())
        return;
    copy();
    deleteSelection(EditKind::Other);
}

void MultiLineEdit::paste()
{
    if (m_readOnly)
        return;
    const QString pasted = QGuiApplication::clipboard()->text();
    if (!pasted.isEmpty())
        edit(selectionStart(), selectionEnd(), TextModel::withCrLfBreaks(pasted), EditKind::Other);
}

// ---- keyboard ---------------------------------------------------------------

bool MultiLineEdit::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool ours = (isReturn(key) && key->modifiers().testFlag(Qt::ControlModifier)) || isRedo(key) ||
                          isBackspace(key) || isTypedText(key) ||
                          std::any_of(std::begin(kCommandKeys), std::end(kCommandKeys),
                                      [key](QKeySequence::StandardKey k) { return key->matches(k); });
        if (ours) {
            key->accept();
            return true;
        }
    }
    if (event->type() == QEvent::Paint) {
        // The frame, then the style's focus rectangle on it while the box has the focus.
        const bool done = QAbstractScrollArea::event(event);
        if (hasFocus()) {
            QPainter painter(this);
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
            option.backgroundColor = palette().color(QPalette::Base);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
        return done;
    }
    return QAbstractScrollArea::event(event);
}

void MultiLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (isReturn(event)) {
        if (event->modifiers().testFlag(Qt::ControlModifier) && !m_readOnly) {
            edit(selectionStart(), selectionEnd(), u"\r\n"_s, EditKind::Other);
            event->accept();
        } else {
            event->ignore();
        }
        return;
    }
    if (handleCommand(event)) {
        event->accept();
        return;
    }
    if (!m_readOnly && isTypedText(event)) {
        edit(selectionStart(), selectionEnd(), event->text(), EditKind::Typing);
        event->accept();
        return;
    }
    event->ignore();
}

bool MultiLineEdit::handleCommand(QKeyEvent *event)
{
    using K = QKeySequence;
    const auto is = [event](K::StandardKey key) { return event->matches(key); };
    const qsizetype pos = m_cursor;

    if (is(K::Undo)) {
        undo();
    } else if (isRedo(event)) {
        redo();
    } else if (is(K::Copy)) {
        copy();
    } else if (is(K::Cut)) {
        cut();
    } else if (is(K::Paste)) {
        paste();
    } else if (is(K::SelectAll)) {
        selectAll();
    } else if (isBackspace(event) || is(K::Delete) || is(K::DeleteStartOfWord) || is(K::DeleteEndOfWord) ||
               is(K::DeleteEndOfLine)) {
        if (m_readOnly)
            return true;
        if (hasSelectedText() && !is(K::DeleteEndOfLine)) {
            deleteSelection(isBackspace(event) ? EditKind::Backspace : EditKind::Delete);
        } else if (isBackspace(event)) {
            edit(m_model.previousCodePoint(pos), pos, QString(), EditKind::Backspace);
        } else if (is(K::Delete)) {
            edit(pos, m_model.nextCharPosition(pos), QString(), EditKind::Delete);
        } else if (is(K::DeleteStartOfWord)) {
            edit(m_model.previousWordPosition(pos), pos, QString(), EditKind::Other);
        } else if (is(K::DeleteEndOfWord)) {
            edit(pos, m_model.nextWordPosition(pos), QString(), EditKind::Other);
        } else {
            const qsizetype end = m_model.lineEnd(m_model.lineOf(pos));
            edit(pos, end > pos ? end : m_model.nextCharPosition(pos), QString(), EditKind::Other);
        }
    } else if (is(K::MoveToNextChar) || is(K::SelectNextChar)) {
        const bool select = is(K::SelectNextChar);
        moveCursor(!select && hasSelectedText() ? selectionEnd() : m_model.nextCharPosition(pos), select);
    } else if (is(K::MoveToPreviousChar) || is(K::SelectPreviousChar)) {
        const bool select = is(K::SelectPreviousChar);
        moveCursor(!select && hasSelectedText() ? selectionStart() : m_model.previousCharPosition(pos), select);
    } else if (is(K::MoveToNextWord) || is(K::SelectNextWord)) {
        moveCursor(m_model.nextWordPosition(pos), is(K::SelectNextWord));
    } else if (is(K::MoveToPreviousWord) || is(K::SelectPreviousWord)) {
        moveCursor(m_model.previousWordPosition(pos), is(K::SelectPreviousWord));
    } else if (is(K::MoveToNextLine) || is(K::SelectNextLine) || is(K::MoveToPreviousLine) ||
               is(K::SelectPreviousLine) || is(K::MoveToNextPage) || is(K::SelectNextPage) ||
               is(K::MoveToPreviousPage) || is(K::SelectPreviousPage)) {
        const bool page = is(K::MoveToNextPage) || is(K::SelectNextPage) || is(K::MoveToPreviousPage) ||
                          is(K::SelectPreviousPage);
        const bool down = is(K::MoveToNextLine) || is(K::SelectNextLine) || is(K::MoveToNextPage) ||
                          is(K::SelectNextPage);
        const bool select = is(K::SelectNextLine) || is(K::SelectPreviousLine) || is(K::SelectNextPage) ||
                            is(K::SelectPreviousPage);
        if (m_desiredX < 0)
            m_desiredX = caretX(pos);
        const int rows = (page ? visibleRows() : 1) * (down ? 1 : -1);
        const qsizetype target = positionRowsAway(pos, rows, m_desiredX);
        if (page) { // the view pages along with the caret
            QScrollBar *vertical = verticalScrollBar();
            vertical->setValue(clampToInt(vertical->value() + (m_model.lineOf(target) - m_model.lineOf(pos))));
        }
        moveCursor(target, select, true);
    } else if (is(K::MoveToStartOfLine) || is(K::SelectStartOfLine)) {
        moveCursor(rowEdge(pos, false), is(K::SelectStartOfLine));
    } else if (is(K::MoveToEndOfLine) || is(K::SelectEndOfLine)) {
        moveCursor(rowEdge(pos, true), is(K::SelectEndOfLine));
        keepCaretAtRowEnd(true);
    } else if (is(K::MoveToStartOfBlock) || is(K::SelectStartOfBlock)) {
        moveCursor(m_model.lineStart(m_model.lineOf(pos)), is(K::SelectStartOfBlock));
    } else if (is(K::MoveToEndOfBlock) || is(K::SelectEndOfBlock)) {
        moveCursor(m_model.lineEnd(m_model.lineOf(pos)), is(K::SelectEndOfBlock));
    } else if (is(K::MoveToStartOfDocument) || is(K::SelectStartOfDocument)) {
        moveCursor(0, is(K::SelectStartOfDocument));
    } else if (is(K::MoveToEndOfDocument) || is(K::SelectEndOfDocument)) {
        moveCursor(m_model.text().size(), is(K::SelectEndOfDocument));
    } else {
        return false;
    }
    return true;
}

// ---- input methods ----------------------------------------------------------

void MultiLineEdit::inputMethodEvent(QInputMethodEvent *event)
{
    if (m_readOnly) {
        event->ignore();
        return;
    }
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        qsizetype from = selectionStart();
        qsizetype to = selectionEnd();
        if (event->replacementLength() > 0 || event->replacementStart() != 0) {
            const qsizetype line = m_model.lineOf(m_cursor);
            from = std::clamp<qsizetype>(m_cursor + event->replacementStart(), m_model.lineStart(line), m_model.lineEnd(line));
            to = std::clamp<qsizetype>(from + event->replacementLength(), from, m_model.lineEnd(line));
        }
        edit(from, to, TextModel::withCrLfBreaks(event->commitString()), EditKind::Typing);
    }
    m_preedit = event->preeditString();
    m_preeditCursor = int(m_preedit.size());
    for (const QInputMethodEvent::Attribute &attribute : event->attributes()) {
        if (attribute.type == QInputMethodEvent::Cursor)
            m_preeditCursor = attribute.start;
    }
    viewport()->update();
    event->accept();
}

QVariant MultiLineEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const qsizetype line = m_model.lineOf(m_cursor);
    const qsizetype start = m_model.lineStart(line);
    switch (query) {
    case Qt::ImEnabled:
        return !m_readOnly && isEnabled();
    case Qt::ImCursorRectangle:
        return QRectF(cursorRect(m_cursor).translated(viewport()->geometry().topLeft()));
    case Qt::ImAnchorRectangle:
        return QRectF(cursorRect(m_anchor).translated(viewport()->geometry().topLeft()));
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return int(m_cursor - start);
    case Qt::ImAnchorPosition:
        return int(std::clamp(m_anchor, start, m_model.lineEnd(line)) - start);
    case Qt::ImAbsolutePosition:
        return clampToInt(m_cursor);
    case Qt::ImSurroundingText:
        return m_model.lineText(line).toString();
    case Qt::ImTextBeforeCursor:
        return QStringView(m_model.text()).sliced(start, m_cursor - start).toString();
    case Qt::ImTextAfterCursor:
        return QStringView(m_model.text()).sliced(m_cursor, m_model.lineEnd(line) - m_cursor).toString();
    case Qt::ImCurrentSelection:
        return selectedText();
    case Qt::ImHints:
        return int(inputMethodHints());
    case Qt::ImReadOnly:
        return m_readOnly;
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

// ---- mouse ------------------------------------------------------------------

void MultiLineEdit::mousePressEvent(QMouseEvent *event)
{
    m_mousePos = event->position();
    bool atRowEnd = false;
    const qsizetype at = hitTest(event->position(), &atRowEnd);
    if (event->button() == Qt::LeftButton) {
        const bool tripleClick = m_sinceDoubleClick.isValid() &&
                                 m_sinceDoubleClick.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval();
        m_sinceDoubleClick.invalidate();
        if (tripleClick) {
            const qsizetype line = m_model.lineOf(at);
            const qsizetype end = line + 1 < lineCount() ? m_model.lineStart(line + 1) : m_model.lineEnd(line);
            setSelection(m_model.lineStart(line), end);
        } else {
            moveCursor(at, event->modifiers().testFlag(Qt::ShiftModifier));
            keepCaretAtRowEnd(atRowEnd);
            m_mouseSelecting = true;
        }
        event->accept();
    } else if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        const QString pasted = QGuiApplication::clipboard()->text(QClipboard::Selection);
        if (!m_readOnly && !pasted.isEmpty()) {
            moveCursor(at, false);
            edit(at, at, TextModel::withCrLfBreaks(pasted), EditKind::Other);
        }
        event->accept();
    } else if (event->button() == Qt::RightButton) {
        if (at < selectionStart() || at > selectionEnd())
            moveCursor(at, false);
        event->accept(); // the context menu follows
    } else {
        event->ignore();
    }
}

void MultiLineEdit::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_mouseSelecting || !event->buttons().testFlag(Qt::LeftButton)) {
        event->ignore();
        return;
    }
    m_mousePos = event->position();
    const QRect area = viewport()->rect();
    if (area.contains(m_mousePos.toPoint()))
        m_autoScrollTimer.stop();
    else if (!m_autoScrollTimer.isActive())
        m_autoScrollTimer.start(50, this);
    bool atRowEnd = false;
    setCursorAndAnchor(hitTest(m_mousePos, &atRowEnd), m_anchor);
    ensureVisible(m_cursor);
    keepCaretAtRowEnd(atRowEnd);
    event->accept();
}

void MultiLineEdit::autoScroll()
{
    if (!m_mouseSelecting) {
        m_autoScrollTimer.stop();
        return;
    }
    const QRect area = viewport()->rect();
    if (m_mousePos.y() < area.top())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (m_mousePos.y() > area.bottom())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (m_mousePos.x() < area.left())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (m_mousePos.x() > area.right())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    setCursorAndAnchor(positionAt(m_mousePos), m_anchor);
}

void MultiLineEdit::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_mouseSelecting = false;
    m_autoScrollTimer.stop();
    if (hasSelectedText() && QGuiApplication::clipboard()->supportsSelection())
        QGuiApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
    event->accept();
}

void MultiLineEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const auto [start, end] = m_model.wordAt(positionAt(event->position()));
    setSelection(start, end);
    m_sinceDoubleClick.start();
    m_mouseSelecting = false;
    event->accept();
}

// ---- context menu -----------------------------------------------------------

QMenu *MultiLineEdit::createStandardContextMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const auto add = [this, menu](const QString &text, const char *name, QKeySequence::StandardKey key,
                                  bool enabled, auto slot) {
        QAction *action = menu->addAction(text);
        connect(action, &QAction::triggered, this, slot);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setShortcutVisibleInContextMenu(true);
        action->setEnabled(enabled);
        return action;
    };
    const bool editable = !m_readOnly;
    const bool selected = hasSelectedText();
    add(tr("&Undo"), "edit-undo", QKeySequence::Undo, editable && isUndoAvailable(), [this] { undo(); });
    add(tr("&Redo"), "edit-redo", QKeySequence::Redo, editable && isRedoAvailable(), [this] { redo(); });
    menu->addSeparator();
    add(tr("Cu&t"), "edit-cut", QKeySequence::Cut, editable && selected, [this] { cut(); });
    add(tr("&Copy"), "edit-copy", QKeySequence::Copy, selected, [this] { copy(); });
    add(tr("&Paste"), "edit-paste", QKeySequence::Paste,
        editable && !QGuiApplication::clipboard()->text().isEmpty(), [this] { paste(); });
    add(tr("Delete"), "edit-delete", QKeySequence::Delete, editable && selected,
        [this] { deleteSelection(EditKind::Other); });
    menu->addSeparator();
    add(tr("Select All"), "select-all", QKeySequence::SelectAll, !m_model.text().isEmpty(), [this] { selectAll(); });
    return menu;
}

void MultiLineEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

} // namespace morvane::ui
