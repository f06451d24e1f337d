#include "ui/textmodel.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <functional>
#include <utility>

namespace morvane::ui {

namespace {

constexpr qsizetype SearchSpan = 256; // characters around a position searched for boundaries

// Appends to out the start of the line after each CR LF of text, offset by base.
void appendBreaks(QList<qsizetype> &out, QStringView text, qsizetype base)
{
    qsizetype from = 0;
    while (true) {
        const qsizetype lf = text.indexOf(u'\n', from);
        if (lf < 0)
            return;
        if (lf > 0 && text[lf - 1] == u'\r')
            out.append(base + lf + 1);
        from = lf + 1;
    }
}

// A boundary finder over the part of position's line near it, set at position.
struct BoundaryWindow {
    qsizetype from;
    qsizetype to;
    QTextBoundaryFinder finder;
};

BoundaryWindow boundaryWindow(const TextModel &model, QTextBoundaryFinder::BoundaryType type, qsizetype position)
{
    const qsizetype line = model.lineOf(position);
    const qsizetype from = std::max(model.lineStart(line), position - SearchSpan);
    const qsizetype to = std::min(model.lineEnd(line), position + SearchSpan);
    BoundaryWindow window{from, to, QTextBoundaryFinder(type, QStringView(model.text()).sliced(from, to - from))};
    window.finder.setPosition(position - from);
    return window;
}

} // namespace

TextModel::TextModel(QObject *parent)
    : QObject(parent)
{
}

// ---- text and lines ---------------------------------------------------------

void TextModel::setText(const QString &text)
{
    const QString previous = std::exchange(m_text, text);
    m_lineStarts = {0};
    appendBreaks(m_lineStarts, m_text, 0);
    m_undo.clear();
    m_redo.clear();
    m_runOpen = false;
    emit textReset(previous);
}

qsizetype TextModel::lineOf(qsizetype position) const
{
    const auto after = std::upper_bound(m_lineStarts.cbegin(), m_lineStarts.cend(), position);
    return std::max<qsizetype>(0, (after - m_lineStarts.cbegin()) - 1);
}

void TextModel::updateLineStarts(qsizetype position, qsizetype removedLength, qsizetype insertedLength)
{
    const qsizetype delta = insertedLength - removedLength;
    const qsizetype first = lineOf(position);
    const qsizetype last = lineOf(position + removedLength);
    // Rescan from the first touched line's start through the last one's break: the
    // text before is unchanged and ends in LF, the text after starts behind an LF
    // that the edit did not touch, so no CR LF can form across either edge.
    const qsizetype oldEnd = last + 1 < m_lineStarts.size() ? m_lineStarts[last + 1] : m_text.size() - delta;
    const qsizetype from = m_lineStarts[first];
    QList<qsizetype> fresh;
    appendBreaks(fresh, QStringView(m_text).sliced(from, oldEnd + delta - from), from);

    QList<qsizetype> result;
    result.reserve(m_lineStarts.size() + fresh.size() - (last - first));
    result.append(m_lineStarts.first(first + 1));
    result.append(fresh);
    for (qsizetype i = last + 2; i < m_lineStarts.size(); ++i)
        result.append(m_lineStarts[i] + delta);
    m_lineStarts = std::move(result);
}

QString TextModel::shownLine(qsizetype line) const
{
    QString shown = lineText(line).toString();
    for (QChar &c : shown) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t')
            c = QChar(char16_t(0x2400 + u));
        else if (u == 0x7f)
            c = QChar(char16_t(0x2421));
        else if (u == QChar::LineSeparator || u == QChar::ParagraphSeparator || u == QChar::ObjectReplacementCharacter)
            c = QChar(u' ');
    }
    return shown;
}

QList<qsizetype> TextModel::longestLines(qsizetype count) const
{
    using Entry = std::pair<qsizetype, qsizetype>; // length, line
    std::vector<Entry> heap; // the longest lines so far, shortest on top
    if (count <= 0)
        return {};
    heap.reserve(size_t(count));
    for (qsizetype i = 0; i < lineCount(); ++i) {
        const Entry e{lineEnd(i) - lineStart(i), i};
        if (qsizetype(heap.size()) < count) {
            heap.push_back(e);
            std::push_heap(heap.begin(), heap.end(), std::greater<>());
        } else if (e.first > heap.front().first) {
            std::pop_heap(heap.begin(), heap.end(), std::greater<>());
            heap.back() = e;
            std::push_heap(heap.begin(), heap.end(), std::greater<>());
        }
    }
    QList<qsizetype> lines;
    lines.reserve(qsizetype(heap.size()));
    for (const Entry &e : heap)
        lines.append(e.second);
    return lines;
}

qsizetype TextModel::validPosition(qsizetype position) const
{
    position = std::clamp<qsizetype>(position, 0, m_text.size());
    if (position > 0 && position < m_text.size()) {
        const QChar before = m_text[position - 1];
        const QChar at = m_text[position];
        if ((before == u'\r' && at == u'\n') || (before.isHighSurrogate() && at.isLowSurrogate()))
            --position;
    }
    return position;
}

QString withCrLfBreaks(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out.append(u"\r\n");
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out.append(u"\r\n");
        } else {
            out.append(c);
        }
    }
    return out;
}

// ---- characters and words ---------------------------------------------------

qsizetype TextModel::nextCharPosition(qsizetype position) const
{
    const qsizetype line = lineOf(position);
    if (position >= lineEnd(line))
        return line + 1 < lineCount() ? lineStart(line + 1) : position;
    BoundaryWindow w = boundaryWindow(*this, QTextBoundaryFinder::Grapheme, position);
    const qsizetype next = w.finder.toNextBoundary();
    return next < 0 ? w.to : w.from + next;
}

qsizetype TextModel::previousCharPosition(qsizetype position) const
{
    const qsizetype line = lineOf(position);
    if (position <= lineStart(line))
        return line > 0 ? lineEnd(line - 1) : position;
    BoundaryWindow w = boundaryWindow(*this, QTextBoundaryFinder::Grapheme, position);
    const qsizetype previous = w.finder.toPreviousBoundary();
    return previous < 0 ? w.from : w.from + previous;
}

qsizetype TextModel::previousCodePoint(qsizetype position) const
{
    const qsizetype line = lineOf(position);
    if (position <= lineStart(line))
        return line > 0 ? lineEnd(line - 1) : position;
    if (position >= 2 && m_text[position - 1].isLowSurrogate() && m_text[position - 2].isHighSurrogate())
        return position - 2;
    return position - 1;
}

qsizetype TextModel::nextWordPosition(qsizetype position) const
{
    const qsizetype line = lineOf(position);
    if (position >= lineEnd(line))
        return line + 1 < lineCount() ? lineStart(line + 1) : position;
    BoundaryWindow w = boundaryWindow(*this, QTextBoundaryFinder::Word, position);
    for (qsizetype next = w.finder.toNextBoundary(); next >= 0; next = w.finder.toNextBoundary()) {
        if (w.from + next >= w.to || w.finder.boundaryReasons().testFlag(QTextBoundaryFinder::StartOfItem))
            return w.from + next;
    }
    return w.to;
}

qsizetype TextModel::previousWordPosition(qsizetype position) const
{
    const qsizetype line = lineOf(position);
    if (position <= lineStart(line))
        return line > 0 ? lineEnd(line - 1) : position;
    BoundaryWindow w = boundaryWindow(*this, QTextBoundaryFinder::Word, position);
    for (qsizetype previous = w.finder.toPreviousBoundary(); previous >= 0; previous = w.finder.toPreviousBoundary()) {
        if (previous == 0 || w.finder.boundaryReasons().testFlag(QTextBoundaryFinder::StartOfItem))
            return w.from + previous;
    }
    return w.from;
}

std::pair<qsizetype, qsizetype> TextModel::wordAt(qsizetype position) const
{
    BoundaryWindow w = boundaryWindow(*this, QTextBoundaryFinder::Word, position);
    if (w.from == w.to)
        return {position, position};
    qsizetype at = position - w.from;
    if (at == w.to - w.from) // at the line's end: the word before
        at = std::max<qsizetype>(0, at - 1);
    w.finder.setPosition(at);
    qsizetype start = w.finder.isAtBoundary() ? at : w.finder.toPreviousBoundary();
    w.finder.setPosition(at);
    qsizetype end = w.finder.toNextBoundary();
    if (start < 0)
        start = 0;
    if (end < 0)
        end = w.to - w.from;
    return {w.from + start, w.from + end};
}

// ---- editing and undo -------------------------------------------------------

void TextModel::apply(qsizetype position, const QString &removed, const QString &inserted)
{
    m_text.replace(position, removed.size(), inserted);
    updateLineStarts(position, removed.size(), inserted.size());
    emit textReplaced(position, removed, inserted);
}

std::optional<qsizetype> TextModel::replace(qsizetype from, qsizetype to, const QString &text, EditKind kind,
                                            Selection before)
{
    from = validPosition(from);
    to = validPosition(to);
    if (from > to)
        std::swap(from, to);
    if (from == to && text.isEmpty())
        return std::nullopt;
    const QString removed = m_text.sliced(from, to - from);

    Edit *last = m_undo.empty() ? nullptr : &m_undo.back();
    const bool merge = m_runOpen && last && last->kind == kind && kind != EditKind::Other;
    if (merge && kind == EditKind::Typing && removed.isEmpty() && from == last->position + last->inserted.size()) {
        last->inserted += text;
    } else if (merge && kind == EditKind::Backspace && text.isEmpty() && to == last->position) {
        last->removed.prepend(removed);
        last->position = from;
    } else if (merge && kind == EditKind::Delete && text.isEmpty() && from == last->position) {
        last->removed += removed;
    } else {
        m_undo.push_back(Edit{from, removed, text, before, kind});
    }
    m_redo.clear();
    m_runOpen = kind != EditKind::Other;
    apply(from, removed, text);
    // Removing what stood between a lone CR and a lone LF makes them a break:
    // the caret goes before it, not between its two characters.
    return validPosition(from + text.size());
}

std::optional<TextModel::Selection> TextModel::undo()
{
    if (m_undo.empty())
        return std::nullopt;
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
    m_runOpen = false;
    const Edit &step = m_redo.back();
    const Selection before = step.before;
    apply(step.position, step.inserted, step.removed);
    return before;
}

std::optional<TextModel::Selection> TextModel::redo()
{
    if (m_redo.empty())
        return std::nullopt;
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
    m_runOpen = false;
    const Edit &step = m_undo.back();
    const qsizetype caret = step.position + step.inserted.size();
    apply(step.position, step.removed, step.inserted);
    return Selection{caret, caret};
}

} // namespace morvane::ui
