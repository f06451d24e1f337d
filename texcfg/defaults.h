// What the main window's boxes and its file list hold when it opens, for
// whatever makes the cfg content without the window.
#pragma once

namespace morvane::texcfg {

inline constexpr char16_t DefaultNumber[] = u"0";
inline constexpr char16_t DefaultFolder[] = u"default";
inline constexpr char16_t DefaultComment[] = u"My Quillo Textures";
inline constexpr char16_t DefaultFilePattern[] = u"*.*";
// The number box takes at most this many characters.
inline constexpr int NumberMaxLength = 3;

} // namespace morvane::texcfg
