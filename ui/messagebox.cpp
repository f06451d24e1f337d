#include "ui/messagebox.h"

#include <QMessageBox>

namespace morvane::ui {

void QtMessageBoxes::show(QWidget *parent, const QString &text, const QString &title, MessageIcon icon)
{
    const QMessageBox::Icon shown = icon == MessageIcon::Critical      ? QMessageBox::Critical
                                    : icon == MessageIcon::Information ? QMessageBox::Information
                                                                       : QMessageBox::NoIcon;
    QMessageBox box(shown, title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace morvane::ui
