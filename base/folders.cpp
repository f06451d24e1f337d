#include "base/folders.h"

#include "base/namepattern.h"
#include "base/paths.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <numeric>
#include <optional>
#include <thread>
#include <vector>

namespace morvane::base {

std::optional<QStringList> listFolder(const QString &folder, EntryKind kind)
{
    if (!isReadableFolder(folder))
        return std::nullopt;
    QStringList names;
#ifdef Q_OS_UNIX
    // readdir's entry types save a stat per name, which matters for folders of
    // many thousand files; only symbolic links and unknown types are looked up.
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return std::nullopt;
    const int fd = ::dirfd(dir);
    const unsigned char wanted = kind == EntryKind::Files ? DT_REG : DT_DIR;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') // hidden, and the "." and ".." entries
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat info;
            if (::fstatat(fd, entry->d_name, &info, 0) != 0)
                continue; // a dangling link
            type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == wanted)
            names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
#else
    const QDir::Filters filters = (kind == EntryKind::Files ? QDir::Files : QDir::Dirs) | QDir::NoDotAndDotDot;
    QDirIterator it(folder, filters);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
#endif
    return names;
}

void sortNaturally(QStringList &names)
{
    // The C locale's collation is a plain code-point comparison, blind to
    // case and numbers; sort as in English there.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);

    // Sort keys make each comparison a byte compare. For large folders the
    // keys are made and the runs sorted on several threads, one collator
    // each, then the sorted runs are merged.
    const qsizetype count = names.size();
    const qsizetype runs =
        count < 20000 ? 1 : std::clamp<qsizetype>(std::thread::hardware_concurrency(), 1, 8);
    std::vector<std::optional<QCollatorSortKey>> keys(static_cast<size_t>(count));
    std::vector<qsizetype> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), qsizetype(0));
    const auto less = [&](qsizetype a, qsizetype b) {
        const int c = keys[size_t(a)]->compare(*keys[size_t(b)]);
        if (c != 0)
            return c < 0;
        return names.at(a) < names.at(b); // names equal but for case keep a fixed order
    };
    const auto runStart = [&](qsizetype run) { return order.begin() + run * count / runs; };
    const auto sortRun = [&](qsizetype run) {
        QCollator collator(locale);
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        for (auto it = runStart(run); it != runStart(run + 1); ++it)
            keys[size_t(*it)].emplace(collator.sortKey(names.at(*it)));
        std::sort(runStart(run), runStart(run + 1), less);
    };
    {
        std::vector<std::jthread> workers;
        for (qsizetype run = 1; run < runs; ++run)
            workers.emplace_back(sortRun, run);
        sortRun(0);
    }
    for (qsizetype width = 1; width < runs; width *= 2) {
        for (qsizetype run = 0; run + width < runs; run += 2 * width)
            std::inplace_merge(runStart(run), runStart(run + width), runStart(std::min(run + 2 * width, runs)), less);
    }

    QStringList sorted;
    sorted.reserve(count);
    for (qsizetype i : order)
        sorted.append(names.at(i));
    names = std::move(sorted);
}

std::optional<QStringList> listFiles(const QString &folder, const QString &pattern)
{
    auto names = listFolder(folder, EntryKind::Files);
    if (!names)
        return names;
    const NamePattern matcher(pattern);
    names->removeIf([&matcher](const QString &name) { return !matcher.matches(name); });
    sortNaturally(*names);
    return names;
}

std::optional<QStringList> listSubFolders(const QString &folder)
{
    auto names = listFolder(folder, EntryKind::Folders);
    if (names)
        sortNaturally(*names);
    return names;
}

} // namespace morvane::base
