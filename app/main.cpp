#include "app/frmmain.h"
#include "app/windows.h"
#include "appinfo.h"
#include "convert/allocator.h"
#include "ui/clipboard.h"
#include "ui/messagebox.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    morvane::convert::keepPictureBuffers();
    QApplication::setApplicationName(morvane::appinfo::title());
    QApplication::setApplicationVersion(morvane::appinfo::versionString());
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(morvane::appinfo::appId());
    QApplication::setWindowIcon(morvane::app::programIcon());

    morvane::ui::QtMessageBoxes messageBoxes;
    morvane::ui::QtClipboard clipboard;
    morvane::app::FrmMain window(messageBoxes, clipboard);
    morvane::app::centreOnScreen(window, *window.screen());
    window.show();
    return QApplication::exec();
}
