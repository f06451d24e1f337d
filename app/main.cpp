#include "app/commandline.h"
#include "app/frmmain.h"
#include "app/windowframe.h"
#include "appinfo.h"
#include "convert/allocator.h"
#include "ui/clipboard.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    // The arguments are checked before the window system is touched, so that
    // a refusal needs no display.
    QString folder;
    if (const std::optional<int> status = morvane::app::runWithoutWindow(argc, argv, &folder))
        return *status;

    QApplication app(argc, argv);
    // The lists start in the process's current folder: the one asked for, if any.
    if (!folder.isEmpty())
        QDir::setCurrent(folder);
    morvane::convert::keepPictureBuffers();
    QApplication::setApplicationName(morvane::appinfo::title());
    QApplication::setApplicationVersion(morvane::appinfo::versionString());
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(morvane::appinfo::appId());
    QApplication::setWindowIcon(morvane::app::programIcon());
    morvane::app::useProgramStyle();

    morvane::ui::QtMessageBoxes messageBoxes;
    morvane::ui::QtClipboard clipboard;
    morvane::app::FrmMain window(messageBoxes, clipboard);
    morvane::app::centreOnScreen(window, *window.screen());
    window.show();
    return QApplication::exec();
}
