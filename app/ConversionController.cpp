#include "app/ConversionController.h"

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/DesktopIntegration.h"
#include "app/EditionWindow.h"
#include "app/FileAddingJob.h"
#include "app/FileListController.h"
#include "app/OpenPanel.h"
#include "app/OutputSettingsController.h"
#include "app/Sheets.h"
#include "app/WindowHost.h"
#include "core/AppFolders.h"
#include "core/OutputPlan.h"
#include "core/RetryList.h"
#include "core/Settings.h"

#include "ui_MainWindow.h"
#include "ui_OutputSettings.h"
#include "ui_Progress.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QTimer>

namespace quillon {

namespace {

const QString kWritingStatus = QStringLiteral("Writing File On Disk...");

// The two boxes shown under the output-folder panel of Convert.
class OutputFolderAccessory : public QWidget {
public:
    explicit OutputFolderAccessory(QWidget *parent = nullptr)
        : QWidget(parent)
        , isSetCurrentAsDefaultOutputFolder(new QCheckBox(ConversionController::tr("Keep as default output folder"), this))
        , isOpenFolderAfterConversion(new QCheckBox(ConversionController::tr("Open output folder after conversion"), this))
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

ConversionController::ConversionController(WindowHost &host)
    : m_host(host)
{
}

ConversionController::~ConversionController()
{
    if (m_process) {
        m_process->stop();
        m_process->waitForFinished();
        m_process.reset();
    }
}

void ConversionController::stop()
{
    if (m_process)
        m_process->stop();
}

void ConversionController::bind()
{
    m_process = std::make_unique<Process>();
    ProgressSheet *sheet = m_host.processViewPanel();
    sheet->onEscape = [this] {
        // Escape cancels a run that works and closes a finished one.
        if (m_process && !m_process->isCompleted())
            cancelProcessAction();
        else
            closeProcessAction();
    };
    auto *progress = sheet->ui();
    connect(progress->cancelProcessBtn, &QPushButton::clicked, this, &ConversionController::cancelProcessAction);
    connect(progress->viewLogBtn, &QPushButton::clicked, this, &ConversionController::viewLogAction);
    connect(progress->retryFailedBtn, &QPushButton::clicked, this, &ConversionController::retryFailedAction);
    connect(progress->closeProcessBtn, &QPushButton::clicked, this, &ConversionController::closeProcessAction);
    connect(&m_host.adding(), &FileAddingJob::finished, this, [this] {
        // Sources a retry had to list again: now the check marks.
        if (!m_retryPaths.isEmpty()) {
            m_host.fileList().checkExactly(std::exchange(m_retryPaths, {}));
            m_host.outputSettings().showOutputSettings();
        }
    });
}

void ConversionController::convertAction() { m_host.edition().convert(); }

void ConversionController::convertWithChecks()
{
    guarded("Error in convertAction : %1", [&] {
        if (!m_host.commandState().canConvert() || m_outputFolderPanel)
            return;
        m_host.endEditing();
        if (!namesReady())
            return;

        m_outputFolder = m_host.settings()->outputFolderPath();
        if (!m_outputFolder.isEmpty() && QFileInfo::exists(m_outputFolder) && m_host.isWritableFolder(m_outputFolder)) {
            combine();
            return;
        }

        auto *panel = new OpenPanel(m_host.window());
        panel->setObjectName(QStringLiteral("outputFolderPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setCanChooseFiles(false);
        panel->setCanChooseDirectories(true);
        panel->setCanCreateDirectories(true);
        panel->setAllowsMultipleSelection(false);
        panel->setResolvesAliases(true);
        panel->setWindowTitle(tr("Choose Output Folder : "));
        if (!m_outputFolder.isEmpty() && QFileInfo(m_outputFolder).isDir())
            panel->setDirectory(m_outputFolder);
        QString message;
        if (m_outputFolder.isEmpty())
            message = tr("Please select output folder!");
        else if (!QFileInfo(m_outputFolder).isDir())
            message = tr("Output folder [ %1 ] is missing!\r\nPlease select valid output folder.").arg(m_outputFolder);
        else
            message = tr("Application does not have write permission for selected output folder!\r\n[ %1 ]\r\nPlease select valid output folder.")
                          .arg(m_outputFolder);
        panel->setMessage(message);
        auto *accessory = new OutputFolderAccessory;
        accessory->isSetCurrentAsDefaultOutputFolder->setChecked(false);
        accessory->isOpenFolderAfterConversion->setChecked(m_host.settings()->isOpenFolderAfterConversion());
        panel->setAccessoryView(accessory);
        m_outputFolderPanel = panel;
        connect(panel, &QDialog::finished, this, [this, panel, accessory](int result) {
            guarded("Error in convertAction : %1", [&] {
                if (result != QDialog::Accepted || panel->chosenPaths().isEmpty())
                    return;
                const QString chosen = panel->chosenPaths().first();
                if (!m_host.isWritableFolder(chosen)) {
                    informationAlertPanel(
                        m_host.window(), getAppTitle(),
                        tr("Application does not have write permission for selected output folder!\r\n[ %1 ]\r\nPlease try again or later.").arg(chosen));
                    return;
                }
                m_outputFolder = chosen;
                if (accessory->isSetCurrentAsDefaultOutputFolder->isChecked()) {
                    m_host.settings()->setOutputFolderPath(m_outputFolder);
                    m_host.settings()->setIsSetCurrentAsDefaultOutputFolderPath(true);
                }
                if (accessory->isOpenFolderAfterConversion->isChecked())
                    m_host.settings()->setIsOpenFolderAfterConversion(true);
                // A chosen folder is kept at once, not only at quitting.
                m_host.settings()->synchronize();
                if (m_outputFolder.compare(m_host.settings()->outputFolderPath(), Qt::CaseInsensitive) == 0)
                    m_host.outputSettings().setOutputFolderSelected();
                combine();
            });
        });
        panel->open();
    });
}

bool ConversionController::namesReady()
{
    m_host.ui()->settingTabView->setCurrentIndex(0);
    QString message;
    QLineEdit *missing = m_host.outputSettings().missingName(&message);
    if (!missing)
        return true;
    m_host.edition().alertMissingName(message);
    // The field lives in the output settings: show them, ready to type.
    m_host.outputSettings().showOutputSettings();
    missing->setFocus();
    return false;
}

void ConversionController::combine()
{
    if (m_host.edition().checksBeforeRun())
        startCombinedRun();
}

void ConversionController::startCombinedRun()
{
    guarded("Error in (combine) : %1", [&] {
        auto process = std::make_unique<Process>();
        process->setOwner(this, this);
        // Mirrored like the command line's --mirror-from, below the checked sources' common folder.
        PlanScope scope;
        scope.mirrorRoot = m_host.outputSettings().takeMirrorRoot();
        const QList<FileItemPtr> &files = m_host.fileList().files();
        setUpRun(*process, [&files](OutputPlanner &planner) {
            for (const FileItemPtr &f : files)
                planner.add(f);
            return true;
        }, *m_host.settings(), m_outputFolder, m_host.settings()->jobs(), scope);
        process->setProperty("mirrorRoot", scope.mirrorRoot);
        process->setProperty("combineMode", m_host.settings()->combineOptionIndex());
        // A previous run (idle or finished) goes; none of them works any more here.
        m_process = std::move(process);
        m_running = true;
        m_runEndAnnounced = false;
        m_idleTitle = m_host.window()->windowTitle();
        m_timeLeft.reset(m_process->sourceBytesTotal());
        m_runClock.start();

        m_host.resetView(false);
        m_host.setBusy(true);
        m_host.ui()->loadingIndicator->stopAnimation();
        m_host.outputSettings().setCombineOptions(m_host.settings()->combineOptionIndex());
        bindProgressSheet();
        m_process->startInBackground();
        m_host.processViewPanel()->beginSheet();
    });
}

void ConversionController::bindProgressSheet()
{
    Process *p = m_process.get();
    auto *ui = m_host.processViewPanel()->ui();
    ui->timeTakenLabel->setText(timeTakenLine(inProcessText(), 0, 0));
    // Between files the time left counts down with the clock.
    if (!m_runTicker) {
        m_runTicker = new QTimer(this);
        m_runTicker->setInterval(1000);
        connect(m_runTicker, &QTimer::timeout, this, &ConversionController::updateTimeLeft);
    }
    m_runTicker->start();
    {
        std::lock_guard lock(m_begunMutex);
        m_begunSource.clear();
        m_begunOutput.clear();
    }
    // The run's signals come from its threads: they only mark the sheet as
    // changed (and keep the newest pair); the timer draws it here.
    if (!m_sheetTimer) {
        m_sheetTimer = new QTimer(this);
        m_sheetTimer->setInterval(33);
        connect(m_sheetTimer, &QTimer::timeout, this, &ConversionController::updateProgressSheetIfChanged);
    }
    const auto mark = [this] { m_sheetChanged = true; };
    for (auto signal : {&Process::isCombiningChanged, &Process::isCompletedChanged, &Process::totalFileSelectedChanged,
                        &Process::totalFileProcessedChanged, &Process::totalFileCreatedChanged, &Process::outputFileInProcessChanged,
                        &Process::messageChanged})
        connect(p, signal, this, mark, Qt::DirectConnection);
    connect(
        p, &Process::sourceBegun, this,
        [this, p, mirrored = !p->property("mirrorRoot").toString().isEmpty()](int index, int, const QString &source, const QString &output) {
            // The run names the file only; a mirrored one is shown with its folder below the output folder.
            QString shown = output;
            if (mirrored && index >= 1 && index <= p->outputFiles.size()) {
                const QString folder = QFileInfo(p->outputFiles.at(index - 1).filename).path();
                const QString below = QDir(p->outputFolder).relativeFilePath(folder);
                if (!below.isEmpty() && below != QLatin1String(".") && !below.startsWith(QLatin1String("..")))
                    shown = below + QLatin1Char('/') + output;
            }
            {
                std::lock_guard lock(m_begunMutex);
                m_begunSource = source;
                m_begunOutput = shown;
            }
            m_sheetChanged = true;
        },
        Qt::DirectConnection);
    // The end is drawn at once: Close waits on it.
    connect(p, &Process::finished, m_host.processViewPanel(), [this] { updateProgressSheet(); });
    m_sheetChanged = false;
    m_sheetTimer->start();
    updateProgressSheet();
}

void ConversionController::updateProgressSheetIfChanged()
{
    if (m_sheetChanged.exchange(false))
        updateProgressSheet();
}

void ConversionController::updateProgressSheet()
{
    Process *p = m_process.get();
    if (!p)
        return;
    auto *ui = m_host.processViewPanel()->ui();
    const bool completed = p->isCompleted();
    const bool cancelling = !completed && !p->isCombining();
    const QString none = QStringLiteral("\u2013");
    QString source, output;
    if (!completed) {
        std::lock_guard lock(m_begunMutex);
        source = QFileInfo(m_begunSource).fileName();
        output = m_begunOutput;
    }
    // With one job the run's own status is that of the one output in work.
    if (!completed && p->jobs == 1 && !output.isEmpty() && p->outputFileInProcess() == kWritingStatus)
        output = kWritingStatus;
    ui->fileInProcessLabel->setText(source.isEmpty() ? none : source);
    ui->outputFileInProcessLabel->setText(output.isEmpty() ? none : output);
    const int selected = qMax(0, p->totalFileSelected());
    ui->progressBar->setMaximum(qMax(1, selected));
    ui->progressBar->setValue(qBound(0, p->totalFileProcessed(), qMax(1, selected)));
    const QString processed = QString::number(p->totalFileProcessed()), selectedText = QString::number(selected);
    ui->progressBar->setFormat(tr("%1 of %2").arg(processed, selectedText));
    ui->countsLabel->setText(tr("Files processed: %1 of %2    TIFF files created: %3 of %4")
                                 .arg(processed, selectedText, QString::number(p->totalFileCreated()), QString::number(p->outputFiles.size())));
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
    if (completed && m_sheetTimer)
        m_sheetTimer->stop();
    if (completed && !m_runEndAnnounced) {
        m_runEndAnnounced = true;
        announceRunEnd();
    }
}

void ConversionController::updateTimeLeft()
{
    Process *p = m_process.get();
    auto *ui = m_host.processViewPanel()->ui();
    const bool running = p && !p->isCompleted() && p->isCombining();
    const qint64 left = running ? m_timeLeft.msecsLeft(m_runClock.elapsed()) : -1;
    if (left >= 0) {
        ui->timeLeftLabel->setText(tr("Time left: %1    (%2, %3 files/s)")
                                       .arg(timeLeftText(left), throughputText(m_timeLeft.bytesPerSecond()),
                                            QString::number(m_timeLeft.filesPerSecond(), 'f', 1)));
    }
    // Unknown before the first file and after the end: no guess is shown.
    ui->timeLeftLabel->setVisible(left >= 0);
    if (p && !p->isCompleted())
        m_host.window()->setWindowTitle(tr("%1% \u2013 %2").arg(QString::number(m_timeLeft.percent(p->totalFileProcessed(), p->totalFileSelected())), m_idleTitle));
    else
        m_host.window()->setWindowTitle(m_idleTitle);
    if ((!p || p->isCompleted()) && m_runTicker)
        m_runTicker->stop();
}

void ConversionController::announceRunEnd()
{
    // Someone looking at the window sees the sheet; a run ending behind
    // other windows is told by the desktop.
    if (m_host.isWindowActive() || !m_host.desktop().notify || !m_process)
        return;
    const Process *p = m_process.get();
    DesktopNotification n;
    n.summary = m_host.processViewPanel()->ui()->headingLabel->text();
    n.body = tr("%1 of %n TIFF file(s) created in %2", nullptr, int(p->outputFiles.size()))
                 .arg(QString::number(p->totalFileCreated()), p->outputFolder);
    const QPointer<ConversionController> self(this);
    const QString folder = p->outputFolder;
    if (!folder.isEmpty()) {
        n.actionLabel = tr("Open Output Folder");
        n.onAction = [self, folder] {
            if (self)
                self->m_host.openUrl(QUrl::fromLocalFile(folder));
        };
    }
    n.onActivate = [self] {
        if (self)
            self->m_host.openAppAction();
    };
    guarded("Error in (announceRunEnd) : %1", [&] { m_host.desktop().notify(n); });
}

void ConversionController::cancelProcessAction()
{
    if (m_process)
        m_process->setIsCombining(false);
}

void ConversionController::viewLogAction()
{
    guarded("Error in (viewLog) : %1", [&] {
        if (m_process && !m_process->log().logFilePath().isEmpty())
            m_host.openUrl(QUrl::fromLocalFile(m_process->log().logFilePath()));
    });
}

void ConversionController::closeProcessAction()
{
    if (m_process && !m_process->isCompleted())
        return;
    m_host.processViewPanel()->endSheet();
    if (m_host.settings()->isClearProcessedFiles())
        m_host.fileList().removeChecked();
    m_running = false;
    m_host.outputSettings().setCombineOptions(m_host.settings()->combineOptionIndex());
    m_host.setBusy(false);
    m_host.resetView(true);
    const int mode = m_process ? m_process->property("combineMode").toInt() : -1;
    const int processed = m_process ? m_process->totalFileProcessed() : 0;
    m_process.reset();
    emit closed(mode, processed);
}

void ConversionController::retryFailedAction()
{
    guarded("Error in (retryFailedAction) : %1", [&] {
        if (!m_process || !m_process->isCompleted())
            return;
        const QStringList failed = failedSources(m_process->log());
        if (failed.isEmpty())
            return;
        const QString mirrored = m_process->property("mirrorRoot").toString();
        closeProcessAction();
        if (!mirrored.isEmpty())
            m_host.outputSettings().keepMirrorRoot(mirrored);
        QSet<QString> listed;
        for (const FileItemPtr &item : std::as_const(m_host.fileList().files()))
            listed.insert(item->path());
        QList<QUrl> missing;
        for (const QString &path : failed)
            if (!listed.contains(path))
                missing << QUrl::fromLocalFile(path);
        if (!missing.isEmpty() && m_host.adding().loadURLs(Arguments{missing, false, false})) {
            m_retryPaths = failed; // checked when the job has listed them
            return;
        }
        m_host.fileList().checkExactly(failed);
        m_host.outputSettings().showOutputSettings();
    });
}

void ConversionController::updateTimeTakenLabel(const QString &text)
{
    guarded("Error in (updateTimeTakenLabel:) : %1", [&] {
        const QString shown =
            text.isEmpty() ? timeTakenLine(QCoreApplication::translate("Process", "%1 sec(s) ").arg(0).trimmed(), 0, 0) : text;
        m_host.ui()->labelTimeTaken->setText(shown);
        m_host.ui()->labelTimeTaken->repaint();
        // The run's lines go to its sheet too.
        if (!text.isEmpty() && m_process && m_process->isRunningInBackground())
            m_host.processViewPanel()->ui()->timeTakenLabel->setText(text);
    });
}

void ConversionController::openOutputFolder(const QString &path)
{
    if (m_host.isQuitting())
        return;
    m_host.openUrl(QUrl::fromLocalFile(path));
}

} // namespace quillon
