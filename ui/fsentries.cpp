#include "ui/fsentries.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <numeric>
#include <vector>

namespace morvane::ui {

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

std::optional<QStringList> listFolder(const QString &folder, EntryKind kind)
{
    if (!isReadableFolder(folder))
        return std::nullopt;
    const QDir::Filters filters = (kind == EntryKind::Files ? QDir::Files : QDir::Dirs) | QDir::NoDotAndDotDot;
    QStringList names;
    QDirIterator it(folder, filters);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    return names;
}

void sortNaturally(QStringList &names)
{
    // The C locale's collation is a plain code-point comparison, blind to
    // case and numbers; sort as in English there.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);

    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(names.size()));
    for (const QString &name : std::as_const(names))
        keys.push_back(collator.sortKey(name));

    std::vector<qsizetype> order(size_t(names.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int c = keys[size_t(a)].compare(keys[size_t(b)]);
        if (c != 0)
            return c < 0;
        return names.at(a) < names.at(b); // names equal but for case keep a fixed order
    });

    QStringList sorted;
    sorted.reserve(names.size());
    for (qsizetype i : order)
        sorted.append(names.at(i));
    names = std::move(sorted);
}

bool isReadableFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable())
        return false;
#ifndef Q_OS_WIN
    if (!info.isExecutable())
        return false;
#endif
    return QDir(path).isReadable();
}

QString normalFolderPath(const QString &path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    return QDir::toNativeSeparators(clean);
}

QString joinPath(const QString &folder, const QString &name)
{
    const QChar sep = QDir::separator();
    if (folder.endsWith(sep))
        return folder + name;
    return folder + sep + name;
}

} // namespace morvane::ui
