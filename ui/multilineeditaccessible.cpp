// What assistive technology sees of a MultiLineEdit: editable, multi-line text
// whose offsets are positions in the box's text (lines end in CR LF).
#include "ui/multilineedit.h"

#include <QAccessibleWidget>
#include <QTextBoundaryFinder>

namespace morvane::ui {

class MultiLineEditAccessible final : public QAccessibleWidget,
                                      public QAccessibleTextInterface,
                                      public QAccessibleEditableTextInterface {
public:
    explicit MultiLineEditAccessible(MultiLineEdit *edit)
        : QAccessibleWidget(edit, QAccessible::EditableText)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (type == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.multiLine = true;
        state.selectableText = true;
        state.readOnly = box()->isReadOnly();
        state.editable = !box()->isReadOnly();
        return state;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return box()->text();
        return QAccessibleWidget::text(kind);
    }

    void setText(QAccessible::Text kind, const QString &text) override
    {
        if (kind == QAccessible::Value)
            box()->replace(0, box()->text().size(), text);
        else
            QAccessibleWidget::setText(kind, text);
    }

    // Text ---------------------------------------------------------------

    void selection(int index, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (index == 0 && box()->hasSelectedText()) {
            *startOffset = toInt(box()->selectionStart());
            *endOffset = toInt(box()->selectionEnd());
        }
    }
    int selectionCount() const override { return box()->hasSelectedText() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { box()->setSelection(startOffset, endOffset); }
    void removeSelection(int index) override
    {
        if (index == 0)
            box()->setCursorPosition(box()->cursorPosition());
    }
    void setSelection(int index, int startOffset, int endOffset) override
    {
        if (index == 0)
            box()->setSelection(startOffset, endOffset);
    }
    int cursorPosition() const override { return toInt(box()->cursorPosition()); }
    void setCursorPosition(int position) override { box()->setCursorPosition(position); }

    QString text(int startOffset, int endOffset) const override
    {
        const QString &all = box()->m_model.text();
        const qsizetype from = std::clamp<qsizetype>(startOffset, 0, all.size());
        const qsizetype to = std::clamp<qsizetype>(endOffset, from, all.size());
        return all.sliced(from, to - from);
    }
    int characterCount() const override { return toInt(box()->m_model.text().size()); }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                         int *endOffset) const override
    {
        const auto [from, to] = unitAt(offset, boundary);
        return found(from, to, startOffset, endOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                             int *endOffset) const override
    {
        const qsizetype at = unitAt(offset, boundary).first;
        if (at <= 0)
            return found(0, 0, startOffset, endOffset);
        const auto [from, to] = unitAt(at - 1, boundary);
        return found(from, to, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                            int *endOffset) const override
    {
        const qsizetype size = box()->m_model.text().size();
        const qsizetype at = unitAt(offset, boundary).second;
        if (at >= size)
            return found(size, size, startOffset, endOffset);
        const auto [from, to] = unitAt(at, boundary);
        return found(from, to, startOffset, endOffset);
    }

    QRect characterRect(int offset) const override
    {
        const MultiLineEdit *edit = box();
        const QRect at = edit->cursorRect(offset);
        const QRect next = edit->cursorRect(unitAt(offset, QAccessible::CharBoundary).second);
        const int width = next.top() == at.top() && next.left() > at.left() ? next.left() - at.left()
                                                                              : edit->fontMetrics().averageCharWidth();
        return QRect(edit->viewport()->mapToGlobal(at.topLeft()), QSize(width, at.height()));
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const MultiLineEdit *edit = box();
        const QPoint local = edit->viewport()->mapFromGlobal(point);
        if (!edit->viewport()->rect().contains(local))
            return -1;
        return toInt(edit->positionAt(local));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        box()->ensureVisible(endIndex);
        box()->ensureVisible(startIndex);
    }
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }

    // Editable text ------------------------------------------------------

    void deleteText(int startOffset, int endOffset) override { box()->replace(startOffset, endOffset, QString()); }
    void insertText(int offset, const QString &text) override { box()->replace(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        box()->replace(startOffset, endOffset, text);
    }

private:
    MultiLineEdit *box() const { return static_cast<MultiLineEdit *>(object()); }

    static int toInt(qsizetype value) { return int(std::min<qsizetype>(value, std::numeric_limits<int>::max())); }

    QString found(qsizetype from, qsizetype to, int *startOffset, int *endOffset) const
    {
        *startOffset = toInt(from);
        *endOffset = toInt(to);
        return text(*startOffset, *endOffset);
    }

    // The character, word, line or whole text around offset. A line includes its
    // CR LF, and a break counts as one character and as one word.
    std::pair<qsizetype, qsizetype> unitAt(qsizetype offset, QAccessible::TextBoundaryType boundary) const
    {
        const TextModel &model = box()->m_model;
        const QString &all = model.text();
        offset = std::clamp<qsizetype>(offset, 0, all.size());
        if (boundary == QAccessible::NoBoundary)
            return {0, all.size()};
        const qsizetype line = model.lineOf(offset);
        const qsizetype start = model.lineStart(line);
        const qsizetype end = model.lineEnd(line);
        const qsizetype next = line + 1 < model.lineCount() ? model.lineStart(line + 1) : end;
        if (boundary != QAccessible::CharBoundary && boundary != QAccessible::WordBoundary)
            return {start, next};
        if (offset >= end)
            return {end, next};
        if (boundary == QAccessible::CharBoundary) {
            qsizetype from = offset;
            if (from > start && all[from].isLowSurrogate() && all[from - 1].isHighSurrogate())
                --from;
            const qsizetype to = from + (all[from].isHighSurrogate() && from + 1 < end && all[from + 1].isLowSurrogate() ? 2 : 1);
            return {from, to};
        }
        QTextBoundaryFinder finder(QTextBoundaryFinder::Word, QStringView(all).sliced(start, end - start));
        const qsizetype column = offset - start;
        finder.setPosition(column);
        const qsizetype from = finder.isAtBoundary() ? column : finder.toPreviousBoundary();
        finder.setPosition(column);
        const qsizetype to = finder.toNextBoundary();
        return {start + std::max<qsizetype>(from, 0), to < 0 ? end : start + to};
    }
};

namespace {

QAccessibleInterface *multiLineEditFactory(const QString &className, QObject *object)
{
    if (object && object->isWidgetType() &&
        className == QLatin1StringView(MultiLineEdit::staticMetaObject.className()))
        return new MultiLineEditAccessible(static_cast<MultiLineEdit *>(object));
    return nullptr;
}

} // namespace

void installMultiLineEditAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(multiLineEditFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace morvane::ui
