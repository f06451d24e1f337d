// Counting characters where the file-name rules cut text: a UTF-16 surrogate
// pair is one character and is never split.
#pragma once

#include <QStringView>

namespace morvane::base {

// The number of UTF-16 units the first count characters of text take (all of
// text when it has fewer).
inline qsizetype unitsOfFirstCharacters(QStringView text, qsizetype count)
{
    qsizetype units = 0;
    for (qsizetype c = 0; c < count && units < text.size(); ++c) {
        const bool pair = text[units].isHighSurrogate() && units + 1 < text.size() && text[units + 1].isLowSurrogate();
        units += pair ? 2 : 1;
    }
    return units;
}

// The number of characters in text.
inline qsizetype characterCount(QStringView text)
{
    qsizetype pairs = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate()) {
            ++pairs;
            ++i;
        }
    }
    return text.size() - pairs;
}

} // namespace morvane::base
