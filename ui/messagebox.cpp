#include "ui/messagebox.h"

#include <QMessageBox>

namespace morvane::ui {

void QtMessageBoxes::show(QWidget *parent, const QString &text, const QString &title, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, title, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

} // namespace morvane::ui
