// Small helpers the window tests share.
#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <QTest>

namespace morvane::test {

// The child of window called name, as a T; ends the test program when there is none.
template <typename T> T *control(const QObject *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// Creates an empty file at path.
inline void touch(const QString &path)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

} // namespace morvane::test
