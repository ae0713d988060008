#include "app/Sheets.h"

#include "ui_OutputSettings.h"
#include "ui_Progress.h"

namespace quillon {

Sheet::Sheet(QWidget *parent)
    : QDialog(parent, Qt::Sheet)
{
    setWindowModality(Qt::WindowModal);
}

void Sheet::beginSheet()
{
    if (!isVisible())
        open();
    raise();
    activateWindow();
}

void Sheet::endSheet() { QDialog::done(QDialog::Accepted); }

void Sheet::reject()
{
    if (onEscape)
        onEscape();
    else
        QDialog::reject();
}

OutputSettingsSheet::OutputSettingsSheet(QWidget *parent)
    : Sheet(parent)
    , m_ui(std::make_unique<Ui::OutputSettings>())
{
    m_ui->setupUi(this);
    // Return in a text field commits the text; it must not close the sheet.
    m_ui->closeOutputSettingBtn->setAutoDefault(false);
    m_ui->closeOutputSettingBtn->setDefault(false);
    resize(width(), sizeHint().height());
}

OutputSettingsSheet::~OutputSettingsSheet() = default;

ProgressSheet::ProgressSheet(QWidget *parent)
    : Sheet(parent)
    , m_ui(std::make_unique<Ui::Progress>())
{
    m_ui->setupUi(this);
    resize(width(), sizeHint().height());
}

ProgressSheet::~ProgressSheet() = default;

} // namespace quillon
