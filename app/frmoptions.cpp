#include "app/frmoptions.h"

#include "app/windowframe.h"
#include "appinfo.h"
#include "base/paths.h"
#include "ui/messagebox.h"
#include "ui_frmoptions.h"

#include <QDir>
#include <QFileDialog>
#include <QPushButton>

namespace morvane::app {

using namespace Qt::StringLiterals;
using convert::Existing;
using convert::ResizeRule;
using DdsKind = formats::WriteOptions::DdsKind;

namespace {

// Each combo box's entries and the value each stands for, in the order shown.
const std::pair<const char *, Existing> ExistingEntries[] = {
    {"Replace them", Existing::Replace},
    {"Keep them", Existing::Skip},
    {"Replace them when the source is newer", Existing::Newer},
};
const std::pair<const char *, ResizeRule::Kind> ResizeEntries[] = {
    {"Keep each picture's size", ResizeRule::None},
    {"Nearest power of two", ResizeRule::PowerOfTwo},
    {"Power of two at or above", ResizeRule::PowerOfTwoUp},
    {"Power of two at or below", ResizeRule::PowerOfTwoDown},
    {"Half the size", ResizeRule::Half},
    {"Longer side at most", ResizeRule::MaxSide},
};
const std::pair<const char *, DdsKind> DdsEntries[] = {
    {"BC1 when opaque, else BC3", DdsKind::Auto},
    {"BC1 (DXT1)", DdsKind::Bc1},
    {"BC1 with 1-bit alpha", DdsKind::Bc1a},
    {"BC2 (DXT3)", DdsKind::Bc2},
    {"BC3 (DXT5)", DdsKind::Bc3},
    {"BC4 (one channel, ATI1)", DdsKind::Bc4},
    {"BC5 (two channels, ATI2)", DdsKind::Bc5},
    {"BGRA, 32 bits, uncompressed", DdsKind::Bgra},
    {"BGR, 24 bits, uncompressed", DdsKind::Bgr},
};

template <typename Value, size_t N>
void fill(QComboBox *combo, const std::pair<const char *, Value> (&entries)[N])
{
    for (const auto &[text, value] : entries)
        combo->addItem(QString::fromUtf8(text), QVariant::fromValue(int(value)));
}

void select(QComboBox *combo, int value)
{
    combo->setCurrentIndex(std::max(0, combo->findData(value)));
}

} // namespace

FrmOptions::FrmOptions(ui::MessageBoxes &messageBoxes, const ConversionChoices &choices, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::frmOptions>())
    , m_messageBoxes(messageBoxes)
{
    // The converter window's font, set before the form so its controls inherit it.
    setFont(formFont(u"MS Sans Serif"_s, 8.25));
    m_ui->setupUi(this);
    fill(m_ui->cboExisting, ExistingEntries);
    fill(m_ui->cboResize, ResizeEntries);
    fill(m_ui->cboDdsFormat, DdsEntries);
    m_ui->spnMaxSide->setMaximum(convert::MaxSideLimit);
    m_ui->spnMaxSide->setAccessibleName(u"Longest side in pixels"_s);
    m_ui->spnAlphaThreshold->setAccessibleName(u"Alpha test threshold"_s);
    m_ui->cmdBrowse->setAccessibleName(u"Browse for the output folder"_s);
    showChoices(choices);

    connect(m_ui->cboResize, &QComboBox::currentIndexChanged, this, &FrmOptions::enableDependentFields);
    connect(m_ui->chkAlphaTest, &QCheckBox::toggled, this, &FrmOptions::enableDependentFields);
    connect(m_ui->cmdBrowse, &QPushButton::clicked, this, &FrmOptions::browseOutputFolder);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &FrmOptions::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &FrmOptions::reject);
    connect(m_ui->buttonBox->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            &FrmOptions::restoreDefaults);
    m_ui->cboExisting->setFocus();
}

FrmOptions::~FrmOptions() = default;

ConversionChoices FrmOptions::choices() const
{
    ConversionChoices choices;
    choices.existing = Existing(m_ui->cboExisting->currentData().toInt());
    choices.resize.kind = ResizeRule::Kind(m_ui->cboResize->currentData().toInt());
    if (choices.resize.kind == ResizeRule::MaxSide)
        choices.resize.maxSide = m_ui->spnMaxSide->value();
    formats::WriteOptions &write = choices.write;
    write.quality = m_ui->spnQuality->value();
    write.ddsKind = DdsKind(m_ui->cboDdsFormat->currentData().toInt());
    write.mipmaps = m_ui->chkMipmaps->isChecked();
    write.normalMap = m_ui->chkNormalMap->isChecked();
    if (m_ui->chkAlphaTest->isChecked())
        write.alphaTest = m_ui->spnAlphaThreshold->value();
    const QString folder = m_ui->txtOutputFolder->text();
    choices.outputFolder = folder.isEmpty() ? QString() : base::normalFolderPath(folder);
    return choices;
}

void FrmOptions::accept()
{
    const QString folder = m_ui->txtOutputFolder->text();
    if (!folder.isEmpty() && !base::isFolderOrMakeable(folder)) {
        m_messageBoxes.show(this, u"Copies cannot go into %1: it is not a folder."_s.arg(QDir::toNativeSeparators(folder)),
                            appinfo::title(), ui::MessageIcon::Critical);
        m_ui->txtOutputFolder->setFocus();
        return;
    }
    QDialog::accept();
}

void FrmOptions::showChoices(const ConversionChoices &choices)
{
    select(m_ui->cboExisting, int(choices.existing));
    select(m_ui->cboResize, int(choices.resize.kind));
    if (choices.resize.kind == ResizeRule::MaxSide)
        m_ui->spnMaxSide->setValue(choices.resize.maxSide);
    m_ui->spnQuality->setValue(choices.write.quality);
    select(m_ui->cboDdsFormat, int(choices.write.ddsKind));
    m_ui->chkMipmaps->setChecked(choices.write.mipmaps);
    m_ui->chkNormalMap->setChecked(choices.write.normalMap);
    m_ui->chkAlphaTest->setChecked(choices.write.alphaTest.has_value());
    m_ui->spnAlphaThreshold->setValue(choices.write.alphaTest.value_or(0.5));
    m_ui->txtOutputFolder->setText(QDir::toNativeSeparators(choices.outputFolder));
    enableDependentFields();
}

void FrmOptions::restoreDefaults()
{
    showChoices({});
    m_ui->spnMaxSide->setValue(1024);
}

void FrmOptions::browseOutputFolder()
{
    const QString start = m_ui->txtOutputFolder->text().isEmpty() ? QDir::currentPath() : m_ui->txtOutputFolder->text();
    const QString folder = QFileDialog::getExistingDirectory(this, u"Output Folder"_s, start);
    if (!folder.isEmpty())
        m_ui->txtOutputFolder->setText(QDir::toNativeSeparators(folder));
}

void FrmOptions::enableDependentFields()
{
    m_ui->spnMaxSide->setEnabled(m_ui->cboResize->currentData().toInt() == ResizeRule::MaxSide);
    m_ui->spnAlphaThreshold->setEnabled(m_ui->chkAlphaTest->isChecked());
}

} // namespace morvane::app
