#include "convert/conversion.h"

#include "convert/memorybudget.h"
#include "convert/picture.h"
#include "base/atomicwrite.h"
#include "base/characters.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QThread>

#include <algorithm>
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

struct Job {
    QString entry;
    QString source;
    std::optional<QString> destination;
};

QList<Job> planJobs(const QString &folder, const QStringList &entries, const QString &destText, QChar separator)
{
    QList<Job> jobs;
    jobs.reserve(entries.size());
    for (const QString &entry : entries)
        jobs.append({entry, SourcePath(folder, entry, separator), DestPath(folder, entry, destText, separator)});
    return jobs;
}

bool jobsIndependent(const QList<Job> &jobs, Qt::CaseSensitivity cs)
{
    QSet<QString> destinations;
    destinations.reserve(jobs.size());
    for (const Job &job : jobs) {
        if (!job.destination)
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
                       Staged *staged)
{
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
    if (file.open(job.source, &error)) {
        memory = budget.reserve(memoryNeeded(file));
        loaded = file.read(&error);
    }
    if (loaded.isNull()) {
        result.outcome = Outcome::Failed;
        result.reason = withDetail(u"could not be read"_s, error);
        return result;
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
    return jobsIndependent(planJobs(folder, entries, destText, separator), cs);
}

ConversionReport convertEntries(const QString &folder, const QStringList &entries, const QString &destText,
                                const ConversionOptions &options)
{
    const QList<Job> jobs = planJobs(folder, entries, destText, options.separator);
    const int total = int(jobs.size());
    if (total > 0)
        base::removeLeftTemporaryFiles(folder);
    const Qt::CaseSensitivity cs = total > 0 ? caseSensitivityIn(folder, options) : base::fileNameCaseSensitivity();

    // Independent entries may finish in any order: each copy is committed
    // after the worker has staged its next one, so that the disk writes one
    // while the next is encoded. Others are committed at once, in list order.
    const bool independent = jobsIndependent(jobs, cs);
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
    const auto work = [&] {
        Staged waiting;
        int waitingIndex = -1;
        const auto commitWaiting = [&] {
            if (waiting)
                commitCopy(waiting, results[size_t(waitingIndex)], options.separator);
        };
        for (;;) {
            if (options.cancel && options.cancel->load())
                break;
            const int i = next.fetch_add(1);
            if (i >= total)
                break;
            Staged staged;
            results[size_t(i)] = convertOne(jobs[i], options, cs, budget, &staged);
            commitWaiting();
            waiting = std::move(staged);
            waitingIndex = i;
            if (!independent)
                commitWaiting();
            const std::lock_guard lock(progressMutex);
            ++done;
            if (options.progress)
                options.progress(done, total, jobs[i].entry);
        }
        commitWaiting();
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

    ConversionReport report;
    report.parallel = threads > 1;
    const int started = std::min(next.load(), total);
    report.entries.reserve(started);
    for (int i = 0; i < started; ++i)
        report.entries.append(std::move(results[size_t(i)]));
    markReplacedCopies(report.entries, options.separator, cs);
    if (options.makeDurable && std::any_of(report.entries.cbegin(), report.entries.cend(), [](const EntryResult &r) {
            return r.outcome == Outcome::Saved || r.outcome == Outcome::Replaced;
        })) {
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
