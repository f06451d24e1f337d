#include "app/frmmain.h"

#include "app/convertwindow.h"
#include "app/frmabout.h"
#include "app/frmoptions.h"
#include "app/windowframe.h"
#include "texcfg/cfgcontent.h"
#include "texcfg/mask.h"
#include "texcfg/texturelist.h"
#include "ui/clipboard.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"
#include "ui/messagebox.h"
#include "ui/multilineedit.h"
#include "ui_frmmain.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

namespace morvane::app {

using namespace Qt::StringLiterals;

FrmMain::FrmMain(ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::frmMain>())
    , m_messageBoxes(messageBoxes)
    , m_clipboard(clipboard)
{
    // The font goes first: controls with a style sheet take their font when the form is set up.
    setFont(formFont(u"Verdana"_s, 8.25));
    m_ui->setupUi(this);

    connect(m_ui->Drive1, &ui::DriveList::driveChanged, this, &FrmMain::changeDrive);
    connect(m_ui->Dir1, &ui::DirList::pathChanged, this, &FrmMain::changeFolder);
    connect(m_ui->chkMp3, &QCheckBox::toggled, this, &FrmMain::switchMask);
    connect(m_ui->txtMaska, &QLineEdit::textChanged, this, &FrmMain::applyMask);
    connect(m_ui->Izlistaj, &QPushButton::clicked, this, &FrmMain::apply);
    connect(m_ui->Command1, &QPushButton::clicked, this, &FrmMain::go);
    m_ui->txtMaska->installEventFilter(this);
    connect(m_ui->mnuExit, &QAction::triggered, this, &FrmMain::exitProgram);
    connect(m_ui->mnuImageConvert, &QAction::triggered, this, &FrmMain::showImageConvert);
    connect(m_ui->mnuConversionOptions, &QAction::triggered, this, &FrmMain::showConversionOptions);
    connect(m_ui->mnuAbout, &QAction::triggered, this, &FrmMain::showAbout);
    load();

    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowIcon(programIcon());
    m_ui->Izlistaj->setFocus();
    adjustSize();
    setFixedSize(size());
}

FrmMain::~FrmMain()
{
    delete m_converter; // File > Exit closes it with the main window
}

void FrmMain::load()
{
    m_ui->Command1->setEnabled(false);
    FileListChanged();
}

bool FrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->txtMaska && event->type() == QEvent::FocusIn)
        selectMaskExtension();
    return QMainWindow::eventFilter(watched, event);
}

void FrmMain::changeDrive()
{
    followDrive(*m_ui->Drive1, *m_ui->Dir1, m_messageBoxes, this);
}

void FrmMain::changeFolder()
{
    m_ui->File1->setFileName(m_ui->Dir1->path());
    FileListChanged();
}

void FrmMain::switchMask()
{
    m_ui->txtMaska->setText(m_ui->chkMp3->isChecked() ? u"*.mp3"_s : u"*.*"_s);
}

void FrmMain::applyMask()
{
    const QString mask = m_ui->txtMaska->text();
    const QString cleaned = texcfg::CleanMask(mask);
    if (cleaned != mask)
        m_ui->txtMaska->setText(cleaned); // raises this handler once more, on the clean text
    m_ui->File1->setPattern(m_ui->txtMaska->text());
    FileListChanged();
}

void FrmMain::selectMaskExtension()
{
    if (const auto range = texcfg::MaskSelection(m_ui->txtMaska->text()))
        m_ui->txtMaska->setSelection(range->start, range->length);
}

void FrmMain::apply()
{
    m_ui->Label3->setText(u" Status : "_s);

    const texcfg::TextureListOptions options{m_ui->chkDirektorije->isChecked(), m_ui->chkDatoteke->isChecked(),
                                     m_ui->chkDatoteke->isChecked() && m_ui->chkMakni_ekstenziju->isChecked()};
    const QStringList folders = options.listFolders ? entriesOf(*m_ui->Dir1) : QStringList();
    const QStringList files = options.listFiles ? entriesOf(*m_ui->File1) : QStringList();

    m_ui->Lista->setText(texcfg::BuildTextureList(folders, m_ui->Dir1->path(), files, options));
    m_ui->Command1->setEnabled(true);
}

void FrmMain::go()
{
    m_ui->Command1->setEnabled(false);
    const QString list = m_ui->Lista->text();
    m_ui->Text1->setText(texcfg::BuildCfgContent(list, m_ui->txtNum->text(), m_ui->WhatFolder->text(), m_ui->txtComment->text()));
    if (m_ui->chkCopyToClip->isChecked()) {
        m_clipboard.clear();
        m_clipboard.setText(m_ui->Text1->text());
    }
    m_ui->Label3->setText(u" Status : Done..."_s);
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
    auto converter = std::make_unique<Convert>(m_messageBoxes, QCoreApplication::applicationDirPath(), m_choices);
    if (!converter->load())
        return; // the load step has reported why
    converter->setAttribute(Qt::WA_DeleteOnClose);
    centreOnScreen(*converter, *screen());
    m_converter = converter.release();
    m_converter->show();
}

void FrmMain::showConversionOptions()
{
    FrmOptions dialog(m_messageBoxes, *m_choices, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    *m_choices = dialog.choices();
    if (m_converter)
        m_converter->showChoices();
}

void FrmMain::showAbout()
{
    // Loaded afresh at every showing, modal for the whole program, with no owner.
    FrmAbout about;
    about.exec();
}

} // namespace morvane::app
