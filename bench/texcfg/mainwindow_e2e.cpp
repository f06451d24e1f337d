// Times one modder's round in the real main window (offscreen): open a folder,
// "Apply", "Go!" with the copy to the clipboard. Prints milliseconds per step.
#include "app/frmmain.h"
#include "ui/clipboard.h"
#include "ui/dirlist.h"
#include "ui/messagebox.h"
#include "ui/multilineedit.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);

    morvane::ui::QtMessageBoxes boxes;
    morvane::ui::QtClipboard clipboard;
    morvane::app::FrmMain window(boxes, clipboard);
    window.show();
    QApplication::processEvents();
    window.findChild<QCheckBox *>(QStringLiteral("chkCopyToClip"))->setChecked(true);

    QElapsedTimer total;
    total.start();
    if (!window.findChild<morvane::ui::DirList *>(QStringLiteral("Dir1"))->setPath(folder)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const qint64 opened = total.elapsed();
    window.findChild<QPushButton *>(QStringLiteral("Izlistaj"))->click();
    const qint64 applied = total.elapsed();
    window.findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    QApplication::processEvents(); // let the window repaint with the results
    const qint64 done = total.elapsed();

    const QString cfg = window.findChild<morvane::ui::MultiLineEdit *>(QStringLiteral("Text1"))->text();
    std::printf("open %lld ms, apply %lld ms, go %lld ms, total %lld ms, %lld cfg lines\n", opened,
                applied - opened, done - applied, done, qlonglong(cfg.count(QStringLiteral("\r\n"))));
    return 0;
}
