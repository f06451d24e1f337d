// MultiLineEdit: keys, input methods, the mouse and the context menu.
#include "ui/multilineedit.h"

#include "ui/multilineeditinternal.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOptionFocusRect>

namespace morvane::ui {

using namespace Qt::StringLiterals;

namespace {

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
constexpr QKeySequence::StandardKey CommandKeys[] = {
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

} // namespace

// ---- keyboard ---------------------------------------------------------------

bool MultiLineEdit::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool ours = (isReturn(key) && key->modifiers().testFlag(Qt::ControlModifier)) || isRedo(key) ||
                          isBackspace(key) || isTypedText(key) ||
                          std::any_of(std::begin(CommandKeys), std::end(CommandKeys),
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
    } else {
        return handleDeletion(event) || handleMovement(event);
    }
    return true;
}

bool MultiLineEdit::handleDeletion(QKeyEvent *event)
{
    using K = QKeySequence;
    const auto is = [event](K::StandardKey key) { return event->matches(key); };
    const qsizetype pos = m_cursor;
    if (!(isBackspace(event) || is(K::Delete) || is(K::DeleteStartOfWord) || is(K::DeleteEndOfWord) ||
          is(K::DeleteEndOfLine)))
        return false;
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
    return true;
}

bool MultiLineEdit::handleMovement(QKeyEvent *event)
{
    using K = QKeySequence;
    const auto is = [event](K::StandardKey key) { return event->matches(key); };
    const qsizetype pos = m_cursor;
    if (is(K::MoveToNextChar) || is(K::SelectNextChar)) {
        const bool select = is(K::SelectNextChar);
        moveCursor(!select && hasSelectedText() ? selectionEnd() : m_model.nextCharPosition(pos), select);
    } else if (is(K::MoveToPreviousChar) || is(K::SelectPreviousChar)) {
        const bool select = is(K::SelectPreviousChar);
        moveCursor(!select && hasSelectedText() ? selectionStart() : m_model.previousCharPosition(pos), select);
    } else if (is(K::MoveToNextWord) || is(K::SelectNextWord)) {
        moveCursor(m_model.nextWordPosition(pos), is(K::SelectNextWord));
    } else if (is(K::MoveToPreviousWord) || is(K::SelectPreviousWord)) {
        moveCursor(m_model.previousWordPosition(pos), is(K::SelectPreviousWord));
    } else if (handleVerticalMovement(event)) {
        return true;
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

bool MultiLineEdit::handleVerticalMovement(QKeyEvent *event)
{
    using K = QKeySequence;
    const auto is = [event](K::StandardKey key) { return event->matches(key); };
    const qsizetype pos = m_cursor;
    const bool page = is(K::MoveToNextPage) || is(K::SelectNextPage) || is(K::MoveToPreviousPage) ||
                      is(K::SelectPreviousPage);
    const bool down = is(K::MoveToNextLine) || is(K::SelectNextLine) || is(K::MoveToNextPage) ||
                      is(K::SelectNextPage);
    const bool select = is(K::SelectNextLine) || is(K::SelectPreviousLine) || is(K::SelectNextPage) ||
                        is(K::SelectPreviousPage);
    if (!page && !(is(K::MoveToNextLine) || is(K::SelectNextLine) || is(K::MoveToPreviousLine) ||
                   is(K::SelectPreviousLine)))
        return false;
    if (m_desiredX < 0)
        m_desiredX = caretX(pos);
    const int rows = (page ? visibleRows() : 1) * (down ? 1 : -1);
    const qsizetype target = positionRowsAway(pos, rows, m_desiredX);
    if (page) { // the view pages along with the caret
        QScrollBar *vertical = verticalScrollBar();
        vertical->setValue(clampToInt(vertical->value() + (m_model.lineOf(target) - m_model.lineOf(pos))));
    }
    moveCursor(target, select, true);
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
        edit(from, to, withCrLfBreaks(event->commitString()), EditKind::Typing);
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
            edit(at, at, withCrLfBreaks(pasted), EditKind::Other);
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
