// The cfg content "Go!" makes: a comment line, then one texture line per entry.
#pragma once

#include <QString>

namespace morvane::texcfg {

// "// " comment, then for each CR LF separated entry of listText
// texture <number> "<folder>/<entry>"; every line ends in CR LF. Nothing is
// trimmed or escaped; an empty listText has no entries.
QString BuildCfgContent(const QString &listText, const QString &numberText, const QString &folderText,
                        const QString &commentText);

} // namespace morvane::texcfg
