#include "app/frmmain.h"
#include "appinfo.h"
#include "ui/clipboard.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(morvane::appinfo::title());

    morvane::ui::QtMessageBoxes messageBoxes;
    morvane::ui::QtClipboard clipboard;
    morvane::app::FrmMain window(messageBoxes, clipboard);
    const QRect screen = window.screen()->availableGeometry();
    window.move(screen.center() - window.frameGeometry().center() + window.pos());
    window.show();
    return QApplication::exec();
}
