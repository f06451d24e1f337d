#include "app/conversionrun.h"

#include <QEventLoop>
#include <QMutex>
#include <QProgressDialog>
#include <QTimer>

#include <system_error>
#include <thread>

namespace morvane::app {

using namespace convert;

using namespace Qt::StringLiterals;

namespace {

constexpr int ProgressEveryMs = 100;

// The latest progress, written by the worker and read by the window's thread.
class SharedProgress {
public:
    void set(int done)
    {
        const QMutexLocker lock(&m_mutex);
        m_done = done;
    }
    int done() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_done;
    }

private:
    mutable QMutex m_mutex;
    int m_done = 0;
};

} // namespace

ConversionReport runConversion(QWidget *window, const QList<ConversionJob> &jobs, ConversionOptions options,
                               int dialogAfterMs)
{
    if (jobs.isEmpty())
        return convertJobs(jobs, options);
    std::atomic<bool> cancel = false;
    SharedProgress shared;
    options.cancel = &cancel;
    options.progress = [&shared](int done, int, const QString &) { shared.set(done); };

    // The run's calling thread; its end quits the loop below, whichever pass
    // of it is running.
    QEventLoop loop;
    std::atomic<bool> finished = false;
    ConversionReport report;
    std::thread run;
    try {
        run = std::thread([&] {
            report = convertJobs(jobs, options);
            finished = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::system_error &) {
        return convertJobs(jobs, options); // no thread to spare: run here
    }
    const auto isFinished = [&] { return finished.load(); };

    // Short runs: the window repaints, but clicks and keys wait until the run is over.
    QTimer::singleShot(dialogAfterMs, &loop, &QEventLoop::quit);
    if (!isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (!isFinished()) {
        // Long runs: the window-modal dialog takes the window's input and offers Cancel.
        const int total = int(jobs.size());
        QProgressDialog progress(window);
        progress.setWindowTitle(window->windowTitle());
        progress.setWindowModality(Qt::WindowModal);
        progress.setRange(0, total);
        progress.setMinimumDuration(0);
        progress.setAutoReset(false);
        const auto stopAtNextImage = [&] {
            if (cancel.exchange(true))
                return;
            // Cancelling hides the dialog; it stays up until the images under way are written.
            progress.setLabelText(u"Cancelling after the images under way..."_s);
            progress.show();
        };
        const auto showProgress = [&] {
            if (progress.wasCanceled())
                stopAtNextImage();
            if (cancel)
                return;
            const int done = shared.done();
            progress.setValue(done);
            if (done == total) {
                // The run's one flush to disk comes after the last image.
                progress.setLabelText(u"Saving the copies to disk..."_s);
                return;
            }
            progress.setLabelText(u"Converting %1 of %2: %3"_s.arg(done + 1).arg(total).arg(jobs.at(done).entry));
        };
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &progress, showProgress);
        QObject::connect(&progress, &QProgressDialog::canceled, &progress, stopAtNextImage);
        showProgress();
        progress.show();
        ticker.start(ProgressEveryMs);
        if (!isFinished())
            loop.exec();
    }
    // The loop also ends when the program is quitting: stop at the next image then.
    if (!isFinished())
        cancel = true;
    run.join();
    return report;
}

} // namespace morvane::app
