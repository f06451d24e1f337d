// The image converter window: browsing, filters, and converting the listed
// images into copies beside them.
#pragma once

#include "app/conversionchoices.h"

#include <QWidget>

#include <memory>

class QTimer;

namespace Ui {
class Convert;
}

namespace morvane::ui {
class MessageBoxes;
}

namespace morvane::app {

// Numbers shown with a failed load step, one for each kind of failure.
enum class LoadFailure {
    AccessDenied = 75, // the program's folder exists but cannot be listed
    PathNotFound = 76, // the program's folder does not exist
};

class Convert : public QWidget {
    Q_OBJECT

public:
    // programFolder is where both file lists start; each run takes choices as
    // they are then (the defaults when null).
    Convert(ui::MessageBoxes &messageBoxes, const QString &programFolder,
            std::shared_ptr<const ConversionChoices> choices = nullptr, QWidget *parent = nullptr);
    ~Convert() override;

    // The load step; on failure it reports the failure and returns false, and
    // the window is not to be shown.
    bool load();

    // Shows the choices that are not their defaults in the status line
    // whenever it has nothing else to tell, and as its tool tip.
    void showChoices();

private:
    // "Go!": converts the selected image, or all of them when "Convert all images" is ticked.
    void ConvertSelected();
    // Converts every listed image.
    void ConvertAll();
    // Runs work with "Go!" disabled, as both buttons' handlers do.
    template <typename Work>
    void withGoDisabled(Work work);
    void convertListed();
    // Converts entries and tells the outcome; leftOut are the files of the
    // run that the source list leaves out, told as skipped.
    void convertAndReport(const QStringList &entries, bool plural, const QStringList &leftOut = {});
    void showNothingToDo();
    void changeDrive();
    void changeFolder();
    void filterSource(int index);
    void filterDest(int index);
    void refreshAll();
    void clearStatus();
    // Sets the clear timer's interval; 0 stops it.
    void setClearTimer(int milliseconds);

    std::unique_ptr<Ui::Convert> m_ui;
    ui::MessageBoxes &m_messageBoxes;
    QString m_programFolder;
    QTimer *m_clearTimer;
    std::shared_ptr<const ConversionChoices> m_choices;
    QString m_choicesText; // the status line's text when it has nothing else to tell
};

} // namespace morvane::app
