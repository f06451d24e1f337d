// The converter's file-list filters.
#pragma once

#include <QString>

namespace morvane::convert {

// The source list's pattern for a filter entry: "*" for "*.*", otherwise "*"
// and the entry's first four characters.
QString SourcePattern(const QString &entry);

// The destination list's pattern for a format entry: "*" and the entry's first
// four characters, the same four that make the destination suffix.
QString DestPattern(const QString &entry);

} // namespace morvane::convert
