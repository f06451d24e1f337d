// What the source files of MultiLineEdit share.
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <limits>

namespace morvane::ui {

// value as an int for the toolkit's offsets and scroll bars, at most the largest int.
inline int clampToInt(qsizetype value)
{
    return int(std::clamp<qsizetype>(value, 0, std::numeric_limits<int>::max()));
}

} // namespace morvane::ui
