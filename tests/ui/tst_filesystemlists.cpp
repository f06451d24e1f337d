#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

using namespace morvane::ui;
using namespace Qt::StringLiterals;
using morvane::test::listEntries;
using morvane::test::touch;

class TestFileSystemLists : public QObject {
    Q_OBJECT

private slots:
    void lists();
    void elidedNameTip();
    void browsableVolumes();
    void drives();
};

// Sub-folders in natural order as full paths, files by name, hidden ones left out; a folder that
// cannot be read keeps the old one, and pathChanged comes only when the path changes; Enter opens the
// current item, a sub-folder or one of the folders above; a folder that vanishes empties the file list.
void TestFileSystemLists::lists()
{
    QTemporaryDir dir;
    for (const char *name : {"tex10", "tex2", "Alpha", ".git"})
        QVERIFY(QDir(dir.path()).mkdir(QString::fromLatin1(name)));
    touch(dir.filePath(u"b.jpg"_s));
    DirList list;
    FileList files;
    QSignalSpy changed(&list, &DirList::pathChanged);
    QVERIFY(list.setPath(dir.path()) && files.setPath(dir.path()) && list.setPath(dir.path() + u"/"_s));
    for (const QString &unreadable : {dir.filePath(u"missing"_s), dir.filePath(u"b.jpg"_s), QString()})
        QVERIFY(!list.setPath(unreadable) && !files.setPath(unreadable));
    QCOMPARE(changed.count(), 1);
    const auto in = [&dir](const QString &name) { return QDir::toNativeSeparators(dir.filePath(name)); };
    const QString path = QDir::toNativeSeparators(dir.path());
    QCOMPARE(std::pair(list.path(), files.path()), std::pair(path, path));
    QCOMPARE(listEntries(list), (QStringList{in(u"Alpha"_s), in(u"tex2"_s), in(u"tex10"_s)}));
    QCOMPARE(listEntries(files), QStringList{u"b.jpg"_s});

    list.setCurrentItem(list.currentItem()->child(1));
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.path(), in(u"tex2"_s));
    list.setCurrentItem(list.currentItem()->parent());
    QTest::keyClick(&list, Qt::Key_Enter);
    QCOMPARE(list.path(), path);
    QCOMPARE(changed.count(), 3);
    QVERIFY(dir.remove());
    QVERIFY(!files.refresh());
    QCOMPARE(files.listCount(), 0);
}

// A name cut short shows the full path as a tool tip; a short one, or the same once the list is wide, none.
void TestFileSystemLists::elidedNameTip()
{
    QTemporaryDir dir;
    for (const char *name : {"a", "walls_and_floors_of_the_old_keep"})
        QVERIFY(QDir(dir.path()).mkdir(QString::fromLatin1(name)));
    DirList list;
    list.resize(150, 100);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list) && list.setPath(dir.path()));
    for (const auto &[entry, width, tip] : {std::tuple{0, 150, false}, std::tuple{1, 150, true}, std::tuple{1, 600, false}}) {
        list.resize(width, 100);
        const QRect rect = list.visualItemRect(list.currentItem()->child(entry));
        QHelpEvent help(QEvent::ToolTip, rect.center(), list.viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(list.viewport(), &help);
        QTRY_COMPARE(QToolTip::isVisible(), tip);
        if (tip)
            QCOMPARE(QToolTip::text(), list.list(entry));
    }
}

// Disks, sticks and shares are offered; system trees, memory and loop mounts are not.
void TestFileSystemLists::browsableVolumes()
{
    const std::pair<QString, bool> volumes[] = {
        {u"/ overlay overlay"_s, true},          {u"/media/user/STICK /dev/sdc1 vfat"_s, true},
        {u"/run/media/u/S /dev/sdc1 vfat"_s, true}, {u"/mnt/share //server/share cifs"_s, true},
        {u"/procedures /dev/sdd1 ext4"_s, true},  {u"/proc proc proc"_s, false},
        {u"/run/user/1000 tmpfs tmpfs"_s, false}, {u"/run/user/1/S /dev/sdc1 vfat"_s, false},
        {u"/mnt/iso /dev/loop0 iso9660"_s, false}};
    for (const auto &[volume, browsable] : volumes) {
        const QStringList v = volume.split(u' '); // root, device, file system type
        QVERIFY2(isBrowsableVolume(v[0], v[1], v[2]) == browsable, qPrintable(volume));
    }
}

// The drive list selects the drive that holds a path, the longest root that does; every
// system drive opens in the folder list, its sub-folders one separator after the root.
void TestFileSystemLists::drives()
{
    QTemporaryDir dir;
    const QString inner = QDir::toNativeSeparators(dir.path());
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    DriveList drives;
    drives.setDrives({{root, QString()}, {inner, u"Stick"_s}});
    QSignalSpy changed(&drives, &DriveList::driveChanged);
    drives.selectDriveOf(inner + QDir::separator() + u"sub"_s);
    QCOMPARE(drives.drive(), inner);
    drives.selectDriveOf(QDir::tempPath());
    QCOMPARE(drives.drive(), root);
    QCOMPARE(changed.count(), 0); // only the user's choice raises the change

    DirList dirs;
    for (const Drive &drive : systemDrives()) {
        QVERIFY2(dirs.setPath(drive.root), qPrintable(drive.root));
        for (const QString &entry : listEntries(dirs))
            QVERIFY2(entry.startsWith(dirs.path()) && !entry.contains(u"//"_s), qPrintable(entry));
    }
}

QTEST_MAIN(TestFileSystemLists)
#include "tst_filesystemlists.moc"
