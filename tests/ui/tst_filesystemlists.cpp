#include "support/testhelpers.h"
#include "ui/dirlist.h"
#include "ui/drivelist.h"
#include "ui/filelist.h"
#include "base/namepattern.h"
#include "base/paths.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace morvane::base;
using namespace morvane::ui;
using namespace Qt::StringLiterals;
using morvane::test::listEntries;
using morvane::test::touch;

class TestFileSystemLists : public QObject {
    Q_OBJECT

private slots:
    void fileListPatternAndHidden();
    void fileListMissingFolderKeepsPath();
    void dirListEntriesAndSignal();
    void dirListMissingFolderKeepsPath();
    void dirListAtRoot();
    void dirListEnterOpensFolder();
    void browsableVolumes();
    void driveListSelectsDriveOfPath();
};

void TestFileSystemLists::fileListPatternAndHidden()
{
    QTemporaryDir dir;
    for (const char *name : {"b.jpg", "A.JPG", "c.png", "README", ".hidden.jpg"})
        touch(dir.filePath(QString::fromLatin1(name)));
    QVERIFY(QDir(dir.path()).mkdir(u"folder.jpg"_s));

    FileList list;
    QVERIFY(list.setPath(dir.path()));
    QCOMPARE(list.pattern(), u"*.*"_s);
    QCOMPARE(listEntries(list), (QStringList{u"A.JPG"_s, u"b.jpg"_s, u"c.png"_s}));

    list.setPattern(u"*.jpg"_s);
    QCOMPARE(listEntries(list), (QStringList{u"A.JPG"_s, u"b.jpg"_s}));
    list.setPattern(u"*"_s);
    QCOMPARE(listEntries(list), (QStringList{u"A.JPG"_s, u"b.jpg"_s, u"c.png"_s, u"README"_s}));
    list.setPattern(QString());
    QCOMPARE(list.listCount(), 0);
}

void TestFileSystemLists::fileListMissingFolderKeepsPath()
{
    QTemporaryDir dir;
    touch(dir.filePath(u"a.jpg"_s));
    FileList list;
    QVERIFY(list.setPath(dir.path()));
    QVERIFY(!list.setPath(dir.filePath(u"missing"_s)));
    QVERIFY(!list.setPath(dir.filePath(u"a.jpg"_s))); // a file, not a folder
    QCOMPARE(list.path(), QDir::toNativeSeparators(dir.path()));
    QCOMPARE(listEntries(list), QStringList{u"a.jpg"_s});

    // The folder vanishing under the list empties it on the next refresh.
    QVERIFY(dir.remove());
    QVERIFY(!list.refresh());
    QCOMPARE(list.listCount(), 0);
}

void TestFileSystemLists::dirListEntriesAndSignal()
{
    QTemporaryDir dir;
    QDir root(dir.path());
    for (const char *name : {"tex10", "tex2", "Alpha", ".git"})
        QVERIFY(root.mkdir(QString::fromLatin1(name)));
    touch(dir.filePath(u"file.jpg"_s));

    DirList list;
    QSignalSpy changed(&list, &DirList::pathChanged);
    QVERIFY(list.setPath(dir.path()));
    QCOMPARE(changed.count(), 1);
    const QString path = QDir::toNativeSeparators(dir.path());
    QCOMPARE(list.path(), path);
    QCOMPARE(listEntries(list), (QStringList{joinPath(path, u"Alpha"_s), joinPath(path, u"tex2"_s),
                                         joinPath(path, u"tex10"_s)}));

    QVERIFY(list.setPath(dir.path() + u"/"_s)); // same folder: no change
    QCOMPARE(changed.count(), 1);
    QVERIFY(list.setPath(list.list(0)));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(list.listCount(), 0);
}

void TestFileSystemLists::dirListMissingFolderKeepsPath()
{
    QTemporaryDir dir;
    DirList list;
    QVERIFY(list.setPath(dir.path()));
    QSignalSpy changed(&list, &DirList::pathChanged);
    QVERIFY(!list.setPath(dir.filePath(u"missing"_s)));
    QVERIFY(!list.setPath(QString()));
    QCOMPARE(list.path(), QDir::toNativeSeparators(dir.path()));
    QCOMPARE(changed.count(), 0);
}

void TestFileSystemLists::dirListAtRoot()
{
    DirList list;
    QVERIFY(list.setPath(QDir::rootPath()));
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    QCOMPARE(list.path(), root);
    QVERIFY(list.listCount() > 0);
    for (int i = 0; i < list.listCount(); ++i) {
        const QString entry = list.list(i);
        QVERIFY2(entry.startsWith(root), qPrintable(entry));
        QVERIFY2(!entry.mid(root.size()).startsWith(QDir::separator()), qPrintable(entry)); // one separator only
        QVERIFY(QFileInfo(entry).isDir());
    }
}

void TestFileSystemLists::dirListEnterOpensFolder()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"inner"_s));
    DirList list;
    QVERIFY(list.setPath(dir.path()));
    // The tree shows the folders above, the open folder, then its sub-folder.
    QTreeWidgetItem *open = list.currentItem();
    QVERIFY(open);
    QCOMPARE(open->childCount(), 1);
    list.setCurrentItem(open->child(0));
    QSignalSpy changed(&list, &DirList::pathChanged);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(list.path(), QDir::toNativeSeparators(dir.filePath(u"inner"_s)));

    // An item above the open folder goes back up.
    QTreeWidgetItem *parentItem = list.currentItem()->parent();
    QVERIFY(parentItem);
    list.setCurrentItem(parentItem);
    QTest::keyClick(&list, Qt::Key_Enter);
    QCOMPARE(list.path(), QDir::toNativeSeparators(dir.path()));
}

// Disks, sticks and shares are offered; system trees, memory and loop mounts are not.
void TestFileSystemLists::browsableVolumes()
{
    QVERIFY(isBrowsableVolume(u"/"_s, u"overlay"_s, u"overlay"_s));
    QVERIFY(isBrowsableVolume(u"/media/user/STICK"_s, u"/dev/sdc1"_s, u"vfat"_s));
    QVERIFY(isBrowsableVolume(u"/run/media/user/STICK"_s, u"/dev/sdc1"_s, u"vfat"_s));
    QVERIFY(isBrowsableVolume(u"/mnt/share"_s, u"//server/share"_s, u"cifs"_s));
    QVERIFY(isBrowsableVolume(u"/procedures"_s, u"/dev/sdd1"_s, u"ext4"_s)); // beside a system tree, not in it
    QVERIFY(!isBrowsableVolume(u"/proc"_s, u"proc"_s, u"proc"_s));
    QVERIFY(!isBrowsableVolume(u"/tmp"_s, u"tmpfs"_s, u"tmpfs"_s));
    QVERIFY(!isBrowsableVolume(u"/run/user/1000"_s, u"tmpfs"_s, u"tmpfs"_s));
    QVERIFY(!isBrowsableVolume(u"/mnt/iso"_s, u"/dev/loop0"_s, u"iso9660"_s));
}

void TestFileSystemLists::driveListSelectsDriveOfPath()
{
    QTemporaryDir dir;
    const QString inner = QDir::toNativeSeparators(dir.path());
    DriveList drives;
    drives.setDrives({{QDir::toNativeSeparators(QDir::rootPath()), QString()}, {inner, u"Stick"_s}});
    QSignalSpy changed(&drives, &DriveList::driveChanged);
    drives.selectDriveOf(inner + QDir::separator() + u"sub"_s);
    QCOMPARE(drives.drive(), inner);
    drives.selectDriveOf(QDir::tempPath());
    QCOMPARE(drives.drive(), QDir::toNativeSeparators(QDir::rootPath()));
    QCOMPARE(changed.count(), 0); // only the user's choice raises the change

    // Every system drive is one the directory list accepts.
    DirList dirs;
    for (const Drive &drive : systemDrives())
        QVERIFY2(dirs.setPath(drive.root), qPrintable(drive.root));
}

QTEST_MAIN(TestFileSystemLists)
#include "tst_filesystemlists.moc"
