#include "base/namepattern.h"

#include <algorithm>

namespace morvane::base {

namespace {

// Qt's wildcard syntax also knows character classes; here "[" and "]" are
// plain characters, so they are written as one-character classes.
QString escapeBrackets(const QString &glob)
{
    QString out;
    out.reserve(glob.size());
    for (QChar c : glob) {
        if (c == u'[')
            out += u"[[]";
        else if (c == u']')
            out += u"[]]";
        else
            out += c;
    }
    return out;
}

} // namespace

NamePattern::NamePattern(const QString &pattern)
{
    const QStringList parts = pattern.split(u';', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString re = QRegularExpression::wildcardToRegularExpression(
            escapeBrackets(part));
        m_parts.append(QRegularExpression(re, QRegularExpression::CaseInsensitiveOption));
    }
}

bool NamePattern::matches(const QString &name) const
{
    return std::any_of(m_parts.cbegin(), m_parts.cend(),
                       [&name](const QRegularExpression &re) { return re.match(name).hasMatch(); });
}

} // namespace morvane::base
