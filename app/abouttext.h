// The texts of the About window: the version line and the scrolling credits.
#pragma once

#include <QString>

namespace morvane::app {

// The credits sentence that scrolls through the About window: one line, 96 characters.
QString creditsSentence();

// "Version major.minor.revision", each number in decimal without leading zeros.
QString versionText(int major, int minor, int revision);

// The marquee as the About window loads it: 70 blanks, then the credits.
QString marqueeText(const QString &credits);

// The text rotated left by one character: its second character to its end,
// then its first. An empty text stays empty.
QString rotateLeft(const QString &text);

} // namespace morvane::app
