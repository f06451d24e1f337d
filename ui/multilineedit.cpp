#include "ui/multilineedit.h"

#include <QKeyEvent>

namespace morvane::ui {

using namespace Qt::StringLiterals;

MultiLineEdit::MultiLineEdit(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { m_textIsCurrent = false; });
}

QString MultiLineEdit::text() const
{
    if (m_textIsCurrent)
        return m_text;
    QString lines = toPlainText();
    lines.replace(u'\n', "\r\n"_L1);
    return lines;
}

void MultiLineEdit::setText(const QString &text)
{
    QString shown = text;
    shown.replace("\r\n"_L1, "\n"_L1);
    setPlainText(shown);
    m_text = text;
    m_textIsCurrent = true;
}

void MultiLineEdit::keyPressEvent(QKeyEvent *event)
{
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && event->modifiers().testFlag(Qt::ControlModifier)) {
        insertPlainText(u"\n"_s);
        event->accept();
        return;
    }
    if (isReturn) {
        event->ignore();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace morvane::ui
