#include "ui/multilineedit.h"

#include "ui/multilineeditinternal.h"

#include <QAccessible>
#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QScrollBar>
#include <QStyleHints>

namespace morvane::ui {

namespace {

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
        edit(from, to, withCrLfBreaks(text), EditKind::Other);
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
        edit(selectionStart(), selectionEnd(), withCrLfBreaks(pasted), EditKind::Other);
}

} // namespace morvane::ui
