#include "app/frmabout.h"

#include "app/abouttext.h"
#include "app/windowframe.h"
#include "appinfo.h"
#include "ui_frmabout.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

namespace morvane::app {

using namespace Qt::StringLiterals;

FrmAbout::FrmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::frmAbout>())
    , m_marqueeTimer(new QTimer(this))
{
    // Set before the controls are made, so that each of them, style sheet or
    // not, starts from it.
    setFont(formFont(u"Verdana"_s, 8.25));
    m_ui->setupUi(this);
    setWindowIcon(programIcon());

    // The feedback address does not fit the label, so the label links to it.
    const QString url = appinfo::issuesUrl();
    m_ui->Label2->setText(u"<a href=\"%1\"><span style=\"color:#0000ff;\">Issue tracker</span></a>"_s.arg(url));
    m_ui->Label2->setToolTip(url);
    m_ui->Label2->setAccessibleDescription(url);
    m_ui->Label2->setOpenExternalLinks(true);
    // Labels take no focus: the mouse follows the link, the Tab key never stops here.
    m_ui->Label2->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    m_ui->Label2->setFocusPolicy(Qt::NoFocus);

    m_marqueeTimer->setObjectName(u"Timer1"_s);
    m_marqueeTimer->setInterval(100);
    connect(m_marqueeTimer, &QTimer::timeout, this, &FrmAbout::scrollCredits);
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    load();
    m_ui->cmdOK->setFocus();

    // Centred on the screen the user works on.
    const QWidget *active = QApplication::activeWindow();
    centreOnScreen(*this, active ? *active->screen() : *screen());
}

FrmAbout::~FrmAbout() = default;

void FrmAbout::load()
{
    m_ui->lblVersion->setText(versionText(appinfo::versionMajor, appinfo::versionMinor, appinfo::versionRevision));
    m_ui->lblTitle->setText(appinfo::title());
    m_marquee = marqueeText(creditsSentence());
    m_marqueeTimer->start();
}

void FrmAbout::scrollCredits()
{
    m_marquee = rotateLeft(m_marquee);
    m_ui->txtMessage->setText(m_marquee);
    // Show the beginning of the text, which is wider than the box.
    m_ui->txtMessage->setCursorPosition(0);
}

void FrmAbout::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_ui->cmdOK->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace morvane::app
