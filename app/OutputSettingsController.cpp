#include "app/OutputSettingsController.h"

#include "app/AppGuard.h"
#include "app/BilevelPreviewer.h"
#include "app/EditionWindow.h"
#include "app/FileListController.h"
#include "app/FileListModel.h"
#include "app/OpenPanel.h"
#include "app/Sheets.h"
#include "app/WindowHost.h"
#include "core/OutputPlan.h"
#include "core/Settings.h"
#include "core/TextNumbers.h"
#include "core/image/Compression.h"

#include "ui_MainWindow.h"
#include "ui_OutputSettings.h"

#include <QDir>
#include <QMainWindow>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTimer>

#include <algorithm>

namespace quillon {

namespace {

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

// The level a Deflate or Zstandard run writes with: the chosen one, else the codec's default.
int levelInUse(const Settings &s)
{
    if (s.compressionLevel() > 0)
        return s.compressionLevel();
    return s.compression() == image::Compression::Zstd ? image::kDefaultZstdLevel : image::kDefaultDeflateLevel;
}

} // namespace

OutputSettingsController::OutputSettingsController(WindowHost &host)
    : m_host(host)
{
}

Settings *OutputSettingsController::settings() const { return m_host.settings(); }

void OutputSettingsController::bind()
{
    auto *out = m_host.outputSettingPanel()->ui();
    Settings *s = settings();
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
        applyNumberFieldRule(out->groupMultiPageTIFFCount);
        const int v = out->groupMultiPageTIFFCount->value();
        if (v >= 1)
            settings()->setGroupMultiPageTIFFCount(v);
    });
    connect(out->groupMultiPageTIFFCount, &QLineEdit::editingFinished, this, [this] { endEditing(); });
    connect(out->groupMultiPageTIFFStepper, &Stepper::valueStepped, s, &Settings::setGroupMultiPageTIFFCount);
    connect(s, &Settings::groupMultiPageTIFFCountChanged, out->groupMultiPageTIFFCount, [out, s] {
        if (out->groupMultiPageTIFFCount->value() != s->groupMultiPageTIFFCount())
            out->groupMultiPageTIFFCount->setValue(s->groupMultiPageTIFFCount());
        out->groupMultiPageTIFFStepper->setValue(s->groupMultiPageTIFFCount());
    });

    bindCodingChoices();
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

    connect(out->chooseOutputFolderBtn, &QPushButton::clicked, this, &OutputSettingsController::chooseOutputFolder);
    connect(out->closeOutputSettingBtn, &QPushButton::clicked, this, &OutputSettingsController::closeOutputSetting);
    // Escape closes the sheet; in edition 1's pane, where the form stays, it only commits the texts.
    m_host.outputSettingPanel()->onEscape = [this] {
        if (m_host.edition().outputSettingsInPane())
            endEditing();
        else
            closeOutputSetting();
    };
    bindSettingsSummary();
    connect(s, &Settings::outputFolderPathChanged, this, [this] {
        showOutputFolderState();
        updateSettingsSummary();
    });
    showOutputFolderState();
}

void OutputSettingsController::bindBilevelChoices()
{
    auto *out = m_host.outputSettingPanel()->ui();
    Settings *s = settings();
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
    connect(s, &Settings::automaticCompressionChanged, this, &OutputSettingsController::updateBilevelPreview);
    connect(s, &Settings::tiffCompressionIndexChanged, this, &OutputSettingsController::updateBilevelPreview);

    out->existingFilesPopup->setCurrentIndex(int(s->existingFilePolicy()));
    connect(out->existingFilesPopup, &QComboBox::currentIndexChanged, s,
            [s](int index) { s->setExistingFilePolicy(ExistingFilePolicy(std::clamp(index, 0, 2))); });
    connect(s, &Settings::existingFilePolicyChanged, out->existingFilesPopup,
            [out, s] { out->existingFilesPopup->setCurrentIndex(int(s->existingFilePolicy())); });

    m_previewer = new BilevelPreviewer(this);
    connect(m_previewer, &BilevelPreviewer::previewReady, this, &OutputSettingsController::showBilevelPreview);
    // List changes come in bursts (a sort, a load): one request for them all.
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(50);
    connect(m_previewTimer, &QTimer::timeout, this, &OutputSettingsController::updateBilevelPreview);
    connect(m_previewTimer, &QTimer::timeout, this, &OutputSettingsController::showMirrorChoice);
    auto later = [this] { updateBilevelPreviewSoon(); };
    FileListModel *model = m_host.fileList().model();
    connect(model, &FileListModel::checkMarksChanged, this, later);
    connect(model, &QAbstractItemModel::rowsInserted, this, later);
    connect(model, &QAbstractItemModel::rowsRemoved, this, later);
    connect(model, &QAbstractItemModel::rowsMoved, this, later);
    connect(model, &QAbstractItemModel::modelReset, this, later);
    connect(model, &QAbstractItemModel::layoutChanged, this, later);
    connect(model, &QAbstractItemModel::dataChanged, this, later);
}

void OutputSettingsController::bindCodingChoices()
{
    auto *out = m_host.outputSettingPanel()->ui();
    Settings *s = settings();
    // The popup's rows are the compressions in their own order.
    static_assert(int(image::Compression::Automatic) == 5 && int(image::Compression::Jpeg) == 8);
    if (auto *model = qobject_cast<QStandardItemModel *>(out->tiffCompressionPopup->model())) {
        for (image::Compression c : {image::Compression::Deflate, image::Compression::Zstd, image::Compression::Jpeg}) {
            if (image::compressionAvailable(c))
                continue;
            // Shown, so the choice is known to exist; off, with the reason.
            QStandardItem *item = model->item(int(c));
            item->setEnabled(false);
            item->setToolTip(tr("Not available: the TIFF library on this computer cannot write %1 compression.").arg(item->text()));
        }
    }
    out->resolutionSpinBox->setRange(1, Settings::kMaxDpi);
    showCodingChoices();
    connect(out->tiffCompressionPopup, &QComboBox::currentIndexChanged, s, [s](int index) {
        if (index >= 0 && index <= int(image::Compression::Jpeg))
            s->setCompression(image::Compression(index));
    });
    connect(out->compressionLevelSpinBox, &QSpinBox::valueChanged, s, [s](int value) {
        const image::LevelRange r = image::levelRange(s->compression());
        if (value >= r.min && value <= r.max && r.max > 0)
            s->setCompressionLevel(value);
    });
    connect(out->jpegQualitySpinBox, &QSpinBox::valueChanged, s, &Settings::setJpegQuality);
    connect(out->keepMetadataBtn, &QAbstractButton::toggled, s, &Settings::setKeepMetadata);
    connect(out->resolutionPopup, &QComboBox::currentIndexChanged, s,
            [s, out](int index) { s->setOutputDpi(index == 1 ? out->resolutionSpinBox->value() : 0); });
    connect(out->resolutionSpinBox, &QSpinBox::valueChanged, s, [s, out](int value) {
        if (out->resolutionPopup->currentIndex() == 1)
            s->setOutputDpi(value);
    });
    for (auto signal : {&Settings::tiffCompressionIndexChanged, &Settings::automaticCompressionChanged, &Settings::compressionMethodChanged,
                        &Settings::codingOptionsChanged, &Settings::keepMetadataChanged, &Settings::outputDpiChanged})
        connect(s, signal, this, &OutputSettingsController::showCodingChoices);

    out->mirrorFoldersBtn->setChecked(s->isMirrorFolders());
    connect(out->mirrorFoldersBtn, &QAbstractButton::toggled, s, &Settings::setMirrorFolders);
    for (auto signal : {&Settings::mirrorFoldersChanged, &Settings::combineOptionIndexChanged})
        connect(s, signal, this, &OutputSettingsController::showMirrorChoice);
    showMirrorChoice();
}

void OutputSettingsController::showCodingChoices()
{
    auto *out = m_host.outputSettingPanel()->ui();
    Settings *s = settings();
    const image::Compression c = s->compression();
    // The settings' own signals come back here: no second round through the controls.
    const QSignalBlocker popup(out->tiffCompressionPopup), level(out->compressionLevelSpinBox), quality(out->jpegQualitySpinBox),
        metadata(out->keepMetadataBtn), resolution(out->resolutionPopup), dpi(out->resolutionSpinBox);
    out->tiffCompressionPopup->setCurrentIndex(int(c));
    const image::LevelRange r = image::levelRange(c);
    const bool hasLevel = r.max > 0;
    if (hasLevel) {
        out->compressionLevelSpinBox->setRange(r.min, r.max);
        out->compressionLevelSpinBox->setValue(levelInUse(*s));
        out->compressionLevelSpinBox->setToolTip(tr("From %1 (fastest) to %2 (smallest files)").arg(r.min).arg(r.max));
    } else {
        out->compressionLevelSpinBox->setToolTip(tr("Only Deflate and Zstandard compression take a level"));
    }
    const bool hasQuality = c == image::Compression::Jpeg;
    out->jpegQualitySpinBox->setValue(s->jpegQuality());
    out->jpegQualitySpinBox->setToolTip(hasQuality ? tr("Higher quality keeps more detail and makes larger files")
                                                   : tr("Only JPEG compression takes a quality"));
    // Off rather than hidden, as the threshold is: the form keeps its size.
    out->compressionLevelLabel->setEnabled(hasLevel);
    out->compressionLevelSpinBox->setEnabled(hasLevel);
    out->jpegQualityLabel->setEnabled(hasQuality);
    out->jpegQualitySpinBox->setEnabled(hasQuality);

    out->keepMetadataBtn->setChecked(s->isKeepMetadata());
    out->resolutionPopup->setCurrentIndex(s->outputDpi() > 0 ? 1 : 0);
    if (s->outputDpi() > 0)
        out->resolutionSpinBox->setValue(s->outputDpi());
    out->resolutionSpinBox->setEnabled(s->outputDpi() > 0);
}

QString commonFolder(const QStringList &paths)
{
    QStringList common;
    bool first = true;
    for (const QString &path : paths) {
        QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'));
        parts.removeLast(); // the file's own name
        if (first) {
            common = parts;
            first = false;
            continue;
        }
        qsizetype same = 0;
        while (same < common.size() && same < parts.size() && common.at(same) == parts.at(same))
            ++same;
        common.resize(same);
        if (common.size() <= 1)
            break;
    }
    if (first)
        return QString();
    const QString joined = common.join(QLatin1Char('/'));
    return joined.isEmpty() ? QStringLiteral("/") : joined;
}

QString OutputSettingsController::checkedSourcesFolder() const
{
    QStringList paths;
    for (const FileItemPtr &item : std::as_const(m_host.fileList().files()))
        if (item && item->isSelected)
            paths << item->path();
    const QString folder = commonFolder(paths);
    // A kept folder above the sources' own stays: a retry's outputs go where the first run put them.
    if (!folder.isEmpty() && !m_keptMirrorRoot.isEmpty()) {
        const QString kept = m_keptMirrorRoot.endsWith(QLatin1Char('/')) ? m_keptMirrorRoot : m_keptMirrorRoot + QLatin1Char('/');
        if (folder == m_keptMirrorRoot || folder.startsWith(kept))
            return m_keptMirrorRoot;
    }
    return folder;
}

QString OutputSettingsController::mirrorRoot() const
{
    const Settings *s = settings();
    if (!s || !s->isMirrorFolders() || s->combineOptionIndex() != SingleImageFiles)
        return QString();
    return checkedSourcesFolder();
}

void OutputSettingsController::keepMirrorRoot(const QString &root)
{
    m_keptMirrorRoot = root;
    showMirrorChoice();
}

QString OutputSettingsController::takeMirrorRoot()
{
    const QString root = mirrorRoot();
    m_keptMirrorRoot.clear();
    return root;
}

void OutputSettingsController::showMirrorChoice()
{
    auto *out = m_host.outputSettingPanel()->ui();
    Settings *s = settings();
    const bool applies = s->combineOptionIndex() == SingleImageFiles;
    out->mirrorFoldersBtn->setEnabled(applies);
    {
        const QSignalBlocker block(out->mirrorFoldersBtn);
        out->mirrorFoldersBtn->setChecked(s->isMirrorFolders());
    }
    QString text;
    if (!applies) {
        out->mirrorFoldersBtn->setToolTip(tr("Only when each image becomes a TIFF file of its own: combined files have no folder of their own."));
        text = tr("Not with combined files");
    } else {
        const QString folder = checkedSourcesFolder();
        out->mirrorFoldersBtn->setToolTip(folder.isEmpty() ? tr("Each TIFF file goes to the folder below the output folder that its image has below the common folder of the checked images.")
                                                           : tr("Recreate the folders below %1").arg(folder));
        // The box and this line read as one: "Recreate the folders below /home/u/Scans".
        text = folder.isEmpty() ? tr("the common folder of the checked images") : folder;
    }
    out->mirrorRootLabel->setText(text);
    out->mirrorRootLabel->setEnabled(applies && s->isMirrorFolders());
    out->mirrorFoldersBtn->setAccessibleDescription(applies ? tr("Recreate the folders below %1").arg(text) : text);
}

void OutputSettingsController::updateBilevelPreview()
{
    auto *out = m_host.outputSettingPanel()->ui();
    if (!m_previewer || !out->bilevelPreview->isVisible())
        return;
    FileItemPtr first;
    for (const FileItemPtr &item : std::as_const(m_host.fileList().files())) {
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
    request.options = settings()->bilevelOptions();
    request.box = out->bilevelPreview->contentsRect().size();
    m_previewSource = tr("%1, page %2").arg(first->name(), QString::number(page + 1));
    m_previewer->request(request);
}

void OutputSettingsController::showBilevelPreview(const QImage &image, bool alreadyBilevel, const QString &error)
{
    auto *out = m_host.outputSettingPanel()->ui();
    QString text;
    if (image.isNull()) {
        text = tr("%1 cannot be shown: %2").arg(m_previewSource, error);
    } else if (alreadyBilevel) {
        text = tr("%1 is black and white already and is written as it is.").arg(m_previewSource);
    } else {
        text = tr("%1, with %2.").arg(m_previewSource, bilevelName(settings()->bilevelOptions()));
        const int index = settings()->tiffCompressionIndex();
        if (settings()->isAutomaticCompression() || (index != CcittGroup3Compression && index != CcittGroup4Compression))
            text += QLatin1Char('\n') + tr("Black and white is made only for CCITT Group 3 and Group 4 compression.");
    }
    out->bilevelPreview->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
    out->bilevelPreviewCaption->setText(text);
    out->bilevelPreview->setAccessibleDescription(text);
}

void OutputSettingsController::bindSettingsSummary()
{
    Settings *s = settings();
    for (auto signal : {&Settings::combineOptionIndexChanged, &Settings::groupMultiPageTIFFCountChanged, &Settings::tiffCompressionIndexChanged,
                        &Settings::automaticCompressionChanged, &Settings::bilevelOptionsChanged, &Settings::compressionMethodChanged,
                        &Settings::codingOptionsChanged, &Settings::keepMetadataChanged, &Settings::outputDpiChanged,
                        &Settings::mirrorFoldersChanged,
                        &Settings::singleMultiPageTIFFNameChanged, &Settings::groupMultiPageTIFFNameChanged, &Settings::outputFolderPathChanged,
                        &Settings::isOpenFolderAfterConversionChanged, &Settings::isClearProcessedFilesChanged})
        connect(s, signal, this, &OutputSettingsController::updateSettingsSummary);
    updateSettingsSummary();
}

void OutputSettingsController::updateSettingsSummary()
{
    Settings *s = settings();
    Ui::MainWindow *ui = m_host.ui();
    const int mode = s->combineOptionIndex();
    ui->summaryModeLabel->setText(combineModeTitle(mode));
    QString name;
    if (mode == OneMultiPageFile)
        name = s->singleMultiPageTIFFName().isEmpty() ? tr("(not set)") : s->singleMultiPageTIFFName() + QStringLiteral(".tiff");
    else if (mode == GroupedFiles)
        name = tr("%1, %2 images per file")
                   .arg(s->groupMultiPageTIFFName().isEmpty() ? tr("(base name not set)") : s->groupMultiPageTIFFName(),
                        QString::number(s->groupMultiPageTIFFCount()));
    else if (s->isMirrorFolders())
        name = tr("named after each image, in its own folder recreated in the output folder");
    else
        name = tr("named after each image");
    ui->summaryNameLabel->setText(name);
    const image::Compression c = s->compression();
    QString compression = m_host.outputSettingPanel()->ui()->tiffCompressionPopup->itemText(int(c));
    if ((c == image::Compression::CcittG3 || c == image::Compression::CcittG4) && s->bilevelOptions().method != image::BilevelOptions::Auto)
        compression += QStringLiteral(", ") + bilevelName(s->bilevelOptions());
    else if (c == image::Compression::Deflate || c == image::Compression::Zstd)
        compression += QStringLiteral(", ") + tr("level %1").arg(levelInUse(*s));
    else if (c == image::Compression::Jpeg)
        compression += QStringLiteral(", ") + tr("quality %1").arg(s->jpegQuality());
    if (s->outputDpi() > 0)
        compression += QStringLiteral("; ") + tr("%1 dpi").arg(s->outputDpi());
    if (s->isKeepMetadata())
        compression += QStringLiteral("; ") + tr("metadata kept");
    ui->summaryCompressionLabel->setText(compression);
    ui->summaryFolderLabel->setText(s->outputFolderPath().isEmpty() ? tr("asked for at Convert") : s->outputFolderPath());
    QStringList after;
    if (s->isOpenFolderAfterConversion())
        after << tr("open the output folder");
    if (s->isClearProcessedFiles())
        after << tr("remove the checked files from the list");
    ui->summaryAfterLabel->setText(after.isEmpty() ? tr("nothing more") : after.join(QStringLiteral("; ")));
    m_host.outputSettingPanel()->ui()->outputFolderLabel->setText(s->outputFolderPath().isEmpty() ? tr("None chosen") : s->outputFolderPath());
}

void OutputSettingsController::showOutputSettings()
{
    if (m_host.commandState().viewEnabled)
        m_host.edition().showOutputSettings();
}

void OutputSettingsController::closeOutputSetting()
{
    endEditing();
    m_host.outputSettingPanel()->endSheet();
    m_host.ui()->mainTableView->viewport()->update();
}

void OutputSettingsController::combineOptionChanged(QAbstractButton *sender)
{
    if (!sender || !sender->property("tag").isValid())
        return;
    settings()->setCombineOptionIndex(sender->property("tag").toInt());
    settings()->synchronize();
    setCombineOptions(settings()->combineOptionIndex());
}

void OutputSettingsController::setCombineOptions(int index)
{
    guarded("Error in (setCombineOptions:) : %1", [&] {
        auto *out = m_host.outputSettingPanel()->ui();
        const QPalette pal = m_host.window()->palette();
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
        m_host.edition().showCombineMode(index, normalText, disabledText);
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
    m_host.fileList().updateTotalLabel();
}

void OutputSettingsController::chooseOutputFolder()
{
    auto *panel = new OpenPanel(m_host.edition().outputFolderPanelParent());
    panel->setObjectName(QStringLiteral("chooseOutputFolderPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowTitle(tr("Output Folder"));
    panel->setCanChooseFiles(false);
    panel->setCanChooseDirectories(true);
    panel->setAllowsMultipleSelection(false);
    panel->setCanCreateDirectories(true);
    panel->setResolvesAliases(true);
    panel->setMessage(m_host.edition().outputFolderPanelMessage());
    if (!settings()->outputFolderPath().isEmpty())
        panel->setDirectory(settings()->outputFolderPath());
    connect(panel, &QDialog::finished, this, [this, panel](int result) {
        openPanelOutputFolderDidEnd(result, panel->chosenPaths().value(0));
    });
    panel->open();
}

void OutputSettingsController::openPanelOutputFolderDidEnd(int returnCode, const QString &path)
{
    if (returnCode != QDialog::Accepted || path.isEmpty())
        return;
    settings()->setOutputFolderPath(path);
    settings()->synchronize();
    setCombineOptions(settings()->combineOptionIndex());
}

void OutputSettingsController::showOutputFolderState()
{
    Settings *s = settings();
    const bool selected = !s->outputFolderPath().isEmpty();
    m_isOutputFolderSelected = selected;
    m_host.outputSettingPanel()->ui()->setCurrentAsDefaultOutputFolderPathBtn->setEnabled(selected);
    m_host.edition().showOutputFolderChosen(selected);
    if (!selected)
        s->setIsSetCurrentAsDefaultOutputFolderPath(false);
}

void OutputSettingsController::endEditing()
{
    // Texts are taken over as they are typed; a number field still has to be
    // read as a number, as leaving it would.
    auto *out = m_host.outputSettingPanel()->ui();
    out->groupMultiPageTIFFCount->normalizeText();
    if (settings()) {
        const int count = out->groupMultiPageTIFFCount->value();
        if (count >= 1)
            settings()->setGroupMultiPageTIFFCount(count);
        else
            out->groupMultiPageTIFFCount->setValue(settings()->groupMultiPageTIFFCount());
        settings()->setSingleMultiPageTIFFName(out->singleMultiPageTIFFName->text());
        settings()->setGroupMultiPageTIFFName(out->groupMultiPageTIFFName->text());
    }
}

void applyNumberFieldRule(NumberField *field)
{
    if (!field || (field->tag() != WindowNames::GroupSizeField && field->tag() != WindowNames::PageStepField))
        return;
    const QString fallback = field->tag() == WindowNames::GroupSizeField ? QStringLiteral("2") : QStringLiteral("1");
    const QString text = field->text();
    QString result;
    if (text.isEmpty()) {
        result = fallback;
    } else {
        qsizetype first = 0;
        qsizetype last = text.size() - 1;
        while (first <= last && !text.at(first).isDigit())
            ++first;
        while (last >= first && !text.at(last).isDigit())
            --last;
        const QString trimmed = text.mid(first, last - first + 1);
        result = leadingInt(trimmed) == 0 ? fallback : trimmed;
    }
    if (result == text)
        return;
    const int cursor = field->cursorPosition();
    field->setText(result);
    if (result == fallback && leadingInt(text) == 0) {
        // The fallback is selected, so the next digit typed replaces it.
        field->selectAll();
    } else {
        field->setCursorPosition(qMin(cursor, int(result.size())));
    }
    field->setFocus();
}

void OutputSettingsController::updateBilevelPreviewSoon()
{
    if (m_previewTimer)
        m_previewTimer->start();
}

void OutputSettingsController::refresh()
{
    if (!settings())
        return;
    setCombineOptions(settings()->combineOptionIndex());
    showOutputFolderState();
}

QLineEdit *OutputSettingsController::missingName(QString *message)
{
    Settings *s = settings();
    auto *out = m_host.outputSettingPanel()->ui();
    switch (s->combineOptionIndex()) {
    case OneMultiPageFile:
        if (s->singleMultiPageTIFFName().isEmpty()) {
            *message = tr("Please enter new TIFF file name!");
            return out->singleMultiPageTIFFName;
        }
        break;
    case GroupedFiles:
        if (s->groupMultiPageTIFFCount() <= 1)
            s->setGroupMultiPageTIFFCount(2);
        if (s->groupMultiPageTIFFName().isEmpty()) {
            *message = tr("Please enter new TIFF file base name!");
            return out->groupMultiPageTIFFName;
        }
        break;
    default:
        break;
    }
    return nullptr;
}

} // namespace quillon

