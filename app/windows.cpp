#include "app/windows.h"

#include <QImageReader>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace morvane::app {

QIcon programIcon()
{
    // Read with Qt's own PNG reader: letting it guess would load and ask every
    // image plugin first, which costs the start-up several milliseconds.
    QImageReader reader(QStringLiteral(":/icons/morvane-16.png"), "png");
    reader.setAutoDetectImageFormat(false);
    return QIcon(QPixmap::fromImage(reader.read()));
}

void centreOnScreen(QWidget &window, const QScreen &screen)
{
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen.availableGeometry().center());
    window.move(frame.topLeft());
}

} // namespace morvane::app
