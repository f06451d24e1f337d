#include "app/frmmain.h"

#include "app/frmabout.h"
#include "app/windows.h"
#include "convert/convertwindow.h"
#include "texcfg/mainhandlers.h"
#include "ui_frmmain.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenuBar>

namespace morvane::app {

FrmMain::FrmMain(ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::frmMain>())
    , m_messageBoxes(messageBoxes)
{
    // The font goes first: controls with a style sheet take their font when the form is set up.
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setPointSizeF(8.25);
    setFont(verdana);
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowIcon(programIcon());

    const texcfg::MainControls controls{this,
                                        m_ui->Drive1,
                                        m_ui->Dir1,
                                        m_ui->File1,
                                        m_ui->Izlistaj,
                                        m_ui->Command1,
                                        m_ui->Lista,
                                        m_ui->Text1,
                                        m_ui->txtNum,
                                        m_ui->WhatFolder,
                                        m_ui->txtComment,
                                        m_ui->txtMaska,
                                        m_ui->chkCopyToClip,
                                        m_ui->chkMp3,
                                        m_ui->chkDirektorije,
                                        m_ui->chkDatoteke,
                                        m_ui->chkMakni_ekstenziju,
                                        m_ui->Label3};
    m_handlers = new texcfg::MainHandlers(controls, messageBoxes, clipboard, this);
    connect(m_ui->mnuExit, &QAction::triggered, this, &FrmMain::exitProgram);
    connect(m_ui->mnuImageConvert, &QAction::triggered, this, &FrmMain::showImageConvert);
    connect(m_ui->mnuAbout, &QAction::triggered, this, &FrmMain::showAbout);

    m_handlers->load();
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
    QMainWindow::keyPressEvent(event);
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
