#include "convert/filters.h"

namespace morvane::convert {

QString SourcePattern(const QString &entry)
{
    if (entry == u"*.*")
        return QStringLiteral("*");
    return DestPattern(entry);
}

QString DestPattern(const QString &entry)
{
    return u'*' + entry.left(4);
}

} // namespace morvane::convert
