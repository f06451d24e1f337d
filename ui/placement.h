// Where windows appear.
#pragma once

class QWidget;

namespace morvane::ui {

// Moves window so that it stands in the middle of its screen's available area.
void centreOnScreen(QWidget *window);

} // namespace morvane::ui
