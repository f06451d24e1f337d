// The main window: the frame, its menus and the controls the texture
// configuration handlers work on.
#pragma once

#include <QMainWindow>

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

namespace morvane::app {

class FrmMain : public QMainWindow {
    Q_OBJECT

public:
    FrmMain(ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard, QWidget *parent = nullptr);
    ~FrmMain() override;

protected:
    // Enter presses "Apply" wherever the focus is, except on another button.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void exitProgram();
    void showAbout();

    std::unique_ptr<Ui::frmMain> m_ui;
    texcfg::MainHandlers *m_handlers;
};

} // namespace morvane::app
