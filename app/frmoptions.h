// The Conversion Options dialog: the converter's choices beyond its window's
// controls, shown as given and handed back as the user leaves them.
#pragma once

#include "app/conversionchoices.h"

#include <QDialog>

#include <memory>

namespace Ui {
class frmOptions;
}

namespace morvane::ui {
class MessageBoxes;
}

namespace morvane::app {

class FrmOptions : public QDialog {
    Q_OBJECT

public:
    // Shows choices; message boxes must outlive the dialog.
    FrmOptions(ui::MessageBoxes &messageBoxes, const ConversionChoices &choices, QWidget *parent = nullptr);
    ~FrmOptions() override;

    // The choices as the controls show them, the output folder made absolute.
    ConversionChoices choices() const;

    // OK: closes the dialog unless the output folder cannot take copies.
    void accept() override;

private:
    void showChoices(const ConversionChoices &choices);
    void restoreDefaults();
    void browseOutputFolder();
    // Enables the fields that only count with another choice made.
    void enableDependentFields();

    std::unique_ptr<Ui::frmOptions> m_ui;
    ui::MessageBoxes &m_messageBoxes;
};

} // namespace morvane::app
