#include "app/PageSelectionDialog.h"

#include "ui_PageSelection.h"

#include <QPushButton>
#include <QRegularExpression>

namespace quillon {

PageSelectionDialog::PageSelectionDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::PageSelection>())
{
    m_ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    for (Stepper *s : {m_ui->pageStepsStepper, m_ui->pageStepsReversedStepper})
        s->setRange(1, 9999);
    auto bindStep = [this](NumberField *field, Stepper *stepper) {
        connect(field, &QLineEdit::textEdited, this, [this, field, stepper] {
            if (onNumberFieldEdited)
                onNumberFieldEdited(field);
            stepper->setValue(qMax(1, field->value()));
            updateState();
        });
        connect(field, &QLineEdit::editingFinished, this, [field] {
            if (field->value() < 1)
                field->setValue(1);
        });
        connect(stepper, &Stepper::valueStepped, this, [this, field](int v) {
            field->setValue(v);
            updateState();
        });
    };
    bindStep(m_ui->pageStepsField, m_ui->pageStepsStepper);
    bindStep(m_ui->pageStepsReversedField, m_ui->pageStepsReversedStepper);
    connect(m_ui->pageRangeField, &QLineEdit::textEdited, this, [this] {
        m_ui->rangesBtn->setChecked(true);
        updateState();
    });
    for (QRadioButton *b : {m_ui->allPagesBtn, m_ui->rangesBtn, m_ui->stepsBtn, m_ui->reversedStepsBtn})
        connect(b, &QRadioButton::toggled, this, &PageSelectionDialog::updateState);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &PageSelectionDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &PageSelectionDialog::reject);
    m_ui->allPagesBtn->setChecked(true);
    updateState();
    resize(width(), sizeHint().height());
}

PageSelectionDialog::~PageSelectionDialog() = default;

bool PageSelectionDialog::parsePageList(const QString &text, QList<RangePair> *pairs, QString *error)
{
    static const QRegularExpression single(QStringLiteral("^\\s*(\\d+)\\s*$"));
    static const QRegularExpression range(QStringLiteral("^\\s*(\\d+)\\s*-\\s*(\\d+)\\s*$"));
    QList<RangePair> result;
    const QStringList pieces = text.split(QLatin1Char(','));
    for (const QString &piece : pieces) {
        if (piece.trimmed().isEmpty())
            continue;
        QRegularExpressionMatch m = range.match(piece);
        QString start;
        QString end;
        if (m.hasMatch()) {
            start = m.captured(1);
            end = m.captured(2);
        } else if ((m = single.match(piece)).hasMatch()) {
            start = end = m.captured(1);
        } else {
            *error = tr("\"%1\" is not a page number or a range such as 4-9.").arg(piece.trimmed());
            return false;
        }
        bool okStart = false;
        bool okEnd = false;
        const int s = start.toInt(&okStart);
        const int e = end.toInt(&okEnd);
        if (!okStart || !okEnd || s < 1 || e < 1) {
            *error = tr("Page numbers start at 1 (\"%1\").").arg(piece.trimmed());
            return false;
        }
        // Stored without leading zeros, as numbers.
        result.append({QString::number(s), QString::number(e)});
    }
    if (result.isEmpty()) {
        *error = tr("Enter at least one page or page range.");
        return false;
    }
    *pairs = result;
    return true;
}

QString PageSelectionDialog::pageListText(const SelectionRange &selection)
{
    QStringList parts;
    for (const RangePair &p : selection.parseRange())
        parts << (p.start.trimmed() == p.end.trimmed() ? p.start.trimmed() : p.start.trimmed() + QLatin1Char('-') + p.end.trimmed());
    return parts.join(QLatin1String(", "));
}

void PageSelectionDialog::setSelection(const SelectionRange &selection, int fileCount)
{
    m_ui->infoLabel->setText(fileCount == 1 ? tr("Pages of the selected TIFF file to convert")
                                            : tr("Pages of the %1 selected TIFF files to convert").arg(fileCount));
    m_ui->pageRangeField->setText(pageListText(selection));
    m_ui->pageStepsField->setValue(qMax(1, selection.pageSteps));
    m_ui->pageStepsStepper->setValue(qMax(1, selection.pageSteps));
    m_ui->pageStepsReversedField->setValue(qMax(1, selection.pageStepsReversed));
    m_ui->pageStepsReversedStepper->setValue(qMax(1, selection.pageStepsReversed));
    switch (selection.pageRangeType) {
    case SelectionRange::ByRanges:
        m_ui->rangesBtn->setChecked(true);
        break;
    case SelectionRange::BySteps:
        m_ui->stepsBtn->setChecked(true);
        break;
    case SelectionRange::ByReversedSteps:
        m_ui->reversedStepsBtn->setChecked(true);
        break;
    default:
        m_ui->allPagesBtn->setChecked(true);
    }
    updateState();
}

SelectionRange PageSelectionDialog::selection() const
{
    SelectionRange s;
    s.pageSteps = qMax(1, m_ui->pageStepsField->value());
    s.pageStepsReversed = qMax(1, m_ui->pageStepsReversedField->value());
    if (m_ui->rangesBtn->isChecked()) {
        s.pageRangeType = SelectionRange::ByRanges;
        QList<RangePair> pairs;
        QString error;
        if (parsePageList(m_ui->pageRangeField->text(), &pairs, &error))
            s.setRange(pairs);
    } else if (m_ui->stepsBtn->isChecked()) {
        s.pageRangeType = SelectionRange::BySteps;
    } else if (m_ui->reversedStepsBtn->isChecked()) {
        s.pageRangeType = SelectionRange::ByReversedSteps;
    }
    return s;
}

QString PageSelectionDialog::errorText() const
{
    if (!m_ui->rangesBtn->isChecked())
        return QString();
    QList<RangePair> pairs;
    QString error;
    return parsePageList(m_ui->pageRangeField->text(), &pairs, &error) ? QString() : error;
}

bool PageSelectionDialog::isValid() const { return errorText().isEmpty(); }

void PageSelectionDialog::updateState()
{
    m_ui->pageRangeField->setEnabled(true);
    const QString error = errorText();
    // An empty range field is not worth a red line yet; OK stays off though.
    m_ui->errorLabel->setText(m_ui->pageRangeField->text().trimmed().isEmpty() ? QString() : error);
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(error.isEmpty());
    m_ui->pageStepsField->setEnabled(m_ui->stepsBtn->isChecked());
    m_ui->pageStepsStepper->setEnabled(m_ui->stepsBtn->isChecked());
    m_ui->pageStepsReversedField->setEnabled(m_ui->reversedStepsBtn->isChecked());
    m_ui->pageStepsReversedStepper->setEnabled(m_ui->reversedStepsBtn->isChecked());
}

void PageSelectionDialog::accept()
{
    m_ui->pageStepsField->normalizeText();
    m_ui->pageStepsReversedField->normalizeText();
    if (!isValid())
        return;
    QDialog::accept();
}

} // namespace quillon
