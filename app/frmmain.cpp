#include "app/frmmain.h"

#include "app/frmabout.h"
#include "app/windows.h"
#include "convert/convertwindow.h"
#include "ui_frmmain.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenuBar>

namespace morvane::app {

FrmMain::FrmMain(ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard, QWidget *parent)
    : texcfg::MainWindow(messageBoxes, clipboard, parent)
{
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowIcon(programIcon());
    connect(m_ui->mnuExit, &QAction::triggered, this, &FrmMain::exitProgram);
    connect(m_ui->mnuImageConvert, &QAction::triggered, this, &FrmMain::showImageConvert);
    connect(m_ui->mnuAbout, &QAction::triggered, this, &FrmMain::showAbout);

    m_ui->Izlistaj->setFocus();
    adjustSize();
    setFixedSize(size());
}

FrmMain::~FrmMain()
{
    delete m_converter; // File > Exit closes it with the main window
}

void FrmMain::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::NoModifier) {
        // F10 enters the menu bar as on the desktop, opening the first menu;
        // the captions keep no access keys and the entries no shortcuts.
        menuBar()->setActiveAction(m_ui->mnuFile->menuAction());
        event->accept();
        return;
    }
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && m_ui->Izlistaj->isEnabled()) {
        m_ui->Izlistaj->animateClick();
        event->accept();
        return;
    }
    texcfg::MainWindow::keyPressEvent(event);
}

void FrmMain::exitProgram()
{
    QCoreApplication::quit();
}

void FrmMain::showImageConvert()
{
    if (m_converter) {
        m_converter->raise();
        m_converter->activateWindow();
        return;
    }
    auto converter = std::make_unique<convert::Convert>(m_messageBoxes, QCoreApplication::applicationDirPath());
    if (!converter->load())
        return; // the load step has reported why
    converter->setAttribute(Qt::WA_DeleteOnClose);
    centreOnScreen(*converter, *screen());
    m_converter = converter.release();
    m_converter->show();
}

void FrmMain::showAbout()
{
    // Loaded afresh at every showing, modal for the whole program, with no owner.
    FrmAbout about;
    about.exec();
}

} // namespace morvane::app
