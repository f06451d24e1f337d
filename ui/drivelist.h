// The drive list: the places a user starts browsing from.
#pragma once

#include <QComboBox>
#include <QList>
#include <QString>

namespace morvane::ui {

struct Drive {
    QString root;  // a path the directory list accepts as its Path
    QString label; // the volume's name, may be empty
};

// True for volumes a user browses: the root, other disks, removable media and
// network mounts; false for pseudo and system file systems.
bool isBrowsableVolume(const QString &root, const QString &device, const QString &fsType);

// The browsable drives of this machine: the root and mounted volumes on Linux,
// drive letters on Windows.
QList<Drive> systemDrives();

class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(QWidget *parent = nullptr);

    // The selected drive, a string the directory list accepts unchanged as its Path.
    QString drive() const;

    void setDrives(const QList<Drive> &drives);
    // Selects the drive that holds path, without raising driveChanged.
    void selectDriveOf(const QString &path);

signals:
    // The user selected another drive.
    void driveChanged();

private:
    void pickDrive(int index);

    int m_lastIndex = -1;
};

} // namespace morvane::ui
