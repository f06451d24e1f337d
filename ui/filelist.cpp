#include "ui/filelist.h"

#include "base/folders.h"
#include "base/paths.h"

#include <QDir>
#include <QStringListModel>

namespace morvane::ui {

FileList::FileList(QWidget *parent)
    : QListView(parent)
    , m_model(new QStringListModel(this))
{
    setModel(m_model);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setPath(QDir::currentPath());
}

bool FileList::setPath(const QString &folder)
{
    return readFolder(base::normalFolderPath(folder));
}

void FileList::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    refresh();
}

bool FileList::isSelected(int i) const
{
    return selectionModel()->isRowSelected(i, QModelIndex());
}

bool FileList::refresh()
{
    if (readFolder(m_path))
        return true;
    m_names.clear();
    m_leftOut.clear();
    m_model->setStringList(m_names);
    return false;
}

bool FileList::readFolder(const QString &folder)
{
    QStringList leftOut;
    auto names = base::listFiles(folder, m_pattern, &leftOut);
    if (!names)
        return false;
    m_path = folder;
    m_names = std::move(*names);
    m_leftOut = std::move(leftOut);
    m_model->setStringList(m_names);
    return true;
}

} // namespace morvane::ui
