// The name mask of the main window's file list.
#pragma once

#include <QString>

#include <optional>

namespace morvane::texcfg {

// text without any backslash, slash, semicolon or colon; the rest keeps its order.
QString CleanMask(const QString &text);

struct MaskRange {
    int start = 0;  // characters before the selection
    int length = 0; // characters selected
    friend bool operator==(const MaskRange &, const MaskRange &) = default;
};

// The part of the mask to select when its box gains focus: the characters
// after the last dot that is not the first character, else the whole text;
// nothing for an empty mask.
std::optional<MaskRange> MaskSelection(const QString &text);

} // namespace morvane::texcfg
