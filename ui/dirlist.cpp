#include "ui/dirlist.h"

#include "ui/fsentries.h"

#include <QDir>
#include <QKeyEvent>
#include <QStyle>

namespace morvane::ui {

namespace {

constexpr int pathRole = Qt::UserRole;

// The folders from the root down to path, each as its full path.
QStringList ancestry(const QString &path)
{
    QStringList chain;
    QDir dir(path);
    chain.prepend(normalFolderPath(dir.absolutePath()));
    while (dir.cdUp())
        chain.prepend(normalFolderPath(dir.absolutePath()));
    return chain;
}

QString displayName(const QString &folder)
{
    const QString name = QDir(folder).dirName();
    return name.isEmpty() ? folder : name;
}

} // namespace

DirList::DirList(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setIndentation(10);
    connect(this, &QTreeWidget::itemActivated, this, &DirList::openItem);
    setPath(QDir::currentPath());
}

bool DirList::setPath(const QString &folder)
{
    if (!isReadableFolder(folder))
        return false;
    const QString newPath = normalFolderPath(folder);
    auto names = listFolder(newPath, EntryKind::Folders);
    if (!names)
        return false;
    sortNaturally(*names);
    const bool changed = newPath != m_path;
    m_path = newPath;
    m_subFolders = std::move(*names);
    rebuild();
    if (changed)
        emit pathChanged();
    return true;
}

QString DirList::list(int i) const
{
    return joinPath(m_path, m_subFolders.at(i));
}

void DirList::refresh()
{
    auto names = listFolder(m_path, EntryKind::Folders);
    m_subFolders = names ? std::move(*names) : QStringList();
    sortNaturally(m_subFolders);
    rebuild();
}

void DirList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (QTreeWidgetItem *item = currentItem()) {
            openItem(item);
            event->accept();
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

void DirList::openItem(QTreeWidgetItem *item)
{
    if (item)
        setPath(item->data(0, pathRole).toString());
}

void DirList::rebuild()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirIcon);

    QTreeWidgetItem *parentItem = nullptr;
    for (const QString &folder : ancestry(m_path)) {
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, displayName(folder));
        item->setIcon(0, openIcon);
        item->setData(0, pathRole, folder);
        parentItem = item;
    }
    QTreeWidgetItem *openFolder = parentItem;
    QList<QTreeWidgetItem *> children;
    children.reserve(m_subFolders.size());
    for (int i = 0; i < listCount(); ++i) {
        auto *item = new QTreeWidgetItem;
        item->setText(0, m_subFolders.at(i));
        item->setIcon(0, closedIcon);
        item->setData(0, pathRole, list(i));
        children.append(item);
    }
    openFolder->addChildren(children);
    expandAll();
    setCurrentItem(openFolder);
    scrollToItem(openFolder, QAbstractItemView::PositionAtTop);
}

} // namespace morvane::ui
