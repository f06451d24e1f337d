// The character sets metafile text comes in.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace morvane::wmf {

// bytes as text: the symbol font's glyph codes as the characters they
// draw when symbolLayout is set, otherwise as Windows-1252 (the Western
// code page), which the other character sets are read as too.
QString decodeText(QByteArrayView bytes, bool symbolLayout);

} // namespace morvane::wmf
