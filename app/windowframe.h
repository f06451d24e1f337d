// What the program's windows share: the icon, the style, placement, and
// following the drive list.
#pragma once

#include <QFont>
#include <QIcon>
#include <QStringList>

class QScreen;
class QWidget;

namespace morvane::ui {
class DirList;
class DriveList;
class MessageBoxes;
} // namespace morvane::ui

namespace morvane::app {

// The program's 16 x 16 icon.
QIcon programIcon();

// Sets the application's style: the platform's, with the few icons the
// program's windows ask of it drawn here (see windowframe.cpp).
void useProgramStyle();

// The font family at points, as the forms ask for it. The first call tells Qt
// which installed families stand in for the forms' own where they are
// missing, chosen for widths like theirs: the forms' fixed sizes were laid
// out for those widths, and the default sans would cut captions.
QFont formFont(const QString &family, qreal points);

// Moves a window that is not shown yet so that it is centred on screen's
// available area.
void centreOnScreen(QWidget &window, const QScreen &screen);

// Every entry of a list control (a folder or file list), in its order.
template <typename List>
QStringList entriesOf(const List &list)
{
    QStringList entries;
    const int count = list.listCount();
    entries.reserve(count);
    for (int i = 0; i < count; ++i)
        entries.append(list.list(i));
    return entries;
}

// Moves folders to the drive just chosen in drives; tells the user, over
// window, when the drive cannot be read.
void followDrive(const ui::DriveList &drives, ui::DirList &folders, ui::MessageBoxes &messageBoxes, QWidget *window);

} // namespace morvane::app
