// The file list: the names of one folder's files that match a pattern.
#pragma once

#include <QListView>
#include <QStringList>

class QStringListModel;

namespace morvane::ui {

class FileList : public QListView {
    Q_OBJECT

public:
    // Starts on the process's current folder with the pattern "*.*".
    explicit FileList(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Lists folder; false, with the old path kept, when it cannot be read.
    bool setPath(const QString &folder);
    // Writing a folder's full path shows that folder, as setPath does.
    bool setFileName(const QString &folder) { return setPath(folder); }

    QString pattern() const { return m_pattern; }
    // Sets the patterns ("*", "?", several separated by ";") and re-reads the list.
    void setPattern(const QString &pattern);

    int listCount() const { return int(m_names.size()); }
    // The name of listed file i, without its folder.
    QString list(int i) const { return m_names.at(i); }
    bool isSelected(int i) const;
    // The files that match the pattern but are not listed, their names not
    // being valid UTF-8: escaped, in natural order.
    QStringList leftOut() const { return m_leftOut; }

    // Re-reads the folder, so that files created since the last read appear;
    // false, with an empty list, when the folder can no longer be read.
    bool refresh();

private:
    bool readFolder(const QString &folder);

    QString m_path;
    QString m_pattern = QStringLiteral("*.*");
    QStringList m_names;
    QStringList m_leftOut;
    QStringListModel *m_model;
};

} // namespace morvane::ui
