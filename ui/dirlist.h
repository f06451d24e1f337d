// The directory list: the way from the root down to the open folder, then the
// open folder's sub-folders, which are its entries.
#pragma once

#include <QIcon>
#include <QStringList>
#include <QTreeWidget>

namespace morvane::ui {

class DirList : public QTreeWidget {
    Q_OBJECT

public:
    // Starts on the process's current folder.
    explicit DirList(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Opens folder; false, with the old path kept, when it cannot be read.
    // Raises pathChanged when the path changes.
    bool setPath(const QString &folder);

    int listCount() const { return int(m_subFolders.size()); }
    // The full path of sub-folder i: path, a separator unless path ends in one, and its name.
    QString list(int i) const;

    // Re-reads the open folder.
    void refresh();

signals:
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void openItem(QTreeWidgetItem *item);
    void rebuild();

    const QIcon m_openIcon;
    const QIcon m_closedIcon;
    QString m_path;
    QStringList m_subFolders; // names, sorted
};

} // namespace morvane::ui
