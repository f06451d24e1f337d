// Small helpers the window tests share.
#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTest>

namespace morvane::test {

// The child of window called name, as a T; ends the test program when there is none.
template <typename T = QWidget> T *control(const QObject *window, const QString &name)
{
    T *found = window->findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

template <typename T = QWidget> T *control(const QObject *window, const char *name)
{
    return control<T>(window, QString::fromLatin1(name));
}

// Creates an empty file at path.
inline void touch(const QString &path)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

// The entries of a file or directory list, in its order.
template <typename List> QStringList listEntries(const List &list)
{
    QStringList out;
    for (int i = 0; i < list.listCount(); ++i)
        out.append(list.list(i));
    return out;
}

} // namespace morvane::test
