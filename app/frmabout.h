// The About window: title, version, description, feedback address and a
// credits line that scrolls through a text box.
#pragma once

#include <QDialog>

#include <memory>

class QTimer;

namespace Ui {
class frmAbout;
}

namespace morvane::app {

class FrmAbout : public QDialog {
    Q_OBJECT

public:
    // Creates and loads the window; shown with exec() and no parent it is
    // modal for the whole program and has no owner.
    explicit FrmAbout(QWidget *parent = nullptr);
    ~FrmAbout() override;

protected:
    // Esc presses "OK", as Enter does.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void load();
    // Moves the credits one character on.
    void scrollCredits();

    std::unique_ptr<Ui::frmAbout> m_ui;
    QTimer *m_marqueeTimer;
    QString m_marquee;
};

} // namespace morvane::app
