// A multi-line text box whose text reads as lines joined by CR LF.
#pragma once

#include <QPlainTextEdit>

namespace morvane::ui {

class MultiLineEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit MultiLineEdit(QWidget *parent = nullptr);

    // The text as last set, unchanged, until the user edits it; after that the
    // box's lines joined by CR LF.
    QString text() const;
    void setText(const QString &text);

protected:
    // Return and Enter go to the window (its default button); Ctrl+Return starts a new line.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_text;
    bool m_textIsCurrent = true;
};

} // namespace morvane::ui
