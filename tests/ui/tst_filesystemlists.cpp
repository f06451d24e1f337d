#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace morvane::ui;
using namespace Qt::StringLiterals;
using morvane::test::listEntries;
using morvane::test::touch;

class TestFileSystemLists : public QObject {
    Q_OBJECT

private slots:
    void fileListKeepsOrEmpties();
    void dirList();
    void browsableVolumes();
    void drives();
};

// A folder that cannot be read keeps the old one listed; one that vanishes empties the list.
void TestFileSystemLists::fileListKeepsOrEmpties()
{
    QTemporaryDir dir;
    touch(dir.filePath(u"b.jpg"_s));
    FileList list;
    QVERIFY(list.setPath(dir.path()));
    QVERIFY(!list.setPath(dir.filePath(u"missing"_s)));
    QVERIFY(!list.setPath(dir.filePath(u"b.jpg"_s))); // a file, not a folder
    QCOMPARE(list.path(), QDir::toNativeSeparators(dir.path()));
    QCOMPARE(listEntries(list), QStringList{u"b.jpg"_s});
    QVERIFY(dir.remove());
    QVERIFY(!list.refresh());
    QCOMPARE(list.listCount(), 0);
}

// Sub-folders in natural order as full paths; pathChanged only when the path changes;
// Enter opens the current item, a sub-folder or one of the folders above.
void TestFileSystemLists::dirList()
{
    QTemporaryDir dir;
    for (const char *name : {"tex10", "tex2", "Alpha", ".git"})
        QVERIFY(QDir(dir.path()).mkdir(QString::fromLatin1(name)));
    DirList list;
    QSignalSpy changed(&list, &DirList::pathChanged);
    QVERIFY(list.setPath(dir.path()));
    QVERIFY(list.setPath(dir.path() + u"/"_s));
    QVERIFY(!list.setPath(dir.filePath(u"missing"_s)));
    QVERIFY(!list.setPath(QString()));
    QCOMPARE(changed.count(), 1);
    const QString path = QDir::toNativeSeparators(dir.path());
    QCOMPARE(list.path(), path);
    const auto in = [&dir](const QString &name) { return QDir::toNativeSeparators(dir.filePath(name)); };
    QCOMPARE(listEntries(list), (QStringList{in(u"Alpha"_s), in(u"tex2"_s), in(u"tex10"_s)}));

    list.setCurrentItem(list.currentItem()->child(1));
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.path(), in(u"tex2"_s));
    QCOMPARE(list.listCount(), 0);
    list.setCurrentItem(list.currentItem()->parent());
    QTest::keyClick(&list, Qt::Key_Enter);
    QCOMPARE(list.path(), path);
    QCOMPARE(changed.count(), 3);
}

// Disks, sticks and shares are offered; system trees, memory and loop mounts are not.
void TestFileSystemLists::browsableVolumes()
{
    const QStringList volumes[] = {
        {u"/"_s, u"overlay"_s, u"overlay"_s, u"yes"_s},        {u"/media/user/STICK"_s, u"/dev/sdc1"_s, u"vfat"_s, u"yes"_s},
        {u"/run/media/u/S"_s, u"/dev/sdc1"_s, u"vfat"_s, u"yes"_s}, {u"/mnt/share"_s, u"//server/share"_s, u"cifs"_s, u"yes"_s},
        {u"/procedures"_s, u"/dev/sdd1"_s, u"ext4"_s, u"yes"_s},  {u"/proc"_s, u"proc"_s, u"proc"_s, u"no"_s},
        {u"/run/user/1000"_s, u"tmpfs"_s, u"tmpfs"_s, u"no"_s},   {u"/run/user/1/S"_s, u"/dev/sdc1"_s, u"vfat"_s, u"no"_s},
        {u"/mnt/iso"_s, u"/dev/loop0"_s, u"iso9660"_s, u"no"_s}};
    for (const QStringList &v : volumes)
        QVERIFY2(isBrowsableVolume(v[0], v[1], v[2]) == (v[3] == u"yes"_s), qPrintable(v.join(u' ')));
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
            QVERIFY2(entry.startsWith(dirs.path()) && !entry.contains(QString(2, QDir::separator())), qPrintable(entry));
    }
}

QTEST_MAIN(TestFileSystemLists)
#include "tst_filesystemlists.moc"
