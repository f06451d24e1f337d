// The lines of a multi-line text box. Only CR LF separates lines; a lone CR or
// LF is an ordinary character of its line.
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace morvane::ui {

// The offset where each line of text starts: 0, then the offset after each CR LF.
QList<qsizetype> lineStarts(QStringView text);

// Brings starts, the line starts of a text, up to date after removedLength characters at
// position were replaced by insertedLength characters, which gave newText.
void updateLineStarts(QList<qsizetype> &starts, QStringView newText, qsizetype position, qsizetype removedLength,
                      qsizetype insertedLength);

// The index of the line that holds offset (the line whose start is the last one not after it).
qsizetype lineAt(const QList<qsizetype> &starts, qsizetype offset);

// text with every line break, be it CR LF, a lone LF or a lone CR, written as CR LF.
QString withCrLfBreaks(QStringView text);

// A line as it is shown, of the same length: control characters other than tab as
// their visible symbols (U+2400 on, DEL as U+2421), line and paragraph separators
// and the object replacement character as blanks.
QString displayLine(QStringView line);

// The indexes of the count lines with the most characters, fewer when the text has
// fewer lines, in no particular order; textLength is the length of the whole text.
QList<qsizetype> longestLines(const QList<qsizetype> &starts, qsizetype textLength, qsizetype count);

} // namespace morvane::ui
