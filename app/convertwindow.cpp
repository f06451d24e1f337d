#include "app/convertwindow.h"

#include "app/conversionrun.h"
#include "app/windowframe.h"
#include "appinfo.h"
#include "base/folders.h"
#include "convert/filters.h"
#include "ui/messagebox.h"
#include "ui_convert.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

namespace morvane::app {

using namespace convert;

using namespace Qt::StringLiterals;

namespace {

constexpr int ClearAfterMs = 4000;

const QStringList SourceFilters{u"*.*"_s, u".bmp"_s, u".gif"_s, u".jpg"_s, u".wmf"_s};
const QStringList DestFormats{u".bmp"_s, u".gif"_s, u".jpg"_s, u".wmf"_s};

void fillCombo(QComboBox *combo, const QStringList &entries, const QString &prompt)
{
    combo->addItems(entries);
    combo->setCurrentIndex(-1);
    combo->setEditText(prompt);
}

// Typed text stays as typed: no completion, and ending an edit (Enter, Tab,
// a click elsewhere) does not turn the text into the entry it matches. So
// only a pick from the list, by mouse or by the arrow keys on the closed
// box, raises activated.
void keepTypedText(QComboBox *combo)
{
    combo->setCompleter(nullptr);
    QObject::disconnect(combo->lineEdit(), &QLineEdit::editingFinished, combo, nullptr);
}

// Adds the files that the source list leaves out, their names not being
// valid UTF-8, to report as skipped, after the entries converted.
void addLeftOut(ConversionReport &report, const QStringList &leftOut)
{
    for (const QString &name : leftOut)
        report.entries.append({name, QString(), Outcome::Skipped, QString::fromUtf16(base::NotUtf8Reason)});
    report.skipped += int(leftOut.size());
}

} // namespace

Convert::Convert(ui::MessageBoxes &messageBoxes, const QString &programFolder,
                 std::shared_ptr<const ConversionChoices> choices, QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::Convert>())
    , m_messageBoxes(messageBoxes)
    , m_programFolder(programFolder)
    , m_clearTimer(new QTimer(this))
    , m_choices(choices ? std::move(choices) : std::make_shared<const ConversionChoices>())
{
    // The window's default font, set before the form so its controls inherit it.
    setFont(formFont(u"MS Sans Serif"_s, 8.25));
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    m_clearTimer->setObjectName(u"Timer1"_s);
    m_ui->File2->setPattern(u"*.bmp*"_s);
    keepTypedText(m_ui->Combo1);
    keepTypedText(m_ui->Combo2);

    connect(m_ui->Drive1, &ui::DriveList::driveChanged, this, &Convert::changeDrive);
    connect(m_ui->Dir1, &ui::DirList::pathChanged, this, &Convert::changeFolder);
    connect(m_ui->Combo1, &QComboBox::activated, this, &Convert::filterSource);
    connect(m_ui->Combo2, &QComboBox::activated, this, &Convert::filterDest);
    connect(m_ui->Command1, &QPushButton::clicked, this, &Convert::refreshAll);
    connect(m_ui->cmd1, &QPushButton::clicked, this, &Convert::ConvertSelected);
    connect(m_ui->cmd2, &QPushButton::clicked, this, &Convert::ConvertAll);
    connect(m_clearTimer, &QTimer::timeout, this, &Convert::clearStatus);
}

Convert::~Convert() = default;

bool Convert::load()
{
    fillCombo(m_ui->Combo1, SourceFilters, u"Select Source"_s);
    fillCombo(m_ui->Combo2, DestFormats, u"Select Dest"_s);

    if (!m_ui->Dir1->setPath(m_programFolder)) {
        const bool exists = QFileInfo::exists(m_programFolder);
        const QString description = exists ? u"Path/File access error"_s : u"Path not found"_s;
        const LoadFailure failure = exists ? LoadFailure::AccessDenied : LoadFailure::PathNotFound;
        m_messageBoxes.show(this, description + u" error code "_s + QString::number(int(failure)),
                            appinfo::errorTitle(), ui::MessageIcon::Critical);
        return false;
    }
    // Dir1's change has moved both lists when the folder changed; otherwise
    // they are moved here.
    m_ui->File1->setPath(m_programFolder);
    m_ui->File2->setPath(m_programFolder);
    m_ui->File1->setFocus();
    showChoices();
    return true;
}

void Convert::showChoices()
{
    const QStringList said = describeChoices(*m_choices);
    const bool idle = m_ui->Label1->text() == m_choicesText;
    m_choicesText = said.isEmpty() ? QString() : u" Options: "_s + said.join(u", "_s);
    if (idle)
        m_ui->Label1->setText(m_choicesText);
    m_ui->Label1->setToolTip(said.isEmpty() ? QString() : u"Conversion options: "_s + said.join(u", "_s));
}

template <typename Work>
void Convert::withGoDisabled(Work work)
{
    m_ui->cmd1->setEnabled(false);
    work();
    m_ui->cmd1->setEnabled(true);
}

void Convert::ConvertSelected()
{
    withGoDisabled([this] {
        if (m_ui->Combo1->currentText() == u"Select Source") {
            m_messageBoxes.show(this, u"Please 'Select Source' "_s, appinfo::title(), ui::MessageIcon::None);
        } else if (m_ui->Combo2->currentText() == u"Select Dest") {
            m_messageBoxes.show(this, u"Please 'Select Dest' "_s, appinfo::title(), ui::MessageIcon::None);
        } else if (lacksDot(m_ui->Combo2->currentText())) {
            // One box before anything runs, rather than a failure for each image.
            const QString message = lacksDotMessage();
            m_messageBoxes.show(this, message.front().toUpper() + message.mid(1), appinfo::title(),
                                ui::MessageIcon::None);
        } else if (m_ui->chkConvertAll->isChecked()) {
            convertListed();
        } else {
            QStringList selected;
            for (int i = 0; i < m_ui->File1->listCount(); ++i) {
                if (m_ui->File1->isSelected(i))
                    selected.append(m_ui->File1->list(i));
            }
            // With nothing selected there is nothing to convert, as with an empty list.
            if (selected.isEmpty())
                showNothingToDo();
            else
                convertAndReport(selected, selected.size() > 1);
        }
    });
}

void Convert::ConvertAll()
{
    withGoDisabled([this] { convertListed(); });
}

void Convert::convertListed()
{
    const QStringList all = entriesOf(*m_ui->File1);
    const QStringList leftOut = m_ui->File1->leftOut();
    if (all.isEmpty() && leftOut.isEmpty())
        showNothingToDo();
    else
        convertAndReport(all, all.size() + leftOut.size() > 1, leftOut);
}

void Convert::convertAndReport(const QStringList &entries, bool plural, const QStringList &leftOut)
{
    const ConversionChoices choices = *m_choices;
    ConversionOptions options;
    applyChoices(choices, &options);
    if (!choices.outputFolder.isEmpty())
        QDir().mkpath(choices.outputFolder); // a failure fails the copies, each with its reason
    ConversionReport report = runConversion(
        this, entryJobs(m_ui->File1->path(), entries, m_ui->Combo2->currentText(), choices.outputFolder), options);
    addLeftOut(report, leftOut);
    m_ui->File2->refresh();
    m_ui->Label1->setText(statusCaption(report, plural));
    // Skips, replaced copies and the user's own Cancel are no errors: only
    // failures get the error box.
    switch (toneOf(report)) {
    case ReportTone::Quiet:
        break;
    case ReportTone::Information:
        m_messageBoxes.show(this, reportMessage(report), appinfo::title(), ui::MessageIcon::Information);
        break;
    case ReportTone::Error:
        m_messageBoxes.show(this, reportMessage(report), appinfo::errorTitle(), ui::MessageIcon::Critical);
        break;
    }
    setClearTimer(ClearAfterMs);
}

void Convert::showNothingToDo()
{
    m_messageBoxes.show(this, u"Nothing to do"_s, appinfo::errorTitle(), ui::MessageIcon::None);
}

void Convert::changeDrive()
{
    followDrive(*m_ui->Drive1, *m_ui->Dir1, m_messageBoxes, this);
}

void Convert::changeFolder()
{
    // Each list follows on its own: when one cannot take the folder the other still does.
    m_ui->File1->setPath(m_ui->Dir1->path());
    m_ui->File2->setPath(m_ui->Dir1->path());
}

void Convert::filterSource(int)
{
    m_ui->File1->setPattern(SourcePattern(m_ui->Combo1->currentText()));
}

void Convert::filterDest(int)
{
    m_ui->File2->setPattern(DestPattern(m_ui->Combo2->currentText()));
}

void Convert::refreshAll()
{
    m_ui->Label1->setText(u" Refreshed"_s);
    m_ui->File1->refresh();
    m_ui->File2->refresh();
    setClearTimer(ClearAfterMs);
}

void Convert::clearStatus()
{
    m_ui->Label1->setText(m_choicesText); // back to the choices, when any are set
    setClearTimer(0);
}

void Convert::setClearTimer(int milliseconds)
{
    m_clearTimer->setInterval(milliseconds);
    if (milliseconds == 0)
        m_clearTimer->stop(); // an interval of 0 gives no ticks
    else
        m_clearTimer->start();
}

} // namespace morvane::app
