#include "ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace morvane::ui {

void QtClipboard::clear()
{
    QGuiApplication::clipboard()->clear();
}

void QtClipboard::setText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

} // namespace morvane::ui
