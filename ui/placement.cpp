#include "ui/placement.h"

#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace morvane::ui {

void centreOnScreen(QWidget *window)
{
    const QRect area = window->screen()->availableGeometry();
    window->move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window->size(), area).topLeft());
}

} // namespace morvane::ui
