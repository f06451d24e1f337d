#include "app/frmmain.h"
#include "appinfo.h"
#include "ui/clipboard.h"
#include "ui/messagebox.h"
#include "ui/placement.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(morvane::appinfo::title());

    morvane::ui::QtMessageBoxes messageBoxes;
    morvane::ui::QtClipboard clipboard;
    morvane::app::FrmMain window(messageBoxes, clipboard);
    morvane::ui::centreOnScreen(&window);
    window.show();
    return QApplication::exec();
}
