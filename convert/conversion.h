// Converting the entries of one folder into copies named by a destination
// suffix: the path rules, the run itself (serial or on worker threads) and
// the texts that report a run. No window; the converter window and the
// benchmark program both call it.
#pragma once

#include "base/atomicwrite.h"
#include "base/paths.h"
#include "convert/formats/format.h"
#include "convert/resize.h"

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

namespace morvane::convert {

class MemoryBudget;

// Characters are counted as Unicode code points: a UTF-16 surrogate pair is
// one character and is never split; a lone surrogate counts as one.

// folder, separator and entry joined without any change (no test whether
// folder already ends in a separator).
QString SourcePath(const QString &folder, const QString &entry, QChar separator = QDir::separator());

// entry without its last four characters, whatever they are (no dot is
// searched for); empty for a four-character name, nullopt for a shorter one.
std::optional<QString> baseName(const QString &entry);

// The first four characters of destText, or all of it when it is shorter.
QString destSuffix(const QString &destText);

// True when destText lacks only the leading dot of a suffix that copies are
// written under ("png", "jpeg"): such a text names no format by itself.
bool lacksDot(const QString &destText);

// The words that ask for the dot lacksDot finds missing.
QString lacksDotMessage();

// folder, separator, baseName(entry) and destSuffix(destText) joined; nullopt
// when entry is shorter than four characters and so has no base name.
std::optional<QString> DestPath(const QString &folder, const QString &entry, const QString &destText,
                                QChar separator = QDir::separator());

// True when the two paths name the same file by their text: runs of
// separators count as one ("." and ".." parts are resolved), letter case
// matters as cs says.
bool sameFileName(const QString &a, const QString &b, Qt::CaseSensitivity cs = base::fileNameCaseSensitivity());

// True when the entries may be converted at the same time: no two entries
// that will be written share a destination, and no destination is the
// source of another entry. Entries with no base name write nothing and so
// take no part, except as sources.
bool entriesIndependent(const QString &folder, const QStringList &entries, const QString &destText,
                        QChar separator = QDir::separator(), Qt::CaseSensitivity cs = base::fileNameCaseSensitivity());

enum class Outcome {
    Saved,    // its copy was written and is there at the end of the run
    Replaced, // its copy was written, then replaced by a later entry's copy of the same name
    Skipped,
    Failed,
};

// What became of one entry.
struct EntryResult {
    QString entry;       // the name as listed, without folder
    QString destination; // the path written or meant to be written; empty without a base name
    Outcome outcome = Outcome::Failed;
    QString reason;      // what happened to it, in user words; empty when saved
    bool existed = false; // a file of the copy's name was there before the copy was made
};

// What a run did, entry by entry in list order. A cancelled run holds the
// entries started before the cancel (always a leading part of the list);
// notConverted counts the rest.
struct ConversionReport {
    QList<EntryResult> entries;
    int saved = 0;
    int replaced = 0;
    int skipped = 0;
    int failed = 0;
    int notConverted = 0;
    bool cancelled = false;
    bool parallel = false;   // whether worker threads converted the entries
    QString durabilityError; // why the copies written may not be on disk; empty when they are

    int total() const { return saved + replaced + skipped + failed + notConverted; }
    bool allSaved() const { return saved == total(); }
};

// What becomes of a file already at a copy's name.
enum class Existing {
    Replace, // replaced
    Skip,    // kept, and the entry skipped
    Newer,   // replaced only when the source was modified after it
};

struct ConversionOptions {
    // Worker threads: 1 converts one after another on the calling thread; 0
    // or less takes the machine's ideal count. More than one thread is used
    // only when the entries are independent (entriesIndependent).
    int threads = 0;
    // When set and true, the run stops before the next image; images being
    // converted at that moment are finished.
    const std::atomic<bool> *cancel = nullptr;
    // Called after each entry is finished, with the number finished so far
    // (1 to total, rising by one each call), the number of entries and the
    // name just finished. It may be called from a worker thread, but never
    // from two threads at once.
    std::function<void(int done, int total, const QString &entry)> progress;
    // Each copy's data is on disk before it takes its name; this puts the
    // names on disk: called once with the folder after the last copy when
    // anything was written. Its failure is the run's durabilityError, and
    // every copy reported saved until then is failed. Empty leaves the names
    // to the system's write-back (for measuring only).
    std::function<bool(const QString &folder, QString *error)> makeDurable = base::flushFolder;
    QChar separator = QDir::separator();
    // How names are compared: unset asks the folder's volume
    // (base::folderFoldsCase), falling back on the platform's rule when the
    // volume cannot be asked.
    std::optional<Qt::CaseSensitivity> caseSensitivity;
    // The memory the pictures converted at once share; null takes the
    // process's (MemoryBudget::shared()).
    MemoryBudget *memoryBudget = nullptr;
    // How the copies are written (the DDS kind, mipmaps, ...).
    formats::WriteOptions write;
    // False (the converter window's way): copies are made in list order, a
    // later one replacing an earlier copy of the same name. True: no copy
    // replaces a source of the run (that entry is skipped), and of the
    // sources that give the same copy only the one that holds the most is
    // converted (a lossless format before a lossy one, then the larger
    // picture, then the first listed), the others skipped.
    bool keepSources = false;
    // Whether an entry whose name ends in no picture suffix and whose
    // content is no picture is skipped as not an image rather than failed
    // (a job given by name never is).
    bool skipNonImages = false;
    Existing existing = Existing::Replace;
    // The size each copy is resampled to, from its picture's; unset keeps it.
    std::optional<ResizeRule> resize;
    // Reports what would be written, skipped or replaced, from the sources'
    // headers alone, and writes and removes nothing.
    bool dryRun = false;
};

// One source and the copy made of it.
struct ConversionJob {
    QString entry;                      // the name it is reported under
    QString source;                     // the file read
    std::optional<QString> destination; // the copy; nullopt when the name has no base name
    bool named = false;                 // given by name: never skipped as not an image
};

// The jobs for entries of folder: each source in folder, its copy under the
// name DestPath gives in copyFolder (folder itself when empty).
QList<ConversionJob> entryJobs(const QString &folder, const QStringList &entries, const QString &destText,
                               const QString &copyFolder = QString(), QChar separator = QDir::separator());

// Converts each entry of folder into folder/<base name><suffix of destText>:
// load, hand the picture over, save, one image right after the other's load
// (nothing is collected first), then makes the copies durable. A name
// shorter than four characters and a destination that is the source itself
// are skipped; a source that cannot be read writes nothing; an existing
// other file at the destination is replaced, and a copy that a later entry's
// copy replaces is reported as Replaced; no source is written. Temporary
// files that an earlier, killed run left in folder are removed first. The
// files written and the report do not depend on the thread count. A copy is
// reported saved only once its data and its name are on disk.
ConversionReport convertEntries(const QString &folder, const QStringList &entries, const QString &destText,
                                const ConversionOptions &options = {});

// Converts each job's source into its destination as convertEntries does,
// the copies' folders being those of the destinations (each separator up to
// the last one of the path).
ConversionReport convertJobs(const QList<ConversionJob> &jobs, const ConversionOptions &options = {});

// How a run's outcome is told beyond the status label.
enum class ReportTone {
    Quiet,       // the caption says it all: everything saved, or a cancel alone
    Information, // entries were skipped or copies replaced: harmless, but worth a list
    Error,       // entries failed, or the copies may not be on disk
};

// The tone that report calls for.
ReportTone toneOf(const ConversionReport &report);

// The status label's text after a run: " Saved  images's" (plural) or
// " Saved  image" when every entry was saved and no copy replaced, otherwise
// countsCaption.
QString statusCaption(const ConversionReport &report, bool plural);

// " Saved 3, skipped 1, failed 2" for the status label when a run did not
// save everything; replaced copies add ", 1 copy replaced in this run" and a
// cancel ", not converted N (cancelled)".
QString countsCaption(const ConversionReport &report);

// The text of the box that tells what went wrong or was passed over: when
// anything failed a summary line first ("2 of 40 images could not be
// converted") and a blank line; then the failed, skipped and replaced entries
// with their reasons, one a line, at most limit of them followed by "and N
// more"; then a line about a cancel. Empty when there is nothing to tell.
QString reportMessage(const ConversionReport &report, int limit = 20);

} // namespace morvane::convert
