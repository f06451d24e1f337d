// MultiLineEdit: laying out the shown lines, scrolling, painting, and moving the caret by rows.
#include "ui/multilineedit.h"

#include "ui/multilineeditinternal.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextLayout>

#include <cmath>

namespace morvane::ui {

namespace {

constexpr int Margin = 4;               // between the frame and the text, in pixels
constexpr qsizetype MeasuredLines = 32; // lines measured for the horizontal scroll range

} // namespace

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
    return std::max(1, (viewport()->height() - Margin) / rowHeight());
}

qsizetype MultiLineEdit::topLine() const
{
    return std::min<qsizetype>(verticalScrollBar()->value(), lineCount() - 1);
}

qreal MultiLineEdit::contentX() const
{
    return Margin - (m_wrap == NoWrap ? horizontalScrollBar()->value() : 0);
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

    const qreal width = std::max(1, viewport()->width() - 2 * Margin);
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
            return line - top <= limit ? std::optional(Margin + int(line - top) * height) : std::nullopt;
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
    return Margin + rows * height;
}

qreal MultiLineEdit::widestLine()
{
    if (m_widestDirty) {
        m_widestMeasured = 0;
        for (const qsizetype line : m_model.longestLines(MeasuredLines)) {
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
        const int content = int(std::ceil(widestLine())) + 2 * Margin + caretWidth;
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
    int lineY = Margin - m_topSkip * height;
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
        const int width = viewport()->width() - 2 * Margin;
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

    int y = Margin - m_topSkip * height;
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

} // namespace morvane::ui
