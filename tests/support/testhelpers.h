// Small helpers the window tests share.
#pragma once

#include <QApplication>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

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

// Runs act, once, on the next modal window to show, from within its event loop.
inline void whenModalShows(QObject *context, const std::function<void(QWidget *)> &act)
{
    auto *poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, act] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            act(modal);
        }
    });
    poll->start(10);
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
