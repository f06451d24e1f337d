#include "ui/textlines.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace morvane::ui {

namespace {

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

} // namespace

QList<qsizetype> lineStarts(QStringView text)
{
    QList<qsizetype> starts;
    starts.append(0);
    appendBreaks(starts, text, 0);
    return starts;
}

qsizetype lineAt(const QList<qsizetype> &starts, qsizetype offset)
{
    const auto after = std::upper_bound(starts.cbegin(), starts.cend(), offset);
    return std::max<qsizetype>(0, (after - starts.cbegin()) - 1);
}

void updateLineStarts(QList<qsizetype> &starts, QStringView newText, qsizetype position, qsizetype removedLength,
                      qsizetype insertedLength)
{
    const qsizetype delta = insertedLength - removedLength;
    const qsizetype first = lineAt(starts, position);
    const qsizetype last = lineAt(starts, position + removedLength);
    // Rescan from the first touched line's start through the last one's break: the
    // text before is unchanged and ends in LF, the text after starts behind an LF
    // that the edit did not touch, so no CR LF can form across either edge.
    const qsizetype oldEnd = last + 1 < starts.size() ? starts[last + 1] : newText.size() - delta;
    const qsizetype from = starts[first];
    QList<qsizetype> fresh;
    appendBreaks(fresh, newText.sliced(from, oldEnd + delta - from), from);

    QList<qsizetype> result;
    result.reserve(starts.size() + fresh.size() - (last - first));
    result.append(starts.first(first + 1));
    result.append(fresh);
    for (qsizetype i = last + 2; i < starts.size(); ++i)
        result.append(starts[i] + delta);
    starts = std::move(result);
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

QString displayLine(QStringView line)
{
    QString shown = line.toString();
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

QList<qsizetype> longestLines(const QList<qsizetype> &starts, qsizetype textLength, qsizetype count)
{
    using Entry = std::pair<qsizetype, qsizetype>; // length, line
    std::vector<Entry> heap; // the longest lines so far, shortest on top
    if (count <= 0)
        return {};
    heap.reserve(size_t(count));
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts[i + 1] - 2 : textLength;
        const Entry e{end - starts[i], i};
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

} // namespace morvane::ui
