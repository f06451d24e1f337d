// File-name patterns as the file lists take them: "*.jpg;*.png".
#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>

namespace morvane::base {

// A file-name pattern: "*" any run of characters, "?" one character, several
// patterns separated by ";". Matching ignores case. An empty pattern matches nothing.
class NamePattern {
public:
    explicit NamePattern(const QString &pattern);
    bool matches(const QString &name) const;

private:
    QList<QRegularExpression> m_parts;
};

} // namespace morvane::base
