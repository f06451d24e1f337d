// The main window's frame: its menus, icon and size, and the keys that
// work wherever the focus is, around the texture configuration window.
#pragma once

#include "texcfg/mainwindow.h"

#include <QPointer>

namespace morvane::convert {
class Convert;
}

namespace morvane::app {

class FrmMain : public texcfg::MainWindow {
    Q_OBJECT

public:
    FrmMain(ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard, QWidget *parent = nullptr);
    ~FrmMain() override;

protected:
    // Enter presses "Apply" wherever the focus is, except on another button;
    // F10 opens the first menu.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void exitProgram();
    void showImageConvert();
    void showAbout();

    QPointer<convert::Convert> m_converter; // open, with no owner, while the user keeps it
};

} // namespace morvane::app
