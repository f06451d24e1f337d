// The main window's form and its work: browsing, the name mask, "Apply"
// and "Go!". The frame around it (menus, icon, size) is the program's.
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

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Sets up the form, wires the handlers and runs the load step; message
    // boxes and clipboard must outlive the window.
    MainWindow(ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard, QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

    std::unique_ptr<Ui::frmMain> m_ui;
    ui::MessageBoxes &m_messageBoxes;

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

    ui::Clipboard &m_clipboard;
};

} // namespace morvane::texcfg
