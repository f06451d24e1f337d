#include "ui/drivelist.h"

#include "base/paths.h"

#include <QDir>
#include <QStorageInfo>

namespace morvane::ui {

using namespace Qt::StringLiterals;

namespace {

bool isUnder(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder + u'/');
}

} // namespace

bool isBrowsableVolume(const QString &root, const QString &device, const QString &fsType)
{
    if (root == u"/")
        return true;
    static const QStringList systemTrees = {u"/proc"_s, u"/sys"_s, u"/dev"_s, u"/boot"_s,
                                            u"/snap"_s, u"/var/lib"_s, u"/etc"_s, u"/usr"_s};
    for (const QString &tree : systemTrees) {
        if (isUnder(root, tree))
            return false;
    }
    if (isUnder(root, u"/run"_s) && !isUnder(root, u"/run/media"_s))
        return false;

    static const QStringList networkTypes = {u"nfs"_s, u"nfs4"_s, u"cifs"_s, u"smb3"_s,
                                             u"smbfs"_s, u"fuse.sshfs"_s, u"9p"_s, u"afs"_s};
    if (networkTypes.contains(fsType))
        return true;
    if (device.startsWith(u"/dev/loop"))
        return false;
    if (device.startsWith(u"/dev/"))
        return true;
    return false;
}

QList<Drive> systemDrives()
{
    QList<Drive> drives;
#ifdef Q_OS_WIN
    const QFileInfoList roots = QDir::drives();
    for (const QFileInfo &root : roots)
        drives.append({QDir::toNativeSeparators(root.absoluteFilePath()), QString()});
#else
    const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &volume : volumes) {
        const QString root = volume.rootPath();
        if (!isBrowsableVolume(root, QString::fromLocal8Bit(volume.device()),
                               QString::fromLatin1(volume.fileSystemType())))
            continue;
        if (std::any_of(drives.cbegin(), drives.cend(), [&root](const Drive &d) { return d.root == root; }))
            continue;
        drives.append({root, root == u"/" ? QString() : volume.name()});
    }
    if (drives.isEmpty() || drives.constFirst().root != u"/") {
        drives.removeIf([](const Drive &d) { return d.root == u"/"; });
        drives.prepend({QStringLiteral("/"), QString()});
    }
#endif
    return drives;
}

DriveList::DriveList(QWidget *parent)
    : QComboBox(parent)
{
    connect(this, &QComboBox::activated, this, &DriveList::pickDrive);
    setDrives(systemDrives());
    selectDriveOf(QDir::currentPath());
}

QString DriveList::drive() const
{
    return currentData().toString();
}

void DriveList::setDrives(const QList<Drive> &drives)
{
    const QSignalBlocker blocker(this);
    clear();
    for (const Drive &d : drives) {
        const QString text = d.label.isEmpty() ? d.root : d.root + u"  [" + d.label + u']';
        addItem(text, d.root);
    }
    m_lastIndex = currentIndex();
}

void DriveList::selectDriveOf(const QString &path)
{
    const QString target = base::normalFolderPath(path);
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        const QString prefix = root.endsWith(QDir::separator()) ? root : root + QDir::separator();
        const bool holds = target.compare(root, base::fileNameCaseSensitivity()) == 0
                           || target.startsWith(prefix, base::fileNameCaseSensitivity());
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QSignalBlocker blocker(this);
    setCurrentIndex(best);
    m_lastIndex = best;
}

void DriveList::pickDrive(int index)
{
    if (index == m_lastIndex)
        return;
    m_lastIndex = index;
    emit driveChanged();
}

} // namespace morvane::ui
