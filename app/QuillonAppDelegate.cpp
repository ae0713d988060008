#include "app/QuillonAppDelegate.h"

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/BilevelPreviewer.h"
#include "app/ConversionController.h"
#include "app/Edition1Window.h"
#include "app/EditionWindow.h"
#include "app/FileAddingJob.h"
#include "app/FileListController.h"
#include "app/FileListModel.h"
#include "app/OpenPanel.h"
#include "app/OutputSettingsController.h"
#include "app/Sheets.h"
#include "app/WindowHost.h"
#include "app/WindowLook.h"
#include "core/AppFolders.h"
#include "core/ExportList.h"
#include "core/FolderScan.h"
#include "core/Settings.h"
#include "core/SystemLog.h"
#include "usage/UsagesReportingWindowController.h"
#include "windows/AboutWindowController.h"
#include "windows/AppImages.h"
#include "windows/AppWindows.h"
#include "windows/HelpDocument.h"
#include "widgets/Accessibility.h"

#include "ui_MainWindow.h"
#include "ui_OutputSettings.h"
#include "ui_Progress.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QSettings>
#include <QTimer>

#include <unistd.h>

namespace quillon {

namespace {

struct SegmentSpec {
    QString label;
    QString icon;
    QString toolTip;
};

void setSegments(SegmentedControl *control, const QList<SegmentSpec> &segments)
{
    control->setSegmentCount(int(segments.size()));
    for (int i = 0; i < segments.size(); ++i) {
        control->setLabel(i, segments.at(i).label);
        control->setIcon(i, resourceIcon(segments.at(i).icon));
        control->setSegmentToolTip(i, segments.at(i).toolTip);
    }
}

bool systemWritableFolder(const QString &path)
{
    return QFileInfo(path).isDir() && ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

// Window-level events the controller reacts to: closing means quitting.
class MainWindowEvents : public QObject {
public:
    explicit MainWindowEvents(QuillonAppDelegate *owner)
        : QObject(owner)
        , m_owner(owner)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_owner->window() && event->type() == QEvent::Close)
            m_owner->applicationShouldTerminate();
        return QObject::eventFilter(watched, event);
    }

private:
    QuillonAppDelegate *m_owner;
};

} // namespace

// The controller's members, and the host its parts and the edition's window
// are given: everything they may ask of the window goes through here.
class QuillonAppDelegatePrivate final : public WindowHost {
public:
    QuillonAppDelegatePrivate(QuillonAppDelegate &owner, QuillonAppEnvironment environment)
        : q(owner)
        , env(std::move(environment))
    {
    }

    QMainWindow *window() const override { return m_window.get(); }
    Ui::MainWindow *ui() const override { return m_ui.get(); }
    OutputSettingsSheet *outputSettingPanel() const override { return m_outputSettingPanel; }
    ProgressSheet *processViewPanel() const override { return m_processViewPanel; }
    Settings *settings() const override { return m_settings; }
    QSettings *store() const override { return env.store ? env.store : userDefaults(); }
    const DesktopIntegration &desktop() const override { return m_desktop; }
    EditionWindow &edition() const override { return *m_edition; }
    FileListController &fileList() const override { return *m_fileList; }
    FileAddingJob &adding() const override { return *m_adding; }
    OutputSettingsController &outputSettings() const override { return *m_output; }
    ConversionController &conversion() const override { return *m_conversion; }
    const CommandState &commandState() const override { return m_commands; }
    void resetView(bool enable) override;
    void applyCommandState() override;
    void setBusy(bool busy) override;
    void updateTimeTakenLabel(const QString &text) override { m_conversion->updateTimeTakenLabel(text); }
    void endEditing() override { m_output->endEditing(); }
    bool openUrl(const QUrl &url) override { return m_desktop.openUrl && m_desktop.openUrl(url); }
    bool isWritableFolder(const QString &path) const override
    {
        return env.isWritableFolder ? QFileInfo(path).isDir() && env.isWritableFolder(path) : systemWritableFolder(path);
    }
    bool isWindowActive() const override;
    bool isAwake() const override { return m_awake; }
    bool isQuitting() const override { return m_quitting; }
    void openAppAction() override;
    bool inculdeSubfolders() const override { return m_edition->includeSubfolders(); }
    void windowDidBecomeMain() override;
    void windowDidResignMain() override;
    void holdEnabling(bool hold) override;

    void buildWindow();
    void buildSegmentedControls();
    void buildMenus();
    void connectCommands();
    void setupVersion();

    QuillonAppDelegate &q;
    QuillonAppEnvironment env;
    DesktopIntegration m_desktop;
    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<Ui::MainWindow> m_ui;
    Settings *m_settings = nullptr;
    std::unique_ptr<EditionWindow> m_edition;
    std::unique_ptr<FileListController> m_fileList;
    std::unique_ptr<FileAddingJob> m_adding;
    std::unique_ptr<OutputSettingsController> m_output;
    std::unique_ptr<ConversionController> m_conversion;
    CommandState m_commands;
    UsagesReportingWindowController *m_usagesReport = nullptr;
    OutputSettingsSheet *m_outputSettingPanel = nullptr;
    ProgressSheet *m_processViewPanel = nullptr;
    ImportFilesWindowController *m_importPanel = nullptr;
    bool m_busy = false; // a job or a run has the window
    bool m_quitting = false;
    bool m_awake = false;

private:
    int m_enablingHolds = 0;
    bool m_enablingPending = false;
};

QuillonAppDelegate::QuillonAppDelegate(Environment environment, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<QuillonAppDelegatePrivate>(*this, std::move(environment)))
{
    const DesktopIntegration system = DesktopIntegration::system();
    d->m_desktop = d->env.desktop;
    if (!d->m_desktop.openUrl)
        d->m_desktop.openUrl = system.openUrl;
    if (!d->m_desktop.showItems)
        d->m_desktop.showItems = system.showItems;
    if (!d->m_desktop.showItemProperties)
        d->m_desktop.showItemProperties = system.showItemProperties;
    if (!d->m_desktop.notify)
        d->m_desktop.notify = system.notify;
    installWidgetAccessibility();
    d->m_edition = makeEditionWindow(edition(), *d);
    d->buildWindow();
}

QuillonAppDelegate::~QuillonAppDelegate()
{
    d->m_quitting = true;
    // A run still working is cancelled (its output file is written to a
    // temporary name and renamed only when complete), a job is stopped; then
    // the window goes with its sheets and dialogs.
    d->m_conversion.reset();
    d->m_adding.reset();
    d->m_output.reset();
    delete d->m_usagesReport;
    d->m_usagesReport = nullptr;
    d->m_fileList.reset();
    d->m_window.reset();
}

void QuillonAppDelegatePrivate::buildWindow()
{
    m_window = std::make_unique<QMainWindow>();
    m_ui = std::make_unique<Ui::MainWindow>();
    m_ui->setupUi(m_window.get());
    m_window->setWindowIcon(applicationIcon());
    m_window->installEventFilter(new MainWindowEvents(&q));
    m_fileList = std::make_unique<FileListController>(*this, nullptr);

    SplitView *split = m_ui->mainSplitView;
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({880, 300});
    m_ui->rightBox->setMinimumWidth(100);
    m_ui->leftBox->setMinimumWidth(200);
    m_ui->topBar->setBorderEdge(ButtonBar::Bottom);
    m_ui->bottomBar->setBorderEdge(ButtonBar::Top);
    m_ui->leftBox->setBackgroundColor(m_window->palette().color(QPalette::Base));
    m_ui->cancelBtn->setVisible(false);
    m_ui->loadingLabel->setVisible(false);

    buildSegmentedControls();
    buildMenus();

    // Names for assistive technology where no text says what a control is.
    m_ui->mainTableView->setAccessibleName(QuillonAppDelegate::tr("Files"));
    split->setAccessibleName(QuillonAppDelegate::tr("Files and settings"));
    m_ui->topBar->setAccessibleName(QuillonAppDelegate::tr("List commands"));
    m_ui->bottomBar->setAccessibleName(QuillonAppDelegate::tr("Order and conversion"));
    m_ui->recentFoldersPopup->setAccessibleName(QuillonAppDelegate::tr("Recent folders"));
    m_ui->loadingIndicator->setAccessibleName(QuillonAppDelegate::tr("Reading files or converting"));

    m_outputSettingPanel = new OutputSettingsSheet(m_window.get());
    m_outputSettingPanel->setObjectName(QStringLiteral("outputSettingPanel"));
    m_processViewPanel = new ProgressSheet(m_window.get());
    m_processViewPanel->setObjectName(QStringLiteral("processViewPanel"));
    m_adding = std::make_unique<FileAddingJob>(*this);
    m_output = std::make_unique<OutputSettingsController>(*this);
    m_conversion = std::make_unique<ConversionController>(*this);
    QObject::connect(m_adding.get(), &FileAddingJob::finished, &q, &QuillonAppDelegate::loadFinished);
    QObject::connect(m_conversion.get(), &ConversionController::closed, &q, [this](int combineMode, int filesProcessed) {
        if (m_usagesReport) {
            const QString feature = UsagesReportingWindowController::featureNameForCombineMode(combineMode);
            if (!feature.isEmpty())
                m_usagesReport->updateUsages(feature, filesProcessed);
        }
        emit q.processClosed();
        m_adding->addPendingPaths();
    });
    m_edition->build();
}

void QuillonAppDelegatePrivate::buildSegmentedControls()
{
    setSegments(m_ui->filesFoldersSegmented, {{QuillonAppDelegate::tr("Add Files"), QStringLiteral("add-files"), QuillonAppDelegate::tr("Add image or TIFF files to the list")},
                                             {QuillonAppDelegate::tr("Remove"), QStringLiteral("remove"), QuillonAppDelegate::tr("Remove the selected files from the list")},
                                             {QuillonAppDelegate::tr("Subfolders"), QStringLiteral("subfolders"), QuillonAppDelegate::tr("Include subfolders when adding folders")},
                                             {QuillonAppDelegate::tr("Import"), QStringLiteral("import"), QuillonAppDelegate::tr("Import a list of file paths")},
                                             {QuillonAppDelegate::tr("Export"), QStringLiteral("export"), QuillonAppDelegate::tr("Export the list")},
                                             {QuillonAppDelegate::tr("Logs"), QStringLiteral("logs"), QuillonAppDelegate::tr("Open the folder of conversion logs")}});
    setSegments(m_ui->navigationSegmented, {{QString(), QStringLiteral("move-up"), QuillonAppDelegate::tr("Move the selected files up (Ctrl+Up)")},
                                           {QString(), QStringLiteral("move-down"), QuillonAppDelegate::tr("Move the selected files down (Ctrl+Down)")},
                                           {QuillonAppDelegate::tr("Remove All"), QStringLiteral("remove-all"), QuillonAppDelegate::tr("Remove all files from the list")}});
    setSegments(m_ui->commandSegmented, {{QuillonAppDelegate::tr("Output Settings"), QStringLiteral("output-settings"), QuillonAppDelegate::tr("Combine mode, names, compression and output folder")},
                                        {QuillonAppDelegate::tr("Convert"), QStringLiteral("convert"), QuillonAppDelegate::tr("Convert the checked files")}});
    setSegments(m_ui->helpSegmented, {{QString(), QStringLiteral("website"), QuillonAppDelegate::tr("Visit the Quillon Converter website")},
                                     {QString(), QStringLiteral("help"), QuillonAppDelegate::tr("Open the Quillon Converter help")},
                                     {QString(), QStringLiteral("rate"), QuillonAppDelegate::tr("Rate Quillon Converter")}});
    m_ui->recentFoldersPopup->setIconSize(QSize(16, 16));
    m_ui->filesFoldersSegmented->setAccessibleName(QuillonAppDelegate::tr("Files and folders"));
    m_ui->navigationSegmented->setAccessibleName(QuillonAppDelegate::tr("List order"));
    m_ui->commandSegmented->setAccessibleName(QuillonAppDelegate::tr("Conversion"));
    m_ui->helpSegmented->setAccessibleName(QuillonAppDelegate::tr("Help and website"));
    // Subfolders is a switch; its selected look is its state.
    m_ui->filesFoldersSegmented->setSegmentCheckable(WindowNames::SubfoldersSegment, true);
}

void QuillonAppDelegatePrivate::buildMenus()
{
    Ui::MainWindow *ui = m_ui.get();
    ui->actionPageSelection->setIcon(resourceIcon(QStringLiteral("page-selection")));
    ui->actionMoveUp->setIcon(resourceIcon(QStringLiteral("move-up")));
    ui->actionMoveDown->setIcon(resourceIcon(QStringLiteral("move-down")));
    ui->actionAddFiles->setIcon(resourceIcon(QStringLiteral("add-files")));
    ui->actionConvert->setIcon(resourceIcon(QStringLiteral("convert")));
    ui->actionOutputSettings->setIcon(resourceIcon(QStringLiteral("output-settings")));
    ui->actionHelp->setIcon(resourceIcon(QStringLiteral("help")));
}

void QuillonAppDelegatePrivate::connectCommands()
{
    Ui::MainWindow *ui = m_ui.get();
    QuillonAppDelegate *app = &q;
    using Q = QuillonAppDelegate;
    QObject::connect(ui->filesFoldersSegmented, &SegmentedControl::segmentClicked, app, &Q::filesFoldersSegmentedChanged);
    QObject::connect(ui->navigationSegmented, &SegmentedControl::segmentClicked, app, &Q::navigationSegmentedChanged);
    QObject::connect(ui->commandSegmented, &SegmentedControl::segmentClicked, app, &Q::commandSegmentedChanged);
    QObject::connect(ui->helpSegmented, &SegmentedControl::segmentClicked, app, &Q::helpSegmentedChanged);
    QObject::connect(ui->recentFoldersPopup, &QComboBox::activated, m_adding.get(), &FileAddingJob::recentFolderChanged);
    QObject::connect(ui->cancelBtn, &QPushButton::clicked, app, &Q::cancelAction);
    m_fileList->connectCommands();

    QObject::connect(ui->actionAddFiles, &QAction::triggered, m_adding.get(), &FileAddingJob::addFiles);
    QObject::connect(ui->actionAddFolder, &QAction::triggered, m_adding.get(), &FileAddingJob::addFolder);
    QObject::connect(ui->actionIncludeSubfolders, &QAction::triggered, app, [this] { m_edition->toggleIncludeSubfolders(); });
    QObject::connect(ui->actionImport, &QAction::triggered, app, &Q::importAction);
    QObject::connect(ui->actionExport, &QAction::triggered, app, &Q::exportAction);
    QObject::connect(ui->actionOpenLogsFolder, &QAction::triggered, app, &Q::openLogsFolder);
    QObject::connect(ui->actionOutputSettings, &QAction::triggered, m_output.get(), &OutputSettingsController::showOutputSettings);
    QObject::connect(ui->editOutputSettingsBtn, &QPushButton::clicked, m_output.get(), &OutputSettingsController::showOutputSettings);
    QObject::connect(ui->actionConvert, &QAction::triggered, m_conversion.get(), &ConversionController::convertAction);
    QObject::connect(ui->actionHelp, &QAction::triggered, app, &Q::helpAction);
    QObject::connect(ui->actionWebsite, &QAction::triggered, app, &Q::websiteAction);
    QObject::connect(ui->actionRateUs, &QAction::triggered, app, &Q::rateUs);
    QObject::connect(ui->actionReviewUs, &QAction::triggered, app, &Q::reviewUsAction);
    QObject::connect(ui->actionQuit, &QAction::triggered, app, [app] {
        app->applicationShouldTerminate();
        QCoreApplication::quit();
    });
    m_edition->connectCommands();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, app, &Q::applicationShouldTerminate);
}

void QuillonAppDelegatePrivate::setupVersion()
{
    const QString name = QStringLiteral("Quillon Converter");
    const QString title = getAppTitle();
    // Where a translation puts the name in an item's text does not matter.
    for (QAction *top : m_ui->menuBar->actions()) {
        if (!top->menu())
            continue;
        for (QAction *a : top->menu()->actions()) {
            if (!a->isSeparator() && a->text().contains(name))
                a->setText(QString(a->text()).replace(name, title));
        }
    }
}

void QuillonAppDelegatePrivate::resetView(bool enable)
{
    guarded("Error in (resetView:) : %1", [&] {
        m_commands.viewEnabled = enable;
        m_output->refresh();
    });
    // Whatever failed above, the commands follow the state.
    applyCommandState();
    m_window->update();
    m_ui->mainTableView->viewport()->update();
}

void QuillonAppDelegatePrivate::holdEnabling(bool hold)
{
    if (hold)
        ++m_enablingHolds;
    else if (--m_enablingHolds == 0 && std::exchange(m_enablingPending, false))
        applyCommandState();
}

void QuillonAppDelegatePrivate::applyCommandState()
{
    if (m_enablingHolds > 0) {
        // The batch's end comes back here once.
        m_enablingPending = true;
        return;
    }
    CommandState &c = m_commands;
    const QList<int> rows = m_fileList->selectedRows();
    c.loading = m_adding->isLoading();
    c.running = m_conversion->isRunning();
    c.rows = int(m_fileList->files().size());
    c.selectionFirst = rows.isEmpty() ? -1 : rows.first();
    c.selectionLast = rows.isEmpty() ? -1 : rows.last();
    c.selectionHasMultiPage = m_fileList->containsMultiPageFiles();
    c.filesToCreate = m_fileList->filesToCreate();

    Ui::MainWindow *ui = m_ui.get();
    const bool on = c.viewEnabled;
    ui->mainTableView->setEnabled(on);
    SegmentedControl *files = ui->filesFoldersSegmented;
    for (int s : {WindowNames::AddFilesSegment, WindowNames::SubfoldersSegment, WindowNames::ImportSegment, WindowNames::LogsSegment})
        files->setSegmentEnabled(s, on);
    files->setSegmentEnabled(WindowNames::RemoveSegment, c.canActOnList());
    files->setSegmentEnabled(WindowNames::ExportSegment, c.canActOnList());
    SegmentedControl *nav = ui->navigationSegmented;
    nav->setSegmentEnabled(WindowNames::MoveUpSegment, c.canMoveUp());
    nav->setSegmentEnabled(WindowNames::MoveDownSegment, c.canMoveDown());
    nav->setSegmentEnabled(WindowNames::RemoveAllSegment, c.canActOnList());
    ui->commandSegmented->setSegmentEnabled(WindowNames::OutputSettingsSegment, on);
    ui->commandSegmented->setSegmentEnabled(WindowNames::ConvertSegment, c.canConvert());
    ui->recentFoldersPopup->setEnabled(on);
    ui->settingTabView->setEnabled(on);
    ui->cancelBtn->setEnabled(!c.running);

    for (QAction *a : {ui->actionAddFiles, ui->actionAddFolder, ui->actionIncludeSubfolders, ui->actionImport, ui->actionOutputSettings})
        a->setEnabled(on);
    for (QAction *a : {ui->actionSelectAll, ui->actionSelectFirstRow, ui->actionCheckAll, ui->actionUncheckAll, ui->actionInvertAll,
                       ui->actionRemoveAll, ui->actionExport})
        a->setEnabled(c.canActOnList());
    for (QAction *a : {ui->actionCheckSelected, ui->actionUncheckSelected, ui->actionInvertSelected, ui->actionRemove, ui->actionOpenFile,
                       ui->actionShowInFolder, ui->actionGetInfo})
        a->setEnabled(c.canActOnSelection());
    ui->actionPageSelection->setEnabled(c.canChoosePages());
    ui->actionMoveUp->setEnabled(c.canMoveUp());
    ui->actionMoveDown->setEnabled(c.canMoveDown());
    ui->actionConvert->setEnabled(c.canConvert());
    // The list pane's buttons sit in the settings tabs, which follow the view.
    for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{ui->selectAllBtn, ui->selectFirstRowBtn, ui->removeAllBtn,
                                                                       ui->checkAllBtn, ui->uncheckAllBtn, ui->invertAllBtn})
        b->setEnabled(c.hasFiles());
    for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{ui->removeSelectedBtn, ui->checkSelectedBtn,
                                                                       ui->uncheckSelectedBtn, ui->invertSelectedBtn})
        b->setEnabled(c.hasSelection());
    ui->pageSelectionBtn->setEnabled(c.selectionHasMultiPage);
    m_edition->apply(c);
}

void QuillonAppDelegatePrivate::setBusy(bool busy)
{
    m_busy = busy;
    const QColor text = m_window->palette().color(busy ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
    for (QLabel *l : {m_ui->labelTotalFiles, m_ui->labelTimeTaken}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, text);
        l->setPalette(p);
    }
    if (busy) {
        m_ui->loadingIndicator->startAnimation();
        return;
    }
    m_ui->loadingIndicator->stopAnimation();
    m_fileList->updateTotalLabel();
    m_output->setCombineOptions(m_settings->combineOptionIndex());
}

bool QuillonAppDelegatePrivate::isWindowActive() const
{
    for (QWidget *w = QApplication::activeWindow(); w; w = w->parentWidget()) {
        if (w == m_window.get())
            return true;
    }
    return false;
}

void QuillonAppDelegatePrivate::openAppAction()
{
    if (m_window->isMinimized())
        m_window->showNormal();
    else
        m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void QuillonAppDelegatePrivate::windowDidBecomeMain()
{
    m_ui->rightBox->setBackgroundColor(m_window->palette().color(QPalette::Active, QPalette::Window).darker(103));
    m_ui->mainTableView->setMainWindowState(true);
}

void QuillonAppDelegatePrivate::windowDidResignMain()
{
    m_ui->rightBox->setBackgroundColor(Qt::transparent);
    m_ui->mainTableView->setMainWindowState(false);
}

bool QuillonAppDelegate::awakeFromNib()
{
    if (d->m_awake)
        return true;
    Ui::MainWindow *ui = d->m_ui.get();
    // 1. The title.
    d->m_window->setWindowTitle(getAppTitle());
    // 2. Support folder, then its Logs folder; failures are silent.
    if (createApplicationUsersFolder(QString()))
        createApplicationUsersFolder(QStringLiteral("Logs"));
    // 3. The list, the allowed types, the settings and an idle run.
    d->m_fileList->clear();
    allowedFileTypes();
    d->m_settings = new Settings(store(), this);
    d->m_busy = false;
    d->m_conversion->bind();
    d->connectCommands();
    d->m_output->bind();
    // 4. The stored combine option.
    d->m_output->setCombineOptions(d->m_settings->combineOptionIndex());
    // 5. The list's context menu (set with the list's commands).
    // 6. Key letters (and edition 1's stored pane).
    const QColor controlText = d->m_window->palette().color(QPalette::Active, QPalette::ButtonText);
    auto *out = d->m_outputSettingPanel->ui();
    auto *progress = d->m_processViewPanel->ui();
    // Each translation picks letters of its own texts (the first match counts).
    for (const auto &[button, key] : std::initializer_list<std::pair<QAbstractButton *, QString>>{
             {out->singleImageTIFFBtn, QStringLiteral("1")},
             {out->singleMultiPageTIFFBtn, QStringLiteral("2")},
             {out->groupMultiPageTIFFBtn, QStringLiteral("3")},
             {out->setCurrentAsDefaultOutputFolderPathBtn, tr("d", "key letter of Keep as default output folder")},
             {out->openFolderAfterConversionBtn, tr("p", "key letter of Open output folder after conversion")},
             {out->keepMetadataBtn, tr("m", "key letter of Keep metadata")},
             {out->mirrorFoldersBtn, tr("s", "key letter of Recreate the folders below")},
             {progress->viewLogBtn, tr("l", "key letter of View Log")},
             {progress->cancelProcessBtn, tr("c", "key letter of Cancel")},
             {progress->retryFailedBtn, tr("r", "key letter of Retry Failed...")}})
        quillon::setButtonKeyCharacter(button, key, controlText);
    d->m_edition->restore(controlText);
    // 7. The first settings tab.
    ui->settingTabView->setCurrentIndex(0);
    // 8.
    d->resetView(true);
    // 9. Observed settings keys (the output folder's are the output settings').
    connect(d->m_settings, &Settings::groupMultiPageTIFFCountChanged, d->m_fileList.get(), &FileListController::updateTotalLabel);
    // 10, 11. Menus and the first-start agreement.
    d->setupVersion();
    if (!setupToolbarAndMenuItems())
        return false;
    // 12. Drops are handled by the table, which asks the file list.
    // 13. The window to the front.
    d->m_edition->beforeShow();
    d->m_window->show();
    d->m_window->raise();
    d->m_window->activateWindow();
    ui->mainTableView->setFocus();
    // 14. The usage store.
    UsagesReportingWindowController::Environment usageEnvironment;
    usageEnvironment.openUrl = d->m_desktop.openUrl;
    d->m_usagesReport = new UsagesReportingWindowController(
        d->m_window.get(), d->env.supportFolder.isEmpty() ? getAppPath() : d->env.supportFolder, usageEnvironment);
    d->m_usagesReport->configureForApplication();
    // 15. The include-subfolders segment.
    ui->filesFoldersSegmented->setSegmentSelected(SubfoldersSegment, inculdeSubfolders());
    ui->actionIncludeSubfolders->setChecked(inculdeSubfolders());
    // 16, 17. Double click and recent folders (edition 2).
    d->m_edition->afterShow();
    d->m_fileList->updateTotalLabel();
    d->m_fileList->numberOfRowsChanged();
    d->m_awake = true;
    d->m_adding->addPendingPaths();
    return true;
}

void QuillonAppDelegate::applicationDidFinishLaunching()
{
    guarded("Error in (applicationDidFinishLaunching:) : %1", [&] {
        if (d->m_usagesReport)
            d->m_usagesReport->validate(false);
    });
}

bool QuillonAppDelegate::setupToolbarAndMenuItems()
{
    // 1. The first start asks for the agreement before the window shows.
    if (!store()->value(kLicenseAcceptedKey).toBool()) {
        const bool agreed = d->env.runLicenseAgreement ? d->env.runLicenseAgreement() : quillon::runLicenseAgreement();
        if (!agreed)
            return false;
        store()->setValue(kLicenseAcceptedKey, true);
        store()->sync();
    }
    // 2. About.
    connect(d->m_ui->actionAbout, &QAction::triggered, this, &QuillonAppDelegate::aboutAction, Qt::UniqueConnection);
    d->m_edition->setupToolbar();
    // 3. The agreement after the application menu's third item.
    QMenu *appMenu = d->m_ui->menuApplication;
    const QList<QAction *> items = appMenu->actions();
    QAction *before = items.size() > 3 ? items.at(3) : nullptr;
    QAction *separator = new QAction(appMenu);
    separator->setSeparator(true);
    auto *eula = new QAction(tr("End-User License Agreement..."), appMenu);
    eula->setObjectName(QStringLiteral("actionEULA"));
    eula->setToolTip(tr("End-User License Agreement"));
    eula->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(eula, &QAction::triggered, this, &QuillonAppDelegate::showLicenseAgreement);
    appMenu->insertAction(before, separator);
    appMenu->insertAction(before, eula);
    d->m_window->addAction(eula);
    return true;
}

bool QuillonAppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (hasVisibleWindows && d->m_window->isVisible() && !d->m_window->isMinimized())
        return false;
    openAppAction();
    return true;
}

void QuillonAppDelegate::reopen(const QStringList &paths, const QString &activationToken)
{
    // Wayland lets a window come to the front only with the token of the
    // start that asked for it, and Qt reads it only from the environment.
    // Writing the environment while another thread reads it (the C library's
    // getenv has no lock) is a race: it is written only while no worker of
    // the window runs; otherwise the window comes without it (the desktop
    // may then only mark it as asking for attention).
    const bool workersIdle = !(d->m_conversion->process() && d->m_conversion->process()->isRunningInBackground())
        && !d->m_adding->isLoading() && d->m_output->bilevelPreviewer()->isIdle();
    if (!activationToken.isEmpty() && QGuiApplication::platformName() == QLatin1String("wayland") && workersIdle)
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    // Before the agreement was answered there is no window to show yet.
    if (!d->m_awake) {
        openFiles(paths);
        return;
    }
    openAppAction();
    // A sheet or dialog of the window goes to the front with it.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
    openFiles(paths);
}

bool QuillonAppDelegate::applicationShouldTerminate()
{
    if (d->m_quitting)
        return true;
    d->m_quitting = true;
    guarded("Error in (applicationShouldTerminate:) : %1", [&] {
        d->endEditing();
        d->m_edition->save();
        if (d->m_settings)
            d->m_settings->synchronize();
        store()->sync();
    });
    // Stop a file-adding job now; a conversion is cancelled when the controller goes.
    d->m_busy = false;
    d->m_adding->cancel();
    d->m_conversion->stop();
    return true;
}

void QuillonAppDelegate::websiteAction()
{
    guarded("Error in (websiteAction:) : %1", [&] { d->openUrl(QUrl(QStringLiteral("http://" QUILLON_WEB_HOST "/"))); });
}

void QuillonAppDelegate::helpAction() { quillon::helpAction(edition(), d->m_desktop.openUrl); }

void QuillonAppDelegate::rateUs()
{
    guarded("Error in (rateUs:) : %1", [&] {
        if (d->m_usagesReport)
            d->openUrl(QUrl(d->m_usagesReport->reviewURL()));
    });
}

void QuillonAppDelegate::aboutAction()
{
    if (AboutWindowController *about = quillon::aboutAction(d->m_window.get()))
        about->setUrlOpener(d->m_desktop.openUrl);
}

void QuillonAppDelegate::showLicenseAgreement() { quillon::showLicenseAgreement(d->m_window.get()); }

void QuillonAppDelegate::reviewUsAction()
{
    guarded("Error in (reviewUsAction:) : %1", [&] {
        if (d->m_usagesReport)
            d->m_usagesReport->submitReview();
    });
}

void QuillonAppDelegate::openLogsFolder()
{
    guarded("Error in (openLogsFolder:) : %1", [&] {
        createApplicationUsersFolder(QStringLiteral("Logs"));
        d->openUrl(QUrl::fromLocalFile(QDir(getAppPath()).filePath(QStringLiteral("Logs"))));
    });
}

void QuillonAppDelegate::importAction()
{
    d->endEditing();
    openImportFilesPanel();
}

void QuillonAppDelegate::exportAction()
{
    guarded("Error in (export) : %1", [&] {
        d->endEditing();
        auto *panel = new OpenPanel(d->m_window.get());
        panel->setObjectName(QStringLiteral("exportPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setAcceptMode(QFileDialog::AcceptSave);
        panel->setFileMode(QFileDialog::AnyFile);
        panel->setWindowTitle(tr("Export List"));
        panel->setMessage(tr("Export List To Tab Delimited Text File :"));
        panel->setNameFilter(tr("Text files (*.txt)"));
        panel->setDefaultSuffix(QStringLiteral("txt"));
        panel->selectFile(suggestedExportName(QDateTime::currentDateTime()));
        connect(panel, &QDialog::finished, this, [this, panel](int result) {
            if (result == QDialog::Accepted && !panel->chosenPaths().isEmpty())
                exportList(panel->chosenPaths().first());
        });
        panel->open();
    });
}

bool QuillonAppDelegate::exportList(const QString &path)
{
    QString error;
    bool written = false;
    guarded("Error in (export) : %1", [&] { written = exportFileList(d->m_fileList->files(), path, &error); });
    if (!written) {
        // The earlier file stays as it was; say so rather than seem to have saved.
        if (!error.isEmpty()) // an exception is already in the log
            logError(QStringLiteral("Error in (export) : %1").arg(error));
        editionAlertPanel(d->m_window.get(), getAppTitle(), tr("The list could not be exported to\n%1\n%2").arg(path, error),
                          d->m_edition->applicationModalAlerts());
    }
    return written;
}

void QuillonAppDelegate::filesFoldersSegmentedChanged(int segment)
{
    SegmentedControl *control = d->m_ui->filesFoldersSegmented;
    switch (segment) {
    case AddFilesSegment:
        addFiles();
        break;
    case RemoveSegment:
        selectDeselectRemoveAll(RemoveSelectedRows);
        break;
    case SubfoldersSegment:
        d->m_edition->toggleIncludeSubfolders();
        return;
    case ImportSegment:
        importAction();
        break;
    case ExportSegment:
        exportAction();
        break;
    case LogsSegment:
        openLogsFolder();
        break;
    default:
        return;
    }
    control->setSegmentSelected(segment, false);
}

void QuillonAppDelegate::navigationSegmentedChanged(int segment)
{
    switch (segment) {
    case MoveUpSegment:
        moveUp();
        break;
    case MoveDownSegment:
        moveDown();
        break;
    case RemoveAllSegment:
        selectDeselectRemoveAll(RemoveAllRows);
        break;
    default:
        break;
    }
}

void QuillonAppDelegate::commandSegmentedChanged(int segment)
{
    if (segment == OutputSettingsSegment)
        showOutputSettings();
    else if (segment == ConvertSegment)
        convertAction();
}

void QuillonAppDelegate::helpSegmentedChanged(int segment)
{
    if (segment == WebsiteSegment)
        websiteAction();
    else if (segment == HelpSegment)
        helpAction();
    else if (segment == RateSegment)
        rateUs();
}

void QuillonAppDelegate::cancelAction()
{
    d->m_busy = false;
    d->m_adding->cancel();
}

void QuillonAppDelegate::searchAction() { d->endEditing(); }

void QuillonAppDelegate::openImportFilesPanel()
{
    guarded("Error in (openImportFilesPanel) : %1", [&] {
        if (!d->m_importPanel) {
            d->m_importPanel = new ImportFilesWindowController(d->m_window.get());
            d->m_importPanel->setObjectName(QStringLiteral("importFilesPanel"));
            d->m_importPanel->delegate = this;
            d->m_importPanel->allowedTypes = allowedFileTypes().join(QLatin1Char(','));
            d->m_importPanel->editionOneLook = d->m_edition->applicationModalAlerts();
        }
        d->m_importPanel->resetView();
        d->m_importPanel->setWindowModality(Qt::WindowModal);
        d->m_importPanel->open();
    });
}

void QuillonAppDelegate::ImportFilesWindowControllerDidFinish(ImportFilesWindowController *controller)
{
    if (controller)
        ImportFilesWindowControllerDidFinish(QList<QUrl>(controller->files));
}

void QuillonAppDelegate::ImportFilesWindowControllerDidFinish(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    // A copy: the import sheet empties its own list when it next opens.
    loadURLs(Arguments{QList<QUrl>(urls), false, inculdeSubfolders()});
}

void QuillonAppDelegate::controlTextDidChange(NumberField *field) { applyNumberFieldRule(field); }
void QuillonAppDelegate::setButtonKeyCharacter(QAbstractButton *button, const QString &keyChar, const QColor &color)
{
    quillon::setButtonKeyCharacter(button, keyChar, color);
}

// ---- the window's state ----
QMainWindow *QuillonAppDelegate::window() const { return d->m_window.get(); }
Ui::MainWindow *QuillonAppDelegate::ui() const { return d->m_ui.get(); }
OutputSettingsSheet *QuillonAppDelegate::outputSettingPanel() const { return d->m_outputSettingPanel; }
ProgressSheet *QuillonAppDelegate::processViewPanel() const { return d->m_processViewPanel; }
Settings *QuillonAppDelegate::settings() const { return d->m_settings; }
QSettings *QuillonAppDelegate::store() const { return d->store(); }
WindowHost &QuillonAppDelegate::host() const { return *d; }
void QuillonAppDelegate::resetView(bool enable) { d->resetView(enable); }
bool QuillonAppDelegate::isWindowActive() const { return d->isWindowActive(); }
void QuillonAppDelegate::openAppAction() { d->openAppAction(); }
bool QuillonAppDelegate::inculdeSubfolders() const { return d->inculdeSubfolders(); }
void QuillonAppDelegate::windowDidBecomeMain() { d->windowDidBecomeMain(); }
void QuillonAppDelegate::windowDidResignMain() { d->windowDidResignMain(); }
void QuillonAppDelegate::updateTimeTakenLabel(const QString &text) { d->updateTimeTakenLabel(text); }
QList<FileItemPtr> &QuillonAppDelegate::files() { return d->m_fileList->files(); }
FileListModel *QuillonAppDelegate::fileListModel() const { return d->m_fileList->model(); }
Process *QuillonAppDelegate::process() const { return d->m_conversion->process(); }
bool QuillonAppDelegate::isProcessing() const { return d->m_busy; }
bool QuillonAppDelegate::isLoading() const { return d->m_adding->isLoading(); }
bool QuillonAppDelegate::isOutputFolderSelected() const { return d->m_output->isOutputFolderSelected(); }
QString QuillonAppDelegate::outputFolder() const { return d->m_conversion->outputFolder(); }
QList<RecentItem> &QuillonAppDelegate::recentItems() { return d->m_adding->recentFolders().items(); }
UsagesReportingWindowController *QuillonAppDelegate::usagesReport() const { return d->m_usagesReport; }
ImportFilesWindowController *QuillonAppDelegate::importPanel() const { return d->m_importPanel; }
BilevelPreviewer *QuillonAppDelegate::bilevelPreviewer() const { return d->m_output->bilevelPreviewer(); }
QMenu *QuillonAppDelegate::filesContextMenu() const { return d->m_fileList->filesContextMenu(); }
QMenu *QuillonAppDelegate::headerContextMenu() const { return d->m_fileList->headerContextMenu(); }
CustomTableView *QuillonAppDelegate::mainTableView() const { return d->m_ui->mainTableView; }
SegmentedControl *QuillonAppDelegate::filesFoldersSegmented() const { return d->m_ui->filesFoldersSegmented; }
SegmentedControl *QuillonAppDelegate::navigationSegmented() const { return d->m_ui->navigationSegmented; }
SegmentedControl *QuillonAppDelegate::commandSegmented() const { return d->m_ui->commandSegmented; }
SegmentedControl *QuillonAppDelegate::helpSegmented() const { return d->m_ui->helpSegmented; }
Edition1Window *QuillonAppDelegate::edition1Window() const { return dynamic_cast<Edition1Window *>(d->m_edition.get()); }
const Edition1Controls &QuillonAppDelegate::edition1() const { return d->m_edition->edition1(); }

// ---- the parts' commands ----
void QuillonAppDelegate::selectDeselectRemoveAll(int tag) { d->m_fileList->selectDeselectRemoveAll(tag); }
void QuillonAppDelegate::checkUncheckInvertSelection(int tag) { d->m_fileList->checkUncheckInvertSelection(tag); }
void QuillonAppDelegate::checkUncheckInvertAll(int tag) { d->m_fileList->checkUncheckInvertAll(tag); }
void QuillonAppDelegate::removeAction() { d->m_fileList->removeAction(); }
void QuillonAppDelegate::moveUp() { d->m_fileList->moveUp(); }
void QuillonAppDelegate::moveDown() { d->m_fileList->moveDown(); }
void QuillonAppDelegate::openFileWithFinder() { d->m_fileList->openFileWithFinder(); }
void QuillonAppDelegate::openFileEnclosingFolder() { d->m_fileList->openFileEnclosingFolder(); }
void QuillonAppDelegate::getInfoFile() { d->m_fileList->getInfoFile(); }
void QuillonAppDelegate::showPageSelection() { d->m_fileList->showPageSelection(); }
void QuillonAppDelegate::menuNeedsUpdate(QMenu *menu) { d->m_fileList->menuNeedsUpdate(menu); }
QList<int> QuillonAppDelegate::selectedRows() const { return d->m_fileList->selectedRows(); }
void QuillonAppDelegate::addFiles() { d->m_adding->addFiles(); }
void QuillonAppDelegate::addFolder() { d->m_adding->addFolder(); }
bool QuillonAppDelegate::validateDrop(const QMimeData *data, QObject *source) { return d->m_adding->validateDrop(data, source); }
bool QuillonAppDelegate::acceptDrop(const QMimeData *data) { return d->m_adding->acceptDrop(data); }
void QuillonAppDelegate::openFiles(const QStringList &paths) { d->m_adding->openFiles(paths); }
bool QuillonAppDelegate::loadURLs(const Arguments &arguments) { return d->m_adding->loadURLs(arguments); }
void QuillonAppDelegate::recentFolderChanged(int index) { d->m_adding->recentFolderChanged(index); }
void QuillonAppDelegate::showOutputSettings() { d->m_output->showOutputSettings(); }
void QuillonAppDelegate::setCombineOptions(int index) { d->m_output->setCombineOptions(index); }
void QuillonAppDelegate::chooseOutputFolder() { d->m_output->chooseOutputFolder(); }
void QuillonAppDelegate::closeOutputSetting() { d->m_output->closeOutputSetting(); }
void QuillonAppDelegate::convertAction() { d->m_conversion->convertAction(); }
void QuillonAppDelegate::cancelProcessAction() { d->m_conversion->cancelProcessAction(); }
void QuillonAppDelegate::viewLogAction() { d->m_conversion->viewLogAction(); }
void QuillonAppDelegate::closeProcessAction() { d->m_conversion->closeProcessAction(); }
void QuillonAppDelegate::retryFailedAction() { d->m_conversion->retryFailedAction(); }

} // namespace quillon
