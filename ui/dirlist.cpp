#include "ui/dirlist.h"

#include "base/folders.h"
#include "base/paths.h"

#include <QDir>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace morvane::ui {

namespace {

constexpr int PathRole = Qt::UserRole;

// The folders from the root down to path, each as its full path.
QStringList ancestry(const QString &path)
{
    QStringList chain;
    QDir dir(path);
    chain.prepend(base::normalFolderPath(dir.absolutePath()));
    while (dir.cdUp())
        chain.prepend(base::normalFolderPath(dir.absolutePath()));
    return chain;
}

// A small folder drawn here rather than taken from the style: the style's
// icons come from the icon theme, whose lookup loads every image plugin and
// costs the program's start several milliseconds.
QIcon folderIcon(bool open)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(150, 110, 30));
    painter.setBrush(QColor(240, 200, 90));
    painter.drawRoundedRect(QRectF(1.5, 2.5, 6, 3), 1, 1); // the tab
    if (open) {
        painter.drawRect(QRectF(1.5, 4.5, 12, 9));
        painter.setBrush(QColor(250, 225, 140));
        painter.drawPolygon(QPolygonF({{3.5, 7.5}, {15.5, 7.5}, {13.5, 13.5}, {1.5, 13.5}}));
    } else {
        painter.drawRect(QRectF(1.5, 4.5, 13, 9));
    }
    return QIcon(pixmap);
}

QString displayName(const QString &folder)
{
    const QString name = QDir(folder).dirName();
    return name.isEmpty() ? folder : name;
}

// A folder whose name the list cuts short shows its full path as a tool tip;
// one shown whole needs none.
class FolderDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        if (sizeHint(option, index).width() > option.rect.width())
            QToolTip::showText(event->globalPos(), index.data(PathRole).toString(), view->viewport(), option.rect);
        else
            QToolTip::hideText();
        return true;
    }
};

} // namespace

DirList::DirList(QWidget *parent)
    : QTreeWidget(parent)
    , m_openIcon(folderIcon(true))
    , m_closedIcon(folderIcon(false))
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setIndentation(10);
    setItemDelegate(new FolderDelegate(this));
    connect(this, &QTreeWidget::itemActivated, this, &DirList::openItem);
    setPath(QDir::currentPath());
}

bool DirList::setPath(const QString &folder)
{
    const QString newPath = base::normalFolderPath(folder);
    auto names = base::listSubFolders(newPath);
    if (!names)
        return false;
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
    return base::joinPath(m_path, m_subFolders.at(i));
}

void DirList::refresh()
{
    m_subFolders = base::listSubFolders(m_path).value_or(QStringList());
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
        setPath(item->data(0, PathRole).toString());
}

void DirList::rebuild()
{
    clear();

    QTreeWidgetItem *parentItem = nullptr;
    for (const QString &folder : ancestry(m_path)) {
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, displayName(folder));
        item->setIcon(0, m_openIcon);
        item->setData(0, PathRole, folder);
        parentItem = item;
    }
    QTreeWidgetItem *openFolder = parentItem;
    QList<QTreeWidgetItem *> children;
    children.reserve(m_subFolders.size());
    for (int i = 0; i < listCount(); ++i) {
        auto *item = new QTreeWidgetItem;
        item->setText(0, m_subFolders.at(i));
        item->setIcon(0, m_closedIcon);
        item->setData(0, PathRole, list(i));
        children.append(item);
    }
    openFolder->addChildren(children);
    expandAll();
    setCurrentItem(openFolder);
    scrollToItem(openFolder, QAbstractItemView::PositionAtTop);
}

} // namespace morvane::ui
