// The main window: browsing, the name mask, "Apply" and "Go!", its menus,
// icon and size, and the keys that work wherever the focus is.
#pragma once

#include "app/conversionchoices.h"

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

namespace morvane::app {

class Convert;

class FrmMain : public QMainWindow {
    Q_OBJECT

public:
    // Sets up the form, wires the handlers and runs the load step; message
    // boxes and clipboard must outlive the window.
    FrmMain(ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard, QWidget *parent = nullptr);
    ~FrmMain() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Enter presses "Apply" wherever the focus is, except on another button;
    // F10 opens the first menu.
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The load step: "Go!" starts disabled.
    void load();
    void changeDrive();
    void changeFolder();
    void switchMask();
    void applyMask();
    void selectMaskExtension();
    // "Apply": the texture list from the folder and file lists.
    void apply();
    // "Go!": the cfg content from the texture list, on the clipboard if asked.
    void go();
    // Runs after every change of the file list's folder or pattern; nothing needs it yet.
    void FileListChanged() {}
    void exitProgram();
    void showImageConvert();
    // The Conversion Options dialog: its choices, once accepted, last while the program runs.
    void showConversionOptions();
    void showAbout();

    std::unique_ptr<Ui::frmMain> m_ui;
    ui::MessageBoxes &m_messageBoxes;
    ui::Clipboard &m_clipboard;
    QPointer<Convert> m_converter; // open, with no owner, while the user keeps it
    std::shared_ptr<ConversionChoices> m_choices = std::make_shared<ConversionChoices>();
};

} // namespace morvane::app
