#include "convert/filters.h"

#include "convert/conversion.h"

namespace morvane::convert {

QString SourcePattern(const QString &entry)
{
    if (entry == u"*.*")
        return QStringLiteral("*");
    return DestPattern(entry);
}

QString DestPattern(const QString &entry)
{
    return u'*' + destSuffix(entry);
}

} // namespace morvane::convert
