// What every window of the program shares: its icon and its placement.
#pragma once

#include <QIcon>

class QScreen;
class QWidget;

namespace morvane::app {

// The program's 16 x 16 icon.
QIcon programIcon();

// Sets the application's style: the platform's, with the few icons the
// program's windows ask of it drawn here (see windows.cpp).
void useProgramStyle();

// Moves a window that is not shown yet so that it is centred on screen's
// available area.
void centreOnScreen(QWidget &window, const QScreen &screen);

} // namespace morvane::app
