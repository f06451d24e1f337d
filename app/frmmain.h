// The main window: the frame, its menus and the controls the texture
// configuration handlers work on.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <memory>

namespace Ui {
class frmMain;
}

namespace morvane::ui {
class Clipboard;
class MessageBoxes;
} // namespace morvane::ui

namespace morvane::texcfg {
class MainHandlers;
}

namespace morvane::convert {
class Convert;
}

namespace morvane::app {

class FrmMain : public QMainWindow {
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

    std::unique_ptr<Ui::frmMain> m_ui;
    texcfg::MainHandlers *m_handlers;
    ui::MessageBoxes &m_messageBoxes;
    QPointer<convert::Convert> m_converter; // open, with no owner, while the user keeps it
};

} // namespace morvane::app
