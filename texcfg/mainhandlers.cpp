#include "texcfg/mainhandlers.h"

#include "texcfg/cfgcontent.h"
#include "texcfg/mask.h"
#include "texcfg/texturelist.h"
#include "ui/clipboard.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"
#include "ui/messagebox.h"
#include "ui/multilineedit.h"

#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace morvane::texcfg {

using namespace Qt::StringLiterals;

MainHandlers::MainHandlers(const MainControls &controls, ui::MessageBoxes &messageBoxes, ui::Clipboard &clipboard,
                           QObject *parent)
    : QObject(parent)
    , c(controls)
    , m_messageBoxes(messageBoxes)
    , m_clipboard(clipboard)
{
    connect(c.Drive1, &ui::DriveList::driveChanged, this, &MainHandlers::changeDrive);
    connect(c.Dir1, &ui::DirList::pathChanged, this, &MainHandlers::changeFolder);
    connect(c.chkMp3, &QCheckBox::toggled, this, &MainHandlers::switchMask);
    connect(c.txtMaska, &QLineEdit::textChanged, this, &MainHandlers::applyMask);
    connect(c.Izlistaj, &QPushButton::clicked, this, &MainHandlers::apply);
    connect(c.Command1, &QPushButton::clicked, this, &MainHandlers::go);
    c.txtMaska->installEventFilter(this);
}

void MainHandlers::load()
{
    c.Command1->setEnabled(false);
    FileListChanged();
}

bool MainHandlers::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == c.txtMaska && event->type() == QEvent::FocusIn)
        selectMaskExtension();
    return QObject::eventFilter(watched, event);
}

void MainHandlers::changeDrive()
{
    if (!c.Dir1->setPath(c.Drive1->drive())) {
        m_messageBoxes.show(c.window, u"This Drive seems to be un-available!"_s, u"Drive Not Ready"_s,
                            ui::MessageIcon::None);
    }
}

void MainHandlers::changeFolder()
{
    c.File1->setFileName(c.Dir1->path());
    FileListChanged();
}

void MainHandlers::switchMask()
{
    c.txtMaska->setText(c.chkMp3->isChecked() ? u"*.mp3"_s : u"*.*"_s);
}

void MainHandlers::applyMask()
{
    const QString mask = c.txtMaska->text();
    const QString cleaned = CleanMask(mask);
    if (cleaned != mask)
        c.txtMaska->setText(cleaned); // raises this handler once more, on the clean text
    c.File1->setPattern(c.txtMaska->text());
    FileListChanged();
}

void MainHandlers::selectMaskExtension()
{
    if (const auto range = MaskSelection(c.txtMaska->text()))
        c.txtMaska->setSelection(range->start, range->length);
}

void MainHandlers::apply()
{
    c.Label3->setText(u" Status : "_s);

    const TextureListOptions options{c.chkDirektorije->isChecked(), c.chkDatoteke->isChecked(),
                                     c.chkDatoteke->isChecked() && c.chkMakni_ekstenziju->isChecked()};
    QStringList folders;
    if (options.listFolders) {
        const int count = c.Dir1->listCount();
        folders.reserve(count);
        for (int i = 0; i < count; ++i)
            folders.append(c.Dir1->list(i));
    }
    QStringList files;
    if (options.listFiles) {
        const int count = c.File1->listCount();
        files.reserve(count);
        for (int i = 0; i < count; ++i)
            files.append(c.File1->list(i));
    }

    c.Lista->setText(BuildTextureList(folders, c.Dir1->path(), files, options));
    c.Command1->setEnabled(true);
}

void MainHandlers::go()
{
    c.Command1->setEnabled(false);
    const QString list = c.Lista->text();
    c.Text1->setText(BuildCfgContent(list, c.txtNum->text(), c.WhatFolder->text(), c.txtComment->text()));
    if (c.chkCopyToClip->isChecked()) {
        m_clipboard.clear();
        m_clipboard.setText(c.Text1->text());
    }
    c.Label3->setText(u" Status : Done..."_s);
}

} // namespace morvane::texcfg
