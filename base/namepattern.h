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
    bool matches(QStringView name) const;

private:
    // The usual patterns are matched without a regular expression.
    struct Part {
        enum class Kind { Anything, EndsWith, Contains, Expression } kind;
        QString text; // what the name ends with or contains
        QRegularExpression expression;
    };
    QList<Part> m_parts;
};

} // namespace morvane::base
