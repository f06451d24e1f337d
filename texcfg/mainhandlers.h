// The main window's work: browsing, the name mask, "Apply" and "Go!".
#pragma once

#include <QObject>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace morvane::ui {
class Clipboard;
class DirList;
class DriveList;
class FileList;
class MessageBoxes;
class MultiLineEdit;
} // namespace morvane::ui

namespace morvane::texcfg {

// The main window's controls that its handlers read and write.
struct MainControls {
    QWidget *window;
    ui::DriveList *Drive1;
    ui::DirList *Dir1;
    ui::FileList *File1;
    QPushButton *Izlistaj;
    QPushButton *Command1;
    ui::MultiLineEdit *Lista;
    ui::MultiLineEdit *Text1;
    QLineEdit *txtNum;
    QLineEdit *WhatFolder;
    QLineEdit *txtComment;
    QLineEdit *txtMaska;
    QCheckBox *chkCopyToClip;
    QCheckBox *chkMp3;
    QCheckBox *chkDirektorije;
    QCheckBox *chkDatoteke;
    QCheckBox *chkMakni_ekstenziju;
    QLabel *Label3;
};

class MainHandlers : public QObject {
    Q_OBJECT

public:
    // Wires the handlers to the controls; message boxes and clipboard must outlive it.
    MainHandlers(const MainControls &controls, ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard,
                 QObject *parent = nullptr);

    // The window's load step: "Go!" starts disabled.
    void load();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void changeDrive();
    void changeFolder();
    void switchMask();
    void applyMask();
    void selectMaskExtension();
    void apply();
    void go();
    // Runs after every change of the file list's folder or pattern; nothing needs it yet.
    void FileListChanged() {}

    MainControls c;
    ui::MessageBoxes &m_messageBoxes;
    ui::Clipboard &m_clipboard;
};

} // namespace morvane::texcfg
