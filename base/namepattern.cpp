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

// True when text holds a character the patterns give a meaning.
bool hasWildcard(QStringView text)
{
    return text.contains(u'*') || text.contains(u'?') || text.contains(u'[') || text.contains(u']');
}

} // namespace

NamePattern::NamePattern(const QString &pattern)
{
    const QStringList parts = pattern.split(u';', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const bool plainAfterStar = part.startsWith(u'*') && !hasWildcard(QStringView(part).sliced(1));
        if (part == u"*") {
            m_parts.append({Part::Kind::Anything, {}, {}});
        } else if (plainAfterStar) {
            m_parts.append({Part::Kind::EndsWith, part.sliced(1), {}});
        } else if (part.size() >= 2 && part.startsWith(u'*') && part.endsWith(u'*')
                   && !hasWildcard(QStringView(part).sliced(1, part.size() - 2))) {
            m_parts.append({Part::Kind::Contains, part.sliced(1, part.size() - 2), {}});
        } else {
            const QString re = QRegularExpression::wildcardToRegularExpression(escapeBrackets(part));
            m_parts.append({Part::Kind::Expression, {}, QRegularExpression(re, QRegularExpression::CaseInsensitiveOption)});
        }
    }
}

bool NamePattern::matches(QStringView name) const
{
    return std::any_of(m_parts.cbegin(), m_parts.cend(), [name](const Part &part) {
        switch (part.kind) {
        case Part::Kind::Anything: return true;
        case Part::Kind::EndsWith: return name.endsWith(part.text, Qt::CaseInsensitive);
        case Part::Kind::Contains: return name.contains(part.text, Qt::CaseInsensitive);
        case Part::Kind::Expression: return part.expression.match(name).hasMatch();
        }
        return false;
    });
}

} // namespace morvane::base
