#include "convert/conversion.h"

#include "convert/memorybudget.h"
#include "convert/picture.h"
#include "base/atomicwrite.h"
#include "base/characters.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace morvane::convert {

using base::characterCount;
using base::unitsOfFirstCharacters;

namespace {

// The text by which two paths are told apart: separators collapsed, and
// letter case folded where the file system ignores it.
QString nameKey(const QString &path, Qt::CaseSensitivity cs)
{
    const QString clean = QDir::cleanPath(path);
    return cs == Qt::CaseInsensitive ? clean.toCaseFolded() : clean;
}

std::filesystem::path fileSystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// True when both paths exist and are one file, whatever their names (a
// case-insensitive volume, a hard link).
bool sameExistingFile(const QString &a, const QString &b)
{
    std::error_code error;
    return std::filesystem::equivalent(fileSystemPath(a), fileSystemPath(b), error) && !error;
}

using Job = ConversionJob;


// Entries whose outcome a run decides before converting anything (a skip),
// by index; the others are empty.
using Decided = std::vector<std::optional<EntryResult>>;

bool jobsIndependent(const QList<Job> &jobs, Qt::CaseSensitivity cs, const Decided &decided = {})
{
    QSet<QString> destinations;
    destinations.reserve(jobs.size());
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const Job &job = jobs[i];
        if (!job.destination || (size_t(i) < decided.size() && decided[size_t(i)]))
            continue;
        const QString key = nameKey(*job.destination, cs);
        if (key == nameKey(job.source, cs))
            continue; // skipped as its own source: writes nothing
        if (destinations.contains(key))
            return false;
        destinations.insert(key);
    }
    for (const Job &job : jobs) {
        if (destinations.contains(nameKey(job.source, cs)))
            return false;
    }
    return true;
}

QString fileNameOf(const QString &path, QChar separator)
{
    return path.mid(path.lastIndexOf(separator) + 1);
}

QString withDetail(const QString &text, const QString &detail)
{
    return detail.isEmpty() ? text : text + u": "_s + detail;
}

// Marks result failed: its copy could not be written, for error.
void failWrite(EntryResult &result, QChar separator, const QString &error)
{
    result.outcome = Outcome::Failed;
    result.reason = withDetail(u"could not write "_s + fileNameOf(result.destination, separator), error);
}

// A copy staged by convertOne, waiting to be committed.
using Staged = std::optional<base::StagedFile>;

// Commits a staged copy; result fails when it cannot be put in place.
void commitCopy(Staged &staged, EntryResult &result, QChar separator)
{
    QString error;
    if (!staged->commit(&error))
        failWrite(result, separator, error);
    staged.reset();
}

// Commits the staged copies of independent entries on a thread of its own,
// in the order they come, while the workers go on converting: a worker
// never waits for the disk. What has come while a commit was under way is
// taken together: a journaling file system puts the names and places of all
// the data written so far on disk in the first copy's flush, so the others'
// flushes have only their own data to wait for, if that: one journal commit
// for many copies rather than one a copy, which counts when the volume has
// other data waiting to be written, as each commit waits for some of it.
// Where no thread can be started, each copy is committed as it comes.
class Committer {
public:
    Committer(std::vector<EntryResult> &results, QChar separator) : m_results(results), m_separator(separator)
    {
        try {
            m_thread = std::thread(&Committer::run, this);
        } catch (const std::system_error &) {
        }
    }
    ~Committer() { finish(); }
    Committer(const Committer &) = delete;
    Committer &operator=(const Committer &) = delete;

    // Takes entry index's staged copy; waits while many are waiting already,
    // as each holds a file open.
    void add(Staged staged, int index)
    {
        if (!m_thread.joinable()) {
            commitCopy(staged, m_results[size_t(index)], m_separator);
            return;
        }
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_waiting.size() < MaxWaiting; });
        m_waiting.emplace_back(std::move(staged), index);
        m_arrived.notify_one();
    }

    // Commits every copy taken and returns once they are all committed.
    void finish()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard lock(m_mutex);
            m_finishing = true;
        }
        m_arrived.notify_one();
        m_thread.join();
    }

private:
    static constexpr size_t MaxWaiting = 64;

    void run()
    {
        std::deque<std::pair<Staged, int>> taken;
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                m_arrived.wait(lock, [this] { return !m_waiting.empty() || m_finishing; });
                if (m_waiting.empty())
                    return;
                taken.swap(m_waiting);
            }
            m_room.notify_all();
            for (auto &[staged, index] : taken)
                commitCopy(staged, m_results[size_t(index)], m_separator);
            taken.clear();
        }
    }

    std::vector<EntryResult> &m_results;
    const QChar m_separator;
    std::mutex m_mutex;
    std::condition_variable m_arrived, m_room;
    std::deque<std::pair<Staged, int>> m_waiting;
    bool m_finishing = false;
    std::thread m_thread;
};

// What converting the picture in file may take at its peak: the file's
// bytes, the picture, and twice as much again for a converted copy and the
// encoded file (a JPEG copy of a 16384 x 16384 picture peaks at 2.6 times
// the picture). A header that does not tell the size is taken to hide a
// picture of up to 16 bytes for each of the file's, at most the largest allowed.
qint64 memoryNeeded(const PictureFile &file)
{
    constexpr qint64 Margin = qint64(16) << 20;
    const QSize size = file.declaredSize();
    const qint64 picture = size.isValid() ? qint64(size.width()) * size.height() * 4
                                          : std::min(file.fileBytes() * 16, formats::Limits().maxBytes);
    return file.fileBytes() + 3 * picture + Margin;
}

// Converts one entry as far as a staged copy (*staged), reported Saved until
// its commit says otherwise; the picture's memory is held in budget while
// it is loaded and encoded.
EntryResult convertOne(const Job &job, const ConversionOptions &options, Qt::CaseSensitivity cs, MemoryBudget &budget,
                       Staged *staged, const std::optional<EntryResult> &decided)
{
    if (decided)
        return *decided;
    EntryResult result;
    result.entry = job.entry;
    if (!job.destination) {
        result.outcome = Outcome::Skipped;
        result.reason = u"the name is shorter than four characters, so it has no base name"_s;
        return result;
    }
    result.destination = *job.destination;
    if (sameFileName(job.source, *job.destination, cs) || sameExistingFile(job.source, *job.destination)) {
        result.outcome = Outcome::Skipped;
        result.reason = u"the destination is the source itself"_s;
        return result;
    }
    QString error;
    PictureFile file;
    QImage loaded;
    MemoryBudget::Reservation memory;
    const bool opened = file.open(job.source, &error);
    if (options.skipNonImages && !job.named && !writerFor(job.source) && (!opened || !file.looksLikePicture())) {
        result.outcome = Outcome::Skipped;
        result.reason = u"not an image"_s;
        return result;
    }
    const QFileInfo existing(*job.destination);
    result.existed = existing.exists();
    if (result.existed && options.existing != Existing::Replace) {
        const QString copy = fileNameOf(*job.destination, options.separator);
        if (options.existing == Existing::Skip) {
            result.outcome = Outcome::Skipped;
            result.reason = u"its copy "_s + copy + u" is there already"_s;
            return result;
        }
        if (existing.lastModified() >= QFileInfo(job.source).lastModified()) {
            result.outcome = Outcome::Skipped;
            result.reason = u"its copy "_s + copy + u" is up to date"_s;
            return result;
        }
    }
    if (opened && options.dryRun) {
        // The header alone tells: a file whose start is no known format would fail.
        result.outcome = file.looksLikePicture() ? Outcome::Saved : Outcome::Failed;
        if (result.outcome == Outcome::Failed)
            result.reason = withDetail(u"could not be read"_s, formats::notAnImageError());
        return result;
    }
    if (opened) {
        memory = budget.reserve(memoryNeeded(file));
        loaded = file.read(&error);
    }
    if (loaded.isNull()) {
        result.outcome = Outcome::Failed;
        result.reason = withDetail(u"could not be read"_s, error);
        return result;
    }
    if (options.resize) {
        const QSize size = resizedSize(loaded.size(), *options.resize);
        loaded = resized(loaded, size, options.write.normalMap);
        if (loaded.isNull()) {
            result.outcome = Outcome::Failed;
            result.reason = u"could not be resized to %1 x %2: "_s.arg(size.width()).arg(size.height())
                            + formats::outOfMemoryError();
            return result;
        }
    }
    // The loaded picture is handed over whole to the one that is saved.
    const QImage toSave = std::move(loaded);
    error.clear();
    *staged = stagePicture(toSave, *job.destination, &error, options.write);
    if (!*staged) {
        failWrite(result, options.separator, error);
        return result;
    }
    result.outcome = Outcome::Saved;
    return result;
}

// The file that path names at the moment, as its device and inode; nullopt
// when there is none.
std::optional<std::pair<quint64, quint64>> fileIdentity(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return std::pair{quint64(status.st_dev), quint64(status.st_ino)};
}

// Marks the saved copies that a later entry's copy replaced: those whose
// destination names, by cs, the same file as a later one's, or is, at the
// end of the run, the same file (a volume that takes two names as one
// without saying so). Each names the entry that replaced it directly.
void markReplacedCopies(QList<EntryResult> &results, QChar separator, Qt::CaseSensitivity cs)
{
    std::map<std::pair<quint64, quint64>, qsizetype> laterByIdentity;
    QHash<QString, qsizetype> laterByName;
    for (qsizetype i = results.size() - 1; i >= 0; --i) {
        EntryResult &result = results[i];
        if (result.outcome != Outcome::Saved)
            continue;
        std::optional<qsizetype> later;
        const QString key = nameKey(result.destination, cs);
        if (const auto byName = laterByName.constFind(key); byName != laterByName.cend())
            later = *byName;
        laterByName.insert(key, i);
        if (const auto identity = fileIdentity(result.destination)) {
            const auto [byIdentity, first] = laterByIdentity.try_emplace(*identity, i);
            if (!first && !later)
                later = byIdentity->second;
            byIdentity->second = i;
        }
        if (later) {
            result.outcome = Outcome::Replaced;
            result.reason = u"its copy "_s + fileNameOf(result.destination, separator)
                            + u" was replaced by that of "_s + results[*later].entry + u", later in this run"_s;
        }
    }
}

// How much of a picture a source holds, for choosing among sources that
// give the same copy: one that opens as a picture, then a lossless format,
// then more pixels.
struct Richness {
    bool opens = false;
    bool lossless = false;
    qint64 pixels = 0;
    auto operator<=>(const Richness &) const = default;
};

Richness richnessOf(const QString &source)
{
    PictureFile file;
    if (!file.open(source, nullptr) || !file.looksLikePicture())
        return {};
    const QSize size = file.declaredSize();
    return {true, !file.lossy(), size.isValid() ? qint64(size.width()) * size.height() : 0};
}

// The skips that keeping the sources decides before anything is converted:
// copies that would replace a source of the run, and all but the richest of
// the sources that give the same copy.
Decided decideKept(const QList<Job> &jobs, QChar separator, Qt::CaseSensitivity cs, Existing rule)
{
    Decided decided(size_t(jobs.size()));
    QSet<QString> sources;
    for (const Job &job : jobs)
        sources.insert(nameKey(job.source, cs));
    const auto skip = [&](qsizetype i, const QString &reason) {
        EntryResult result;
        result.entry = jobs[i].entry;
        result.destination = *jobs[i].destination;
        result.outcome = Outcome::Skipped;
        result.reason = reason;
        decided[size_t(i)] = result;
    };
    std::map<QString, std::vector<qsizetype>> byDestination;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const Job &job = jobs[i];
        if (!job.destination)
            continue;
        const QString key = nameKey(*job.destination, cs);
        if (key == nameKey(job.source, cs))
            continue; // skipped as its own source
        if (sources.contains(key)) {
            // Told as the existing copy's own skip when that is one anyway.
            const QString copy = fileNameOf(*job.destination, separator);
            const QFileInfo existing(*job.destination);
            if (rule == Existing::Skip && existing.exists())
                skip(i, u"its copy "_s + copy + u" is there already"_s);
            else if (rule == Existing::Newer && existing.lastModified() >= QFileInfo(job.source).lastModified())
                skip(i, u"its copy "_s + copy + u" is up to date"_s);
            else
                skip(i, u"its copy "_s + copy + u" would replace a source of this run"_s);
            continue;
        }
        byDestination[key].push_back(i);
    }
    for (const auto &[key, group] : byDestination) {
        if (group.size() < 2)
            continue;
        std::vector<Richness> richness;
        for (const qsizetype i : group)
            richness.push_back(richnessOf(jobs[i].source));
        size_t best = 0;
        for (size_t k = 1; k < group.size(); ++k) {
            if (richness[best] < richness[k])
                best = k; // strictly richer: on a tie the first listed stays
        }
        for (size_t k = 0; k < group.size(); ++k) {
            if (k != best)
                skip(group[k], u"its copy "_s + fileNameOf(*jobs[group[k]].destination, separator)
                                   + u" is made from "_s + jobs[group[best]].entry + u", which holds more"_s);
        }
    }
    return decided;
}

// Fails the copies reported saved: their names did not reach the disk.
void failSavedCopies(QList<EntryResult> &results, QChar separator, const QString &error)
{
    for (EntryResult &result : results) {
        if (result.outcome == Outcome::Saved)
            failWrite(result, separator, error);
    }
}

// How names are told apart in folder: as asked, else as its volume does.
Qt::CaseSensitivity caseSensitivityIn(const QString &folder, const ConversionOptions &options)
{
    if (options.caseSensitivity)
        return *options.caseSensitivity;
    if (const std::optional<bool> folds = base::folderFoldsCase(folder))
        return *folds ? Qt::CaseInsensitive : Qt::CaseSensitive;
    return base::fileNameCaseSensitivity();
}

QString capitalised(const QString &text)
{
    return text.isEmpty() ? text : text.front().toUpper() + text.mid(1);
}

} // namespace

QString SourcePath(const QString &folder, const QString &entry, QChar separator)
{
    return folder + separator + entry;
}

std::optional<QString> baseName(const QString &entry)
{
    const qsizetype length = characterCount(entry);
    if (length < 4)
        return std::nullopt;
    return entry.left(unitsOfFirstCharacters(entry, length - 4));
}

QString destSuffix(const QString &destText)
{
    return destText.left(unitsOfFirstCharacters(destText, 4));
}

bool lacksDot(const QString &destText)
{
    return !destText.isEmpty() && !destText.startsWith(u'.') && writerFor(destSuffix(u'.' + destText));
}

QString lacksDotMessage()
{
    return u"type the suffix with its dot, such as .png"_s;
}

std::optional<QString> DestPath(const QString &folder, const QString &entry, const QString &destText,
                                QChar separator)
{
    const std::optional<QString> base = baseName(entry);
    if (!base)
        return std::nullopt;
    return folder + separator + *base + destSuffix(destText);
}

bool sameFileName(const QString &a, const QString &b, Qt::CaseSensitivity cs)
{
    return QDir::cleanPath(a).compare(QDir::cleanPath(b), cs) == 0;
}

bool entriesIndependent(const QString &folder, const QStringList &entries, const QString &destText,
                        QChar separator, Qt::CaseSensitivity cs)
{
    return jobsIndependent(entryJobs(folder, entries, destText, QString(), separator), cs);
}

QList<ConversionJob> entryJobs(const QString &folder, const QStringList &entries, const QString &destText,
                              const QString &copyFolder, QChar separator)
{
    const QString copies = copyFolder.isEmpty() ? folder : copyFolder;
    QList<ConversionJob> jobs;
    jobs.reserve(entries.size());
    for (const QString &entry : entries)
        jobs.append({entry, SourcePath(folder, entry, separator), DestPath(copies, entry, destText, separator), false});
    return jobs;
}

ConversionReport convertEntries(const QString &folder, const QStringList &entries, const QString &destText,
                                const ConversionOptions &options)
{
    return convertJobs(entryJobs(folder, entries, destText, QString(), options.separator), options);
}

ConversionReport convertJobs(const QList<ConversionJob> &jobs, const ConversionOptions &options)
{
    const int total = int(jobs.size());
    QStringList folders; // of the copies, in the order first met
    for (const Job &job : jobs) {
        if (job.destination) {
            const QString folder = job.destination->left(job.destination->lastIndexOf(options.separator));
            if (!folders.contains(folder))
                folders.append(folder);
        }
    }
    if (!options.dryRun) {
        for (const QString &folder : std::as_const(folders))
            base::removeLeftTemporaryFiles(folder);
    }
    const Qt::CaseSensitivity cs =
        folders.isEmpty() ? base::fileNameCaseSensitivity() : caseSensitivityIn(folders.constFirst(), options);
    const Decided decided = options.keepSources ? decideKept(jobs, options.separator, cs, options.existing) : Decided(size_t(total));

    // Independent entries may finish in any order: their copies are
    // committed behind the workers (Committer). Others are committed at
    // once, in list order.
    const bool independent = jobsIndependent(jobs, cs, decided);
    int threads = options.threads > 0 ? options.threads : QThread::idealThreadCount();
    threads = std::max(1, std::min(threads, total));
    if (!independent)
        threads = 1;

    MemoryBudget &budget = options.memoryBudget ? *options.memoryBudget : MemoryBudget::shared();

    // Workers take the entries in list order, so the entries started before
    // a cancel are always a leading part of the list.
    std::vector<EntryResult> results(size_t(total), EntryResult{});
    std::atomic<int> next{0};
    std::mutex progressMutex;
    int done = 0;
    std::optional<Committer> committer;
    if (independent && total > 1)
        committer.emplace(results, options.separator);
    const auto work = [&] {
        for (;;) {
            if (options.cancel && options.cancel->load())
                break;
            const int i = next.fetch_add(1);
            if (i >= total)
                break;
            Staged staged;
            results[size_t(i)] = convertOne(jobs[i], options, cs, budget, &staged, decided[size_t(i)]);
            if (staged && committer)
                committer->add(std::move(staged), i);
            else if (staged)
                commitCopy(staged, results[size_t(i)], options.separator);
            const std::lock_guard lock(progressMutex);
            ++done;
            if (options.progress)
                options.progress(done, total, jobs[i].entry);
        }
    };

    if (threads == 1) {
        work();
    } else {
        std::vector<std::thread> workers;
        workers.reserve(size_t(threads - 1));
        try {
            for (int t = 1; t < threads; ++t)
                workers.emplace_back(work);
        } catch (const std::system_error &) {
            // Fewer threads than asked for: those started and this one share the work.
        }
        work();
        for (std::thread &worker : workers)
            worker.join();
    }
    if (committer)
        committer->finish();

    ConversionReport report;
    report.parallel = threads > 1;
    const int started = std::min(next.load(), total);
    report.entries.reserve(started);
    for (int i = 0; i < started; ++i)
        report.entries.append(std::move(results[size_t(i)]));
    if (!options.dryRun)
        markReplacedCopies(report.entries, options.separator, cs);
    for (const QString &folder : std::as_const(folders)) {
        const auto written = [&](const EntryResult &r) {
            return (r.outcome == Outcome::Saved || r.outcome == Outcome::Replaced)
                   && r.destination.left(r.destination.lastIndexOf(options.separator)) == folder;
        };
        if (options.dryRun || !options.makeDurable || report.durabilityError.size() > 0
            || std::none_of(report.entries.cbegin(), report.entries.cend(), written))
            continue;
        QString error;
        if (!options.makeDurable(folder, &error)) {
            report.durabilityError = error.isEmpty() ? u"the copies may not be saved to disk"_s : error;
            failSavedCopies(report.entries, options.separator, report.durabilityError);
        }
    }
    for (const EntryResult &result : std::as_const(report.entries)) {
        switch (result.outcome) {
        case Outcome::Saved: ++report.saved; break;
        case Outcome::Replaced: ++report.replaced; break;
        case Outcome::Skipped: ++report.skipped; break;
        case Outcome::Failed: ++report.failed; break;
        }
    }
    report.notConverted = total - started;
    report.cancelled = report.notConverted > 0;
    return report;
}

ReportTone toneOf(const ConversionReport &report)
{
    if (report.failed > 0 || !report.durabilityError.isEmpty())
        return ReportTone::Error;
    if (report.skipped > 0 || report.replaced > 0)
        return ReportTone::Information;
    return ReportTone::Quiet;
}

QString statusCaption(const ConversionReport &report, bool plural)
{
    if (report.allSaved() && report.durabilityError.isEmpty())
        return plural ? u" Saved  images's"_s : u" Saved  image"_s;
    return countsCaption(report);
}

QString countsCaption(const ConversionReport &report)
{
    QString caption = u" Saved %1, skipped %2, failed %3"_s.arg(report.saved).arg(report.skipped).arg(report.failed);
    if (report.replaced > 0)
        caption += (report.replaced == 1 ? u", 1 copy replaced in this run"_s
                                         : u", %1 copies replaced in this run"_s.arg(report.replaced));
    if (report.cancelled)
        caption += u", not converted %1 (cancelled)"_s.arg(report.notConverted);
    return caption;
}

QString reportMessage(const ConversionReport &report, int limit)
{
    QStringList lines;
    if (report.failed > 0) {
        lines.append(u"%1 of %2 %3 could not be converted"_s.arg(report.failed)
                         .arg(report.total())
                         .arg(report.total() == 1 ? u"image"_s : u"images"_s));
    }
    if (!report.durabilityError.isEmpty())
        lines.append(capitalised(report.durabilityError));
    if (!lines.isEmpty())
        lines.append(QString());

    int listed = 0;
    for (const EntryResult &result : report.entries) {
        if (result.outcome == Outcome::Saved)
            continue;
        if (++listed > limit)
            continue;
        const QString what = result.outcome == Outcome::Failed     ? u"failed"_s
                             : result.outcome == Outcome::Skipped  ? u"skipped"_s
                                                                   : u"replaced"_s;
        lines.append(result.entry + u" - "_s + what + u": "_s + result.reason);
    }
    if (listed > limit)
        lines.append(u"and %1 more"_s.arg(listed - limit));
    if (report.cancelled)
        lines.append(u"Cancelled: %1 of %2 images were not converted."_s.arg(report.notConverted).arg(report.total()));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.join(u'\n');
}

} // namespace morvane::convert
