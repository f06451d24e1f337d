// The character sets metafile text comes in.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace morvane::wmf {

// bytes as text: the symbol character set through the symbol font's
// layout, every other set as Windows-1252 (the Western code page).
QString decodeText(QByteArrayView bytes, int charSet);

} // namespace morvane::wmf
