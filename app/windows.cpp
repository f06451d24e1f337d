#include "app/windows.h"

#include <QScreen>
#include <QWidget>

namespace morvane::app {

QIcon programIcon()
{
    return QIcon(QStringLiteral(":/icons/morvane-16.png"));
}

void centreOnScreen(QWidget &window, const QScreen &screen)
{
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen.availableGeometry().center());
    window.move(frame.topLeft());
}

} // namespace morvane::app
