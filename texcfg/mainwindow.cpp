#include "texcfg/mainwindow.h"

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
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace morvane::texcfg {

using namespace Qt::StringLiterals;

MainWindow::MainWindow(ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::frmMain>())
    , m_messageBoxes(messageBoxes)
    , m_clipboard(clipboard)
{
    // The font goes first: controls with a style sheet take their font when the form is set up.
    QFont verdana(u"Verdana"_s);
    verdana.setPointSizeF(8.25);
    setFont(verdana);
    m_ui->setupUi(this);

    connect(m_ui->Drive1, &ui::DriveList::driveChanged, this, &MainWindow::changeDrive);
    connect(m_ui->Dir1, &ui::DirList::pathChanged, this, &MainWindow::changeFolder);
    connect(m_ui->chkMp3, &QCheckBox::toggled, this, &MainWindow::switchMask);
    connect(m_ui->txtMaska, &QLineEdit::textChanged, this, &MainWindow::applyMask);
    connect(m_ui->Izlistaj, &QPushButton::clicked, this, &MainWindow::apply);
    connect(m_ui->Command1, &QPushButton::clicked, this, &MainWindow::go);
    m_ui->txtMaska->installEventFilter(this);
    load();
}

MainWindow::~MainWindow() = default;

void MainWindow::load()
{
    m_ui->Command1->setEnabled(false);
    FileListChanged();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->txtMaska && event->type() == QEvent::FocusIn)
        selectMaskExtension();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeDrive()
{
    if (!m_ui->Dir1->setPath(m_ui->Drive1->drive())) {
        m_messageBoxes.show(this, u"This Drive seems to be un-available!"_s, u"Drive Not Ready"_s,
                            ui::MessageIcon::None);
    }
}

void MainWindow::changeFolder()
{
    m_ui->File1->setFileName(m_ui->Dir1->path());
    FileListChanged();
}

void MainWindow::switchMask()
{
    m_ui->txtMaska->setText(m_ui->chkMp3->isChecked() ? u"*.mp3"_s : u"*.*"_s);
}

void MainWindow::applyMask()
{
    const QString mask = m_ui->txtMaska->text();
    const QString cleaned = CleanMask(mask);
    if (cleaned != mask)
        m_ui->txtMaska->setText(cleaned); // raises this handler once more, on the clean text
    m_ui->File1->setPattern(m_ui->txtMaska->text());
    FileListChanged();
}

void MainWindow::selectMaskExtension()
{
    if (const auto range = MaskSelection(m_ui->txtMaska->text()))
        m_ui->txtMaska->setSelection(range->start, range->length);
}

void MainWindow::apply()
{
    m_ui->Label3->setText(u" Status : "_s);

    const TextureListOptions options{m_ui->chkDirektorije->isChecked(), m_ui->chkDatoteke->isChecked(),
                                     m_ui->chkDatoteke->isChecked() && m_ui->chkMakni_ekstenziju->isChecked()};
    QStringList folders;
    if (options.listFolders) {
        const int count = m_ui->Dir1->listCount();
        folders.reserve(count);
        for (int i = 0; i < count; ++i)
            folders.append(m_ui->Dir1->list(i));
    }
    QStringList files;
    if (options.listFiles) {
        const int count = m_ui->File1->listCount();
        files.reserve(count);
        for (int i = 0; i < count; ++i)
            files.append(m_ui->File1->list(i));
    }

    m_ui->Lista->setText(BuildTextureList(folders, m_ui->Dir1->path(), files, options));
    m_ui->Command1->setEnabled(true);
}

void MainWindow::go()
{
    m_ui->Command1->setEnabled(false);
    const QString list = m_ui->Lista->text();
    m_ui->Text1->setText(BuildCfgContent(list, m_ui->txtNum->text(), m_ui->WhatFolder->text(), m_ui->txtComment->text()));
    if (m_ui->chkCopyToClip->isChecked()) {
        m_clipboard.clear();
        m_clipboard.setText(m_ui->Text1->text());
    }
    m_ui->Label3->setText(u" Status : Done..."_s);
}

} // namespace morvane::texcfg
