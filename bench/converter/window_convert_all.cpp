// Times "Convert all images" in the real converter window (offscreen) on one
// folder, and checks that the window's event loop keeps running meanwhile.
//   window_convert_all FOLDER SOURCE-FILTER DEST-FORMAT   e.g. corpus/512/jpg .jpg .bmp
// Prints the images written per second, the longest pause of the event loop
// and how many paint events windows received during the run.
#include "convert/allocator.h"
#include "app/convertwindow.h"
#include "ui/filelist.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

// Failures are printed instead of waiting for someone to close a box.
class PrintedMessages final : public morvane::ui::MessageBoxes {
public:
    void show(QWidget *, const QString &text, const QString &title, morvane::ui::MessageIcon) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    }
};

class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

void pick(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    morvane::convert::keepPictureBuffers();
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FOLDER SOURCE-FILTER DEST-FORMAT\n", argv[0]);
        return 2;
    }
    PrintedMessages messages;
    morvane::app::Convert window(messages, QString::fromLocal8Bit(argv[1]));
    if (!window.load())
        return 1;
    window.show();
    pick(window.findChild<QComboBox *>(QStringLiteral("Combo1")), QString::fromLocal8Bit(argv[2]));
    pick(window.findChild<QComboBox *>(QStringLiteral("Combo2")), QString::fromLocal8Bit(argv[3]));
    window.findChild<QCheckBox *>(QStringLiteral("chkConvertAll"))->setChecked(true);
    const int images = window.findChild<morvane::ui::FileList *>(QStringLiteral("File1"))->listCount();

    PaintCounter counter;
    app.installEventFilter(&counter);
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, &app, [&] {
        longestPause = std::max(longestPause, sinceTick.restart());
    });
    QElapsedTimer run;
    QTimer::singleShot(0, &app, [&] {
        sinceTick.start();
        heartbeat.start(10);
        run.start();
        window.findChild<QPushButton *>(QStringLiteral("cmd1"))->click();
        const qint64 ms = run.elapsed();
        heartbeat.stop();
        const QString status = window.findChild<QLabel *>(QStringLiteral("Label1"))->text();
        std::printf("%d images in %lld ms: %.1f images/s; event loop paused at most %lld ms; %d paint events; "
                    "status \"%s\"\n",
                    images, ms, ms > 0 ? images * 1000.0 / ms : 0.0, longestPause, counter.paints,
                    qPrintable(status));
        QCoreApplication::quit();
    });
    return QApplication::exec();
}
