#include "base/folders.h"

#include <QCollator>
#include <QMutex>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace morvane::base {

namespace {

// Below this many names the locale's collation sorts them directly; above,
// names of printable ASCII alone take the quick way.
constexpr qsizetype QuickFrom = 1000;
// Longer runs of digits than this go to the locale's collation.
constexpr qsizetype LongestQuickNumber = 200;
constexpr char16_t FirstPlain = 0x20;
constexpr char16_t LastPlain = 0x7E;

// The C locale's collation is a plain code-point comparison, blind to case
// and numbers; names sort as in English there.
QLocale collationLocale()
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    return locale;
}

QCollator naturalCollator(const QLocale &locale)
{
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// Where each printable ASCII character stands in a locale's natural,
// case-insensitive order (from 1; characters it takes as equal share a
// place). A name of such characters then sorts by the bytes of quickKey.
using AsciiPlaces = std::array<uchar, 128>;

// Appends to key the bytes under which name sorts as the collation sorts
// it, for names of printable ASCII: each character's place, and a run of
// digits as the place of "0", its count of digits without leading zeros and
// the digits. False, with key left as it was, for any other name.
bool appendQuickKey(QStringView name, const AsciiPlaces &places, std::string &key)
{
    const size_t start = key.size();
    for (qsizetype i = 0; i < name.size();) {
        const char16_t c = name[i].unicode();
        if (c < FirstPlain || c > LastPlain) {
            key.resize(start);
            return false;
        }
        if (c < u'0' || c > u'9') {
            key += char(places[c]);
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < name.size() && name[end] >= u'0' && name[end] <= u'9')
            ++end;
        qsizetype first = i;
        while (first + 1 < end && name[first] == u'0')
            ++first; // leading zeros do not count
        if (end - first > LongestQuickNumber) {
            key.resize(start);
            return false;
        }
        key += char(places[u'0']);
        key += char(end - first);
        for (qsizetype d = first; d < end; ++d)
            key += char(name[d].unicode());
        i = end;
    }
    return true;
}

// The places of the printable ASCII characters in locale's natural order;
// nullopt when its collation does not compare such text one character at a
// time, as in languages that sort a pair of letters as one ("ch" in Czech).
// Checked on every text of two such characters.
std::optional<AsciiPlaces> findPlaces(const QLocale &locale)
{
    const QCollator collator = naturalCollator(locale);
    std::vector<char16_t> chars;
    for (char16_t c = FirstPlain; c <= LastPlain; ++c)
        chars.push_back(c);
    const auto text = [](char16_t c) { return QString(QChar(c)); };
    std::stable_sort(chars.begin(), chars.end(),
                     [&](char16_t a, char16_t b) { return collator.compare(text(a), text(b)) < 0; });
    AsciiPlaces places {};
    uchar place = 0;
    for (size_t i = 0; i < chars.size(); ++i) {
        if (i == 0 || collator.compare(text(chars[i - 1]), text(chars[i])) != 0)
            ++place;
        places[chars[i]] = place;
    }
    // The digits stand together, with nothing between them.
    for (char16_t d = u'1'; d <= u'9'; ++d) {
        if (places[d] != places[d - 1] + 1)
            return std::nullopt;
    }

    std::vector<QString> pairs;
    for (char16_t a = FirstPlain; a <= LastPlain; ++a)
        for (char16_t b = FirstPlain; b <= LastPlain; ++b)
            pairs.push_back(QString(QChar(a)) + QChar(b));
    std::vector<std::string> keys(pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i)
        appendQuickKey(pairs[i], places, keys[i]);
    std::vector<size_t> order(pairs.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    for (size_t i = 1; i < order.size(); ++i) {
        const int quick = keys[order[i - 1]] == keys[order[i]] ? 0 : -1;
        const int collated = collator.compare(pairs[order[i - 1]], pairs[order[i]]);
        if ((collated < 0 ? -1 : collated > 0 ? 1 : 0) != quick)
            return std::nullopt;
    }
    return places;
}

// findPlaces for locale, found once per locale and process.
std::optional<AsciiPlaces> placesFor(const QLocale &locale)
{
    static QMutex mutex;
    static std::map<QString, std::optional<AsciiPlaces>> found;
    const QMutexLocker lock(&mutex);
    const auto it = found.find(locale.name());
    if (it != found.end())
        return it->second;
    return found.emplace(locale.name(), findPlaces(locale)).first->second;
}

// Sorts names by their quick keys; false, with names untouched, when one of
// them has none.
bool sortQuickly(QStringList &names, const AsciiPlaces &places)
{
    // All keys in one buffer, each found by its offset and the next one's.
    std::string keys;
    keys.reserve(size_t(names.size()) * 24);
    std::vector<size_t> starts;
    starts.reserve(size_t(names.size()) + 1);
    for (const QString &name : std::as_const(names)) {
        starts.push_back(keys.size());
        if (!appendQuickKey(name, places, keys))
            return false;
    }
    starts.push_back(keys.size());
    const auto key = [&](size_t i) { return std::string_view(keys).substr(starts[i], starts[i + 1] - starts[i]); };

    // Each entry carries its key's head, zero-padded (no key byte is zero, so
    // a shorter key still sorts first): most comparisons end there, in the
    // entries the sort moves, without reaching for the keys.
    struct Entry {
        std::array<char, 24> head;
        quint32 size;
        quint32 index;
    };
    std::vector<Entry> entries(size_t(names.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string_view k = key(i);
        entries[i].head.fill(0);
        std::memcpy(entries[i].head.data(), k.data(), std::min(k.size(), entries[i].head.size()));
        entries[i].size = quint32(k.size());
        entries[i].index = quint32(i);
    }
    std::sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
        int c = std::memcmp(a.head.data(), b.head.data(), a.head.size());
        if (c == 0 && (a.size > a.head.size() || b.size > b.head.size()))
            c = key(a.index).compare(key(b.index));
        if (c != 0)
            return c < 0;
        return names.at(a.index) < names.at(b.index); // names equal but for case keep a fixed order
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const Entry &e : entries)
        sorted.append(names.at(e.index));
    names = std::move(sorted);
    return true;
}

// The locale's collation: sort keys make each comparison a byte compare.
// For large lists the keys are made and the runs sorted on several threads,
// one collator each, then the sorted runs are merged.
void sortByCollation(QStringList &names, const QLocale &locale)
{
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
        const QCollator collator = naturalCollator(locale);
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

} // namespace

void sortNaturally(QStringList &names)
{
    const QLocale locale = collationLocale();
    if (names.size() >= QuickFrom) {
        if (const std::optional<AsciiPlaces> places = placesFor(locale); places && sortQuickly(names, *places))
            return;
    }
    sortByCollation(names, locale);
}

} // namespace morvane::base
