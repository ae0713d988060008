// QuillonAppDelegate: the output settings sheet, Convert with its checks and
// output-folder panel, the run and its progress sheet.
#include "app/QuillonAppDelegate.h"

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/BilevelPreviewer.h"
#include "app/FileListModel.h"
#include "app/OpenPanel.h"
#include "app/Sheets.h"
#include "core/AppFolders.h"
#include "core/OutputPlan.h"
#include "core/Process.h"
#include "core/RetryList.h"
#include "core/Settings.h"
#include "usage/UsagesReportingWindowController.h"

#include "ui_MainWindow.h"
#include "ui_OutputSettings.h"
#include "ui_Progress.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

#include <unistd.h>

namespace quillon {

namespace {

bool systemWritableFolder(const QString &path)
{
    return QFileInfo(path).isDir() && ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

QString compressionName(int index)
{
    switch (index) {
    case CcittGroup3Compression:
        return QObject::tr("CCITT Group 3 fax");
    case CcittGroup4Compression:
        return QObject::tr("CCITT Group 4 fax");
    case LzwCompression:
        return QObject::tr("LZW");
    case PackBitsCompression:
        return QObject::tr("PackBits");
    default:
        return QObject::tr("None");
    }
}

QString bilevelName(const image::BilevelOptions &options)
{
    switch (options.method) {
    case image::BilevelOptions::Threshold:
        return QObject::tr("fixed threshold %1").arg(options.threshold);
    case image::BilevelOptions::OrderedDither:
        return QObject::tr("ordered dithering");
    case image::BilevelOptions::DiffusionDither:
        return QObject::tr("error diffusion dithering");
    case image::BilevelOptions::Auto:
        break;
    }
    return QObject::tr("automatic threshold");
}

constexpr int kAutomaticCompressionItem = 5; // after the five stored indexes

// The two boxes shown under the output-folder panel of Convert.
class OutputFolderAccessory : public QWidget {
public:
    explicit OutputFolderAccessory(QWidget *parent = nullptr)
        : QWidget(parent)
        , isSetCurrentAsDefaultOutputFolder(new QCheckBox(tr("Keep as default output folder"), this))
        , isOpenFolderAfterConversion(new QCheckBox(tr("Open output folder after conversion"), this))
    {
        setObjectName(QStringLiteral("openPanelCustomView"));
        isSetCurrentAsDefaultOutputFolder->setObjectName(QStringLiteral("isSetCurrentAsDefaultOutputFolder"));
        isOpenFolderAfterConversion->setObjectName(QStringLiteral("isOpenFolderAfterConversion"));
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 6, 0, 0);
        layout->setSpacing(18);
        layout->addWidget(isSetCurrentAsDefaultOutputFolder);
        layout->addWidget(isOpenFolderAfterConversion);
        layout->addStretch(1);
    }
    QCheckBox *isSetCurrentAsDefaultOutputFolder;
    QCheckBox *isOpenFolderAfterConversion;
};

} // namespace

bool QuillonAppDelegate::isWritableFolder(const QString &path) const
{
    return m_env.isWritableFolder ? QFileInfo(path).isDir() && m_env.isWritableFolder(path) : systemWritableFolder(path);
}

// ---- the output settings sheet ----

void QuillonAppDelegate::bindOutputSettingsSheet()
{
    auto *out = m_outputSettingPanel->ui();
    Settings *s = m_settings;
    for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{out->singleImageTIFFBtn, out->singleMultiPageTIFFBtn, out->groupMultiPageTIFFBtn})
        connect(b, &QAbstractButton::clicked, this, [this, b] { combineOptionChanged(b); });

    out->singleMultiPageTIFFName->setText(s->singleMultiPageTIFFName());
    out->groupMultiPageTIFFName->setText(s->groupMultiPageTIFFName());
    connect(out->singleMultiPageTIFFName, &QLineEdit::textEdited, s, &Settings::setSingleMultiPageTIFFName);
    connect(out->groupMultiPageTIFFName, &QLineEdit::textEdited, s, &Settings::setGroupMultiPageTIFFName);
    connect(s, &Settings::singleMultiPageTIFFNameChanged, out->singleMultiPageTIFFName, [out, s] {
        if (out->singleMultiPageTIFFName->text() != s->singleMultiPageTIFFName())
            out->singleMultiPageTIFFName->setText(s->singleMultiPageTIFFName());
    });
    connect(s, &Settings::groupMultiPageTIFFNameChanged, out->groupMultiPageTIFFName, [out, s] {
        if (out->groupMultiPageTIFFName->text() != s->groupMultiPageTIFFName())
            out->groupMultiPageTIFFName->setText(s->groupMultiPageTIFFName());
    });

    // The group size is never below 1 (it divides); the stepper's range says so too.
    if (s->groupMultiPageTIFFCount() < 1)
        s->setGroupMultiPageTIFFCount(2);
    out->groupMultiPageTIFFStepper->setRange(1, 9999);
    out->groupMultiPageTIFFStepper->setValue(s->groupMultiPageTIFFCount());
    out->groupMultiPageTIFFCount->setValue(s->groupMultiPageTIFFCount());
    connect(out->groupMultiPageTIFFCount, &QLineEdit::textEdited, this, [this, out] {
        controlTextDidChange(out->groupMultiPageTIFFCount);
        const int v = out->groupMultiPageTIFFCount->value();
        if (v >= 1)
            m_settings->setGroupMultiPageTIFFCount(v);
    });
    connect(out->groupMultiPageTIFFCount, &QLineEdit::editingFinished, this, [this] { endEditing(); });
    connect(out->groupMultiPageTIFFStepper, &Stepper::valueStepped, s, &Settings::setGroupMultiPageTIFFCount);
    connect(s, &Settings::groupMultiPageTIFFCountChanged, out->groupMultiPageTIFFCount, [out, s] {
        if (out->groupMultiPageTIFFCount->value() != s->groupMultiPageTIFFCount())
            out->groupMultiPageTIFFCount->setValue(s->groupMultiPageTIFFCount());
        out->groupMultiPageTIFFStepper->setValue(s->groupMultiPageTIFFCount());
    });

    // An index the run doesn't know means no compression: show it as None.
    const auto shownCompression = [s] {
        if (s->isAutomaticCompression())
            return kAutomaticCompressionItem;
        const int index = s->tiffCompressionIndex();
        return index >= NoCompression && index <= PackBitsCompression ? index : int(NoCompression);
    };
    out->tiffCompressionPopup->setCurrentIndex(shownCompression());
    connect(out->tiffCompressionPopup, &QComboBox::currentIndexChanged, s, [s](int index) {
        if (index == kAutomaticCompressionItem) {
            s->setAutomaticCompression(true);
            return;
        }
        // The index first: the popup then never shows a choice in between.
        s->setTiffCompressionIndex(index);
        s->setAutomaticCompression(false);
    });
    for (auto signal : {&Settings::tiffCompressionIndexChanged, &Settings::automaticCompressionChanged})
        connect(s, signal, out->tiffCompressionPopup,
                [out, shownCompression] { out->tiffCompressionPopup->setCurrentIndex(shownCompression()); });
    bindBilevelChoices();

    out->jobsSpinBox->setValue(s->jobs());
    connect(out->jobsSpinBox, &QSpinBox::valueChanged, s, &Settings::setJobs);

    auto bindBox = [](QAbstractButton *box, Settings *settings, bool (Settings::*get)() const, void (Settings::*set)(bool),
                      void (Settings::*changed)()) {
        box->setChecked((settings->*get)());
        QObject::connect(box, &QAbstractButton::toggled, settings, set);
        QObject::connect(settings, changed, box, [box, settings, get] { box->setChecked((settings->*get)()); });
    };
    bindBox(out->setCurrentAsDefaultOutputFolderPathBtn, s, &Settings::isSetCurrentAsDefaultOutputFolderPath,
            &Settings::setIsSetCurrentAsDefaultOutputFolderPath, &Settings::isSetCurrentAsDefaultOutputFolderPathChanged);
    bindBox(out->openFolderAfterConversionBtn, s, &Settings::isOpenFolderAfterConversion, &Settings::setIsOpenFolderAfterConversion,
            &Settings::isOpenFolderAfterConversionChanged);
    bindBox(out->clearProcessedFilesBtn, s, &Settings::isClearProcessedFiles, &Settings::setIsClearProcessedFiles,
            &Settings::isClearProcessedFilesChanged);

    connect(out->chooseOutputFolderBtn, &QPushButton::clicked, this, &QuillonAppDelegate::chooseOutputFolder);
    connect(out->closeOutputSettingBtn, &QPushButton::clicked, this, &QuillonAppDelegate::closeOutputSetting);
    m_outputSettingPanel->onEscape = [this] { closeOutputSetting(); };

    m_processViewPanel->onEscape = [this] {
        // Escape cancels a run that works and closes a finished one.
        if (m_process && !m_process->isCompleted())
            cancelProcessAction();
        else
            closeProcessAction();
    };
    auto *progress = m_processViewPanel->ui();
    connect(progress->cancelProcessBtn, &QPushButton::clicked, this, &QuillonAppDelegate::cancelProcessAction);
    connect(progress->viewLogBtn, &QPushButton::clicked, this, &QuillonAppDelegate::viewLogAction);
    connect(progress->retryFailedBtn, &QPushButton::clicked, this, &QuillonAppDelegate::retryFailedAction);
    connect(progress->closeProcessBtn, &QPushButton::clicked, this, &QuillonAppDelegate::closeProcessAction);
}

void QuillonAppDelegate::bindBilevelChoices()
{
    auto *out = m_outputSettingPanel->ui();
    Settings *s = m_settings;
    auto showChoice = [out, s] {
        const image::BilevelOptions o = s->bilevelOptions();
        const QSignalBlocker popup(out->bilevelMethodPopup), spin(out->bilevelThresholdSpinBox);
        out->bilevelMethodPopup->setCurrentIndex(int(o.method));
        if (o.method == image::BilevelOptions::Threshold)
            out->bilevelThresholdSpinBox->setValue(o.threshold);
        out->bilevelThresholdSpinBox->setEnabled(o.method == image::BilevelOptions::Threshold);
        out->bilevelThresholdLabel->setEnabled(o.method == image::BilevelOptions::Threshold);
    };
    showChoice();
    connect(out->bilevelMethodPopup, &QComboBox::currentIndexChanged, s, [out, s](int index) {
        image::BilevelOptions o;
        o.method = image::BilevelOptions::Method(std::clamp(index, 0, int(image::BilevelOptions::DiffusionDither)));
        o.threshold = out->bilevelThresholdSpinBox->value();
        s->setBilevelOptions(o);
    });
    connect(out->bilevelThresholdSpinBox, &QSpinBox::valueChanged, s, [s](int value) {
        if (s->bilevelOptions().method == image::BilevelOptions::Threshold)
            s->setBilevelOptions({image::BilevelOptions::Threshold, value});
    });
    connect(s, &Settings::bilevelOptionsChanged, this, [this, showChoice] {
        showChoice();
        updateBilevelPreview();
    });
    connect(s, &Settings::automaticCompressionChanged, this, &QuillonAppDelegate::updateBilevelPreview);
    connect(s, &Settings::tiffCompressionIndexChanged, this, &QuillonAppDelegate::updateBilevelPreview);

    out->existingFilesPopup->setCurrentIndex(int(s->existingFilePolicy()));
    connect(out->existingFilesPopup, &QComboBox::currentIndexChanged, s,
            [s](int index) { s->setExistingFilePolicy(ExistingFilePolicy(std::clamp(index, 0, 2))); });
    connect(s, &Settings::existingFilePolicyChanged, out->existingFilesPopup,
            [out, s] { out->existingFilesPopup->setCurrentIndex(int(s->existingFilePolicy())); });

    m_previewer = new BilevelPreviewer(this);
    connect(m_previewer, &BilevelPreviewer::previewReady, this, &QuillonAppDelegate::showBilevelPreview);
    // List changes come in bursts (a sort, a load): one request for them all.
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(50);
    connect(m_previewTimer, &QTimer::timeout, this, &QuillonAppDelegate::updateBilevelPreview);
    auto later = [this] { m_previewTimer->start(); };
    connect(m_model, &FileListModel::checkMarksChanged, this, later);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, later);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, later);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, later);
    connect(m_model, &QAbstractItemModel::modelReset, this, later);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, later);
    connect(m_model, &QAbstractItemModel::dataChanged, this, later);
    connect(this, &QuillonAppDelegate::loadFinished, this, [this] {
        // Sources a retry had to list again: now the check marks.
        if (!m_retryPaths.isEmpty()) {
            checkExactly(std::exchange(m_retryPaths, {}));
            showOutputSettings();
        }
    });
}

void QuillonAppDelegate::updateBilevelPreview()
{
    auto *out = m_outputSettingPanel->ui();
    if (!m_previewer || !out->bilevelPreview->isVisible())
        return;
    FileItemPtr first;
    for (const FileItemPtr &item : std::as_const(m_files)) {
        if (item && item->isSelected) {
            first = item;
            break;
        }
    }
    auto showText = [out](const QString &text) {
        out->bilevelPreview->setPixmap(QPixmap());
        out->bilevelPreviewCaption->setText(text);
        out->bilevelPreview->setAccessibleDescription(text);
    };
    if (!first) {
        m_previewer->cancel();
        m_previewSource.clear();
        showText(tr("Check an image in the list to see here what its first page becomes in black and white."));
        return;
    }
    int page = std::max(0, first->pages() - 1); // a single image is its file's last one, as the run takes it
    if (first->isMultiPageFile()) {
        const QList<int> pages = getPageRanges(first.get());
        if (pages.isEmpty()) {
            m_previewer->cancel();
            m_previewSource.clear();
            showText(tr("No page of %1 is chosen.").arg(first->name()));
            return;
        }
        page = pages.first() - 1;
    }
    BilevelPreviewer::Request request;
    request.path = first->path();
    request.pageIndex = page;
    request.options = m_settings->bilevelOptions();
    request.box = out->bilevelPreview->contentsRect().size();
    m_previewSource = tr("%1, page %2").arg(first->name()).arg(page + 1);
    m_previewer->request(request);
}

void QuillonAppDelegate::showBilevelPreview(const QImage &image, bool alreadyBilevel, const QString &error)
{
    auto *out = m_outputSettingPanel->ui();
    QString text;
    if (image.isNull()) {
        text = tr("%1 cannot be shown: %2").arg(m_previewSource, error);
    } else if (alreadyBilevel) {
        text = tr("%1 is black and white already and is written as it is.").arg(m_previewSource);
    } else {
        text = tr("%1, with %2.").arg(m_previewSource, bilevelName(m_settings->bilevelOptions()));
        const int index = m_settings->tiffCompressionIndex();
        if (m_settings->isAutomaticCompression() || (index != CcittGroup3Compression && index != CcittGroup4Compression))
            text += QLatin1Char('\n') + tr("Black and white is made only for CCITT Group 3 and Group 4 compression.");
    }
    out->bilevelPreview->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
    out->bilevelPreviewCaption->setText(text);
    out->bilevelPreview->setAccessibleDescription(text);
}

void QuillonAppDelegate::bindSettingsSummary()
{
    Settings *s = m_settings;
    for (auto signal : {&Settings::combineOptionIndexChanged, &Settings::groupMultiPageTIFFCountChanged, &Settings::tiffCompressionIndexChanged,
                        &Settings::automaticCompressionChanged, &Settings::bilevelOptionsChanged,
                        &Settings::singleMultiPageTIFFNameChanged, &Settings::groupMultiPageTIFFNameChanged, &Settings::outputFolderPathChanged,
                        &Settings::isOpenFolderAfterConversionChanged, &Settings::isClearProcessedFilesChanged})
        connect(s, signal, this, &QuillonAppDelegate::updateSettingsSummary);
    updateSettingsSummary();
}

void QuillonAppDelegate::updateSettingsSummary()
{
    Settings *s = m_settings;
    Ui::MainWindow *ui = m_ui.get();
    const int mode = s->combineOptionIndex();
    ui->summaryModeLabel->setText(combineModeName(mode));
    QString name;
    if (mode == OneMultiPageFile)
        name = s->singleMultiPageTIFFName().isEmpty() ? tr("(not set)") : s->singleMultiPageTIFFName() + QStringLiteral(".tiff");
    else if (mode == GroupedFiles)
        name = tr("%1, %2 images per file")
                   .arg(s->groupMultiPageTIFFName().isEmpty() ? tr("(base name not set)") : s->groupMultiPageTIFFName())
                   .arg(s->groupMultiPageTIFFCount());
    else
        name = tr("named after each image");
    ui->summaryNameLabel->setText(name);
    QString compression = compressionName(s->tiffCompressionIndex());
    if (s->isAutomaticCompression())
        compression = m_outputSettingPanel->ui()->tiffCompressionPopup->itemText(kAutomaticCompressionItem);
    else if ((s->tiffCompressionIndex() == CcittGroup3Compression || s->tiffCompressionIndex() == CcittGroup4Compression)
             && s->bilevelOptions().method != image::BilevelOptions::Auto)
        compression += QStringLiteral(", ") + bilevelName(s->bilevelOptions());
    ui->summaryCompressionLabel->setText(compression);
    ui->summaryFolderLabel->setText(s->outputFolderPath().isEmpty() ? tr("asked for at Convert") : s->outputFolderPath());
    QStringList after;
    if (s->isOpenFolderAfterConversion())
        after << tr("open the output folder");
    if (s->isClearProcessedFiles())
        after << tr("remove the checked files from the list");
    ui->summaryAfterLabel->setText(after.isEmpty() ? tr("nothing more") : after.join(QStringLiteral("; ")));
    m_outputSettingPanel->ui()->outputFolderLabel->setText(s->outputFolderPath().isEmpty() ? tr("None chosen") : s->outputFolderPath());
}

void QuillonAppDelegate::showOutputSettings()
{
    if (m_commands.viewEnabled)
        m_edition->showOutputSettings();
}

void QuillonAppDelegate::closeOutputSetting()
{
    endEditing();
    m_outputSettingPanel->endSheet();
    m_ui->mainTableView->viewport()->update();
}

void QuillonAppDelegate::combineOptionChanged(QAbstractButton *sender)
{
    if (!sender || !sender->property("tag").isValid())
        return;
    m_settings->setCombineOptionIndex(sender->property("tag").toInt());
    m_settings->synchronize();
    setCombineOptions(m_settings->combineOptionIndex());
}

void QuillonAppDelegate::setCombineOptions(int index)
{
    guarded("Error in (setCombineOptions:) : %1", [&] {
        auto *out = m_outputSettingPanel->ui();
        const QPalette pal = m_window->palette();
        const QColor disabledText = pal.color(QPalette::Disabled, QPalette::WindowText);
        const QColor normalText = pal.color(QPalette::Active, QPalette::WindowText);
        auto colour = [](QLabel *label, const QColor &c) {
            QPalette p = label->palette();
            p.setColor(QPalette::WindowText, c);
            label->setPalette(p);
        };
        for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{out->singleImageTIFFBtn, out->singleMultiPageTIFFBtn, out->groupMultiPageTIFFBtn}) {
            // Radio buttons of one parent are exclusive; all off needs that lifted.
            b->setAutoExclusive(false);
            b->setChecked(false);
        }
        out->groupMultiPageTIFFCount->setEnabled(false);
        out->groupMultiPageTIFFStepper->setEnabled(false);
        out->singleMultiPageTIFFName->setEnabled(false);
        out->groupMultiPageTIFFName->setEnabled(false);
        for (QLabel *l : {out->singleImageTIFFLabel, out->singleMultiPageTIFFLabel1, out->groupMultiPageTIFFLabel1, out->groupMultiPageTIFFLabel2})
            colour(l, disabledText);
        m_edition->showCombineMode(index, normalText, disabledText);
        switch (index) {
        case SingleImageFiles:
            out->singleImageTIFFBtn->setChecked(true);
            colour(out->singleImageTIFFLabel, normalText);
            break;
        case OneMultiPageFile:
            out->singleMultiPageTIFFBtn->setChecked(true);
            colour(out->singleMultiPageTIFFLabel1, normalText);
            out->singleMultiPageTIFFName->setEnabled(true);
            break;
        case GroupedFiles:
            out->groupMultiPageTIFFBtn->setChecked(true);
            out->groupMultiPageTIFFCount->setEnabled(true);
            out->groupMultiPageTIFFStepper->setEnabled(true);
            colour(out->groupMultiPageTIFFLabel1, normalText);
            colour(out->groupMultiPageTIFFLabel2, normalText);
            out->groupMultiPageTIFFName->setEnabled(true);
            break;
        default:
            break;
        }
    });
    updateTotalLabel();
}

void QuillonAppDelegate::chooseOutputFolder()
{
    auto *panel = new OpenPanel(m_edition->outputFolderPanelParent());
    panel->setObjectName(QStringLiteral("chooseOutputFolderPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowTitle(tr("Output Folder"));
    panel->setCanChooseFiles(false);
    panel->setCanChooseDirectories(true);
    panel->setAllowsMultipleSelection(false);
    panel->setCanCreateDirectories(true);
    panel->setResolvesAliases(true);
    panel->setMessage(m_edition->outputFolderPanelMessage());
    if (!m_settings->outputFolderPath().isEmpty())
        panel->setDirectory(m_settings->outputFolderPath());
    connect(panel, &QDialog::finished, this, [this, panel](int result) {
        openPanelOutputFolderDidEnd(result, panel->chosenPaths().value(0));
    });
    panel->open();
}

void QuillonAppDelegate::openPanelOutputFolderDidEnd(int returnCode, const QString &path)
{
    if (returnCode != QDialog::Accepted || path.isEmpty())
        return;
    m_settings->setOutputFolderPath(path);
    m_settings->synchronize();
    setCombineOptions(m_settings->combineOptionIndex());
}

void QuillonAppDelegate::onOutputFolderPathChanged()
{
    const bool selected = !m_settings->outputFolderPath().isEmpty();
    m_isOutputFolderSelected = selected;
    m_outputSettingPanel->ui()->setCurrentAsDefaultOutputFolderPathBtn->setEnabled(selected);
    m_edition->showOutputFolderChosen(selected);
    if (!selected)
        m_settings->setIsSetCurrentAsDefaultOutputFolderPath(false);
    updateSettingsSummary();
}

// ---- Convert ----

void QuillonAppDelegate::convertAction() { m_edition->convert(); }

void QuillonAppDelegate::convertWithChecks()
{
    guarded("Error in convertAction : %1", [&] {
        if (!m_commands.canConvert() || m_outputFolderPanel)
            return;
        endEditing();
        m_ui->settingTabView->setCurrentIndex(0);
        auto *out = m_outputSettingPanel->ui();
        switch (m_settings->combineOptionIndex()) {
        case OneMultiPageFile:
            if (m_settings->singleMultiPageTIFFName().isEmpty()) {
                informationAlertPanel(m_window.get(), getAppTitle(), QStringLiteral("Please enter new TIFF file name!"));
                // The field lives in the output sheet: show it there, ready to type.
                showOutputSettings();
                out->singleMultiPageTIFFName->setFocus();
                return;
            }
            break;
        case GroupedFiles:
            if (m_settings->groupMultiPageTIFFCount() <= 1)
                m_settings->setGroupMultiPageTIFFCount(2);
            if (m_settings->groupMultiPageTIFFName().isEmpty()) {
                informationAlertPanel(m_window.get(), getAppTitle(), QStringLiteral("Please enter new TIFF file base name!"));
                showOutputSettings();
                out->groupMultiPageTIFFName->setFocus();
                return;
            }
            break;
        default:
            break;
        }

        m_outputFolder = m_settings->outputFolderPath();
        if (!m_outputFolder.isEmpty() && QFileInfo::exists(m_outputFolder) && isWritableFolder(m_outputFolder)) {
            combine();
            return;
        }

        auto *panel = new OpenPanel(m_window.get());
        panel->setObjectName(QStringLiteral("outputFolderPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setCanChooseFiles(false);
        panel->setCanChooseDirectories(true);
        panel->setCanCreateDirectories(true);
        panel->setAllowsMultipleSelection(false);
        panel->setResolvesAliases(true);
        panel->setWindowTitle(QStringLiteral("Choose Output Folder : "));
        if (!m_outputFolder.isEmpty() && QFileInfo(m_outputFolder).isDir())
            panel->setDirectory(m_outputFolder);
        QString message;
        if (m_outputFolder.isEmpty())
            message = QStringLiteral("Please select output folder!");
        else if (!QFileInfo(m_outputFolder).isDir())
            message = QStringLiteral("Output folder [ %1 ] is missing!\r\nPlease select valid output folder.").arg(m_outputFolder);
        else
            message = QStringLiteral("Application does not have write permission for selected output folder!\r\n[ %1 ]\r\nPlease select valid output folder.")
                          .arg(m_outputFolder);
        panel->setMessage(message);
        auto *accessory = new OutputFolderAccessory;
        accessory->isSetCurrentAsDefaultOutputFolder->setChecked(false);
        accessory->isOpenFolderAfterConversion->setChecked(m_settings->isOpenFolderAfterConversion());
        panel->setAccessoryView(accessory);
        m_outputFolderPanel = panel;
        connect(panel, &QDialog::finished, this, [this, panel, accessory](int result) {
            guarded("Error in convertAction : %1", [&] {
                if (result != QDialog::Accepted || panel->chosenPaths().isEmpty())
                    return;
                const QString chosen = panel->chosenPaths().first();
                if (!isWritableFolder(chosen)) {
                    informationAlertPanel(
                        m_window.get(), getAppTitle(),
                        QStringLiteral("Application does not have write permission for selected output folder!\r\n[ %1 ]\r\nPlease try again or later.").arg(chosen));
                    return;
                }
                m_outputFolder = chosen;
                if (accessory->isSetCurrentAsDefaultOutputFolder->isChecked()) {
                    m_settings->setOutputFolderPath(m_outputFolder);
                    m_settings->setIsSetCurrentAsDefaultOutputFolderPath(true);
                }
                if (accessory->isOpenFolderAfterConversion->isChecked())
                    m_settings->setIsOpenFolderAfterConversion(true);
                // A chosen folder is kept at once, not only at quitting.
                m_settings->synchronize();
                if (m_outputFolder.compare(m_settings->outputFolderPath(), Qt::CaseInsensitive) == 0)
                    m_isOutputFolderSelected = true;
                combine();
            });
        });
        panel->open();
    });
}

void QuillonAppDelegate::combine()
{
    if (m_edition->checksBeforeRun())
        startCombinedRun();
}

void QuillonAppDelegate::startCombinedRun()
{
    guarded("Error in (combine) : %1", [&] {
        auto process = std::make_unique<Process>();
        process->setOwner(this, this);
        setUpRun(*process, m_files, *m_settings, m_outputFolder, m_settings->jobs());
        process->setProperty("combineMode", m_settings->combineOptionIndex());
        // A previous run (idle or finished) goes; none of them works any more here.
        m_process = std::move(process);
        m_commands.running = true;
        m_runEndAnnounced = false;
        m_idleTitle = m_window->windowTitle();
        m_timeLeft.reset(m_process->sourceBytesTotal());
        m_runClock.start();

        resetView(false);
        startProcess();
        m_ui->loadingIndicator->stopAnimation();
        resetViewForProcess(false);
        bindProgressSheet();
        m_process->startInBackground();
        m_processViewPanel->beginSheet();
    });
}

void QuillonAppDelegate::bindProgressSheet()
{
    Process *p = m_process.get();
    auto *ui = m_processViewPanel->ui();
    ui->timeTakenLabel->setText(QStringLiteral("Total Time Taken : %1 %2/%3").arg(QStringLiteral("In Process...")).arg(0).arg(0));
    // Between files the time left counts down with the clock.
    if (!m_runTicker) {
        m_runTicker = new QTimer(this);
        m_runTicker->setInterval(1000);
        connect(m_runTicker, &QTimer::timeout, this, &QuillonAppDelegate::updateTimeLeft);
    }
    m_runTicker->start();
    // The run's signals come from its thread; the sheet's context queues them here.
    for (auto signal : {&Process::isCombiningChanged, &Process::isCompletedChanged, &Process::totalFileSelectedChanged,
                        &Process::totalFileProcessedChanged, &Process::totalFileCreatedChanged, &Process::fileInProcessChanged,
                        &Process::outputFileInProcessChanged, &Process::messageChanged, &Process::finished})
        connect(p, signal, m_processViewPanel, [this] { updateProgressSheet(); });
    updateProgressSheet();
}

void QuillonAppDelegate::updateProgressSheet()
{
    Process *p = m_process.get();
    if (!p)
        return;
    auto *ui = m_processViewPanel->ui();
    const bool completed = p->isCompleted();
    const bool cancelling = !completed && !p->isCombining();
    const QString none = QStringLiteral("\u2013");
    ui->fileInProcessLabel->setText(p->fileInProcess().isEmpty() ? none : p->fileInProcess());
    ui->outputFileInProcessLabel->setText(p->outputFileInProcess().isEmpty() ? none : p->outputFileInProcess());
    const int selected = qMax(0, p->totalFileSelected());
    ui->progressBar->setMaximum(qMax(1, selected));
    ui->progressBar->setValue(qBound(0, p->totalFileProcessed(), qMax(1, selected)));
    ui->progressBar->setFormat(tr("%1 of %2").arg(p->totalFileProcessed()).arg(selected));
    ui->countsLabel->setText(tr("Files processed: %1 of %2    TIFF files created: %3 of %4")
                                 .arg(p->totalFileProcessed())
                                 .arg(selected)
                                 .arg(p->totalFileCreated())
                                 .arg(p->outputFiles.size()));
    QString message = QString(p->message()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // "All files created" can hold for a combined file that lost some of its
    // sources; say so, or the loss goes unnoticed.
    const int lost = completed ? p->log().pagesNotConverted() : 0;
    if (lost > 0)
        message += QLatin1Char('\n') + tr("%n source image(s) or page(s) could not be converted; View Log lists them.", nullptr, lost);
    if (completed && p->totalFileSkipped() > 0)
        message += QLatin1Char('\n') + tr("%n file(s) not made: the name was taken (see the choice in Output Settings).", nullptr, p->totalFileSkipped());
    ui->messageLabel->setText(message);
    // Shown once the run has lost something it can try again.
    ui->retryFailedBtn->setVisible(completed && !failedSources(p->log()).isEmpty());
    if (completed && p->wasCancelled())
        ui->headingLabel->setText(tr("Conversion cancelled"));
    else if (completed)
        ui->headingLabel->setText(lost > 0 ? tr("Conversion finished with problems") : tr("Conversion finished"));
    else if (cancelling)
        ui->headingLabel->setText(tr("Cancelling after the file in process..."));
    else
        ui->headingLabel->setText(tr("Converting images to TIFF..."));
    ui->cancelProcessBtn->setEnabled(!completed && !cancelling);
    ui->viewLogBtn->setEnabled(completed && !p->log().logFilePath().isEmpty());
    // The run object must outlive its thread: Close only once it has finished.
    ui->closeProcessBtn->setEnabled(completed);
    if (completed && !ui->closeProcessBtn->hasFocus())
        ui->closeProcessBtn->setFocus();

    m_timeLeft.update(p->sourceBytesProcessed(), p->totalFileProcessed(), m_runClock.elapsed());
    updateTimeLeft();
    if (completed && !m_runEndAnnounced) {
        m_runEndAnnounced = true;
        announceRunEnd();
    }
}

void QuillonAppDelegate::updateTimeLeft()
{
    Process *p = m_process.get();
    auto *ui = m_processViewPanel->ui();
    const bool running = p && !p->isCompleted() && p->isCombining();
    const qint64 left = running ? m_timeLeft.msecsLeft(m_runClock.elapsed()) : -1;
    if (left >= 0) {
        ui->timeLeftLabel->setText(tr("Time left: %1    (%2, %3 files/s)")
                                       .arg(timeLeftText(left), throughputText(m_timeLeft.bytesPerSecond()))
                                       .arg(m_timeLeft.filesPerSecond(), 0, 'f', 1));
    }
    // Unknown before the first file and after the end: no guess is shown.
    ui->timeLeftLabel->setVisible(left >= 0);
    if (p && !p->isCompleted())
        m_window->setWindowTitle(tr("%1% \u2013 %2").arg(m_timeLeft.percent(p->totalFileProcessed(), p->totalFileSelected())).arg(m_idleTitle));
    else
        m_window->setWindowTitle(m_idleTitle);
    if ((!p || p->isCompleted()) && m_runTicker)
        m_runTicker->stop();
}

bool QuillonAppDelegate::isWindowActive() const
{
    for (QWidget *w = QApplication::activeWindow(); w; w = w->parentWidget()) {
        if (w == m_window.get())
            return true;
    }
    return false;
}

void QuillonAppDelegate::announceRunEnd()
{
    // Someone looking at the window sees the sheet; a run ending behind
    // other windows is told by the desktop.
    if (isWindowActive() || !m_desktop.notify || !m_process)
        return;
    const Process *p = m_process.get();
    DesktopNotification n;
    n.summary = m_processViewPanel->ui()->headingLabel->text();
    n.body = tr("%1 of %2 TIFF file(s) created in %3").arg(p->totalFileCreated()).arg(p->outputFiles.size()).arg(p->outputFolder);
    const QPointer<QuillonAppDelegate> self(this);
    const QString folder = p->outputFolder;
    if (!folder.isEmpty()) {
        n.actionLabel = tr("Open Output Folder");
        n.onAction = [self, folder] {
            if (self)
                self->openUrl(QUrl::fromLocalFile(folder));
        };
    }
    n.onActivate = [self] {
        if (self)
            self->openAppAction();
    };
    guarded("Error in (announceRunEnd) : %1", [&] { m_desktop.notify(n); });
}

void QuillonAppDelegate::cancelProcessAction()
{
    if (m_process)
        m_process->setIsCombining(false);
}

void QuillonAppDelegate::viewLogAction()
{
    guarded("Error in (viewLog) : %1", [&] {
        if (m_process && !m_process->log().logFilePath().isEmpty())
            openUrl(QUrl::fromLocalFile(m_process->log().logFilePath()));
    });
}

void QuillonAppDelegate::closeProcessAction()
{
    if (m_process && !m_process->isCompleted())
        return;
    m_processViewPanel->endSheet();
    if (m_settings->isClearProcessedFiles()) {
        QList<int> checked;
        for (int r = 0; r < m_files.size(); ++r) {
            if (m_files.at(r)->isSelected)
                checked << r;
        }
        m_ui->mainTableView->clearSelection();
        m_model->removeRowsAt(checked);
    }
    m_commands.running = false;
    resetViewForProcess(true);
    stopProcess();
    resetView(true);
    if (m_process && m_usagesReport) {
        const QString feature = UsagesReportingWindowController::featureNameForCombineMode(m_process->property("combineMode").toInt());
        if (!feature.isEmpty())
            m_usagesReport->updateUsages(feature, m_process->totalFileProcessed());
    }
    m_process.reset();
    emit processClosed();
    addPendingPaths();
}

void QuillonAppDelegate::retryFailedAction()
{
    guarded("Error in (retryFailedAction) : %1", [&] {
        if (!m_process || !m_process->isCompleted())
            return;
        const QStringList failed = failedSources(m_process->log());
        if (failed.isEmpty())
            return;
        closeProcessAction();
        QSet<QString> listed;
        for (const FileItemPtr &item : std::as_const(m_files))
            listed.insert(item->path());
        QList<QUrl> missing;
        for (const QString &path : failed)
            if (!listed.contains(path))
                missing << QUrl::fromLocalFile(path);
        if (!missing.isEmpty() && loadURLs(Arguments{missing, false, false})) {
            m_retryPaths = failed; // checked when the job has listed them
            return;
        }
        checkExactly(failed);
        showOutputSettings();
    });
}

void QuillonAppDelegate::checkExactly(const QStringList &paths)
{
    const QSet<QString> wanted(paths.cbegin(), paths.cend());
    for (const FileItemPtr &item : std::as_const(m_files))
        item->isSelected = wanted.contains(item->path());
    if (!m_files.isEmpty())
        m_model->reloadRows(0, int(m_files.size()) - 1, FileListModel::IsSelected);
    updateTotalLabel();
    // The first of them in view, so the user sees what is to be retried.
    for (int row = 0; row < m_files.size(); ++row) {
        if (m_files.at(row)->isSelected) {
            m_ui->mainTableView->scrollTo(m_model->index(row, FileListModel::Name));
            break;
        }
    }
}

void QuillonAppDelegate::startProcess()
{
    const QColor dimmed = m_window->palette().color(QPalette::Disabled, QPalette::WindowText);
    m_isProcessing = true;
    for (QLabel *l : {m_ui->labelTotalFiles, m_ui->labelTimeTaken}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, dimmed);
        l->setPalette(p);
    }
    m_ui->loadingIndicator->startAnimation();
}

void QuillonAppDelegate::stopProcess()
{
    const QColor normal = m_window->palette().color(QPalette::Active, QPalette::WindowText);
    m_isProcessing = false;
    for (QLabel *l : {m_ui->labelTotalFiles, m_ui->labelTimeTaken}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, normal);
        l->setPalette(p);
    }
    m_ui->loadingIndicator->stopAnimation();
    updateTotalLabel();
    setCombineOptions(m_settings->combineOptionIndex());
}

void QuillonAppDelegate::resetViewForProcess(bool)
{
    // Convert and the adding job's Cancel follow CommandState::running.
    guarded("Error in (resetViewForProcess:) : %1", [&] { setCombineOptions(m_settings->combineOptionIndex()); });
}

void QuillonAppDelegate::updateTimeTakenLabel(const QString &text)
{
    guarded("Error in (updateTimeTakenLabel:) : %1", [&] {
        const QString shown =
            text.isEmpty() ? QStringLiteral("Total Time Taken : %1 %2/%3").arg(QStringLiteral("0 sec(s)")).arg(0).arg(0) : text;
        m_ui->labelTimeTaken->setText(shown);
        m_ui->labelTimeTaken->repaint();
        // The run's lines go to its sheet too.
        if (!text.isEmpty() && m_process && m_process->isRunningInBackground())
            m_processViewPanel->ui()->timeTakenLabel->setText(text);
    });
}

void QuillonAppDelegate::openOutputFolder(const QString &path)
{
    if (m_quitting)
        return;
    openUrl(QUrl::fromLocalFile(path));
}

} // namespace quillon
