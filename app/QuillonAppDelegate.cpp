#include "app/QuillonAppDelegate.h"

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/Edition1Window.h"
#include "app/FileListModel.h"
#include "app/FileSystemHelper.h"
#include "app/OpenPanel.h"
#include "app/Sheets.h"
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
#include <QHeaderView>
#include <QMenu>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QWindow>

namespace quillon {

namespace {

QIcon segmentIcon(const QString &name)
{
    const QString path = QStringLiteral(":/images/icons/%1.svg").arg(name);
    QIcon icon;
    for (qreal dpr : {1.0, 2.0}) {
        QPixmap pm = resourceImage(path, QSize(16, 16), dpr);
        if (!pm.isNull())
            icon.addPixmap(pm);
    }
    return icon;
}

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
        control->setIcon(i, segmentIcon(segments.at(i).icon));
        control->setSegmentToolTip(i, segments.at(i).toolTip);
    }
}

} // namespace

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

QuillonAppDelegate::QuillonAppDelegate(Environment environment, QObject *parent)
    : QObject(parent)
    , m_env(std::move(environment))
{
    const DesktopIntegration system = DesktopIntegration::system();
    m_desktop = m_env.desktop;
    if (!m_desktop.openUrl)
        m_desktop.openUrl = system.openUrl;
    if (!m_desktop.showItems)
        m_desktop.showItems = system.showItems;
    if (!m_desktop.showItemProperties)
        m_desktop.showItemProperties = system.showItemProperties;
    if (!m_desktop.notify)
        m_desktop.notify = system.notify;
    installWidgetAccessibility();
    m_edition = makeEditionWindow(edition(), *this);
    buildWindow();
}

QuillonAppDelegate::~QuillonAppDelegate()
{
    m_quitting = true;
    // A run still working is cancelled; its output file is written to a
    // temporary name and renamed only when complete, so nothing half-written stays.
    if (m_process) {
        m_process->stop();
        m_process->waitForFinished();
        m_process.reset();
    }
    if (m_loadThread) {
        m_isProcessing = false;
        m_loadThread->wait();
        delete m_loadThread;
        m_loadThread = nullptr;
    }
    m_loadJob.reset();
    // Sheets and dialogs are children of the window, which goes first.
    delete m_usagesReport;
    m_usagesReport = nullptr;
    m_window.reset();
}

QSettings *QuillonAppDelegate::store() const { return m_env.store ? m_env.store : userDefaults(); }

CustomTableView *QuillonAppDelegate::mainTableView() const { return m_ui->mainTableView; }
SegmentedControl *QuillonAppDelegate::filesFoldersSegmented() const { return m_ui->filesFoldersSegmented; }
SegmentedControl *QuillonAppDelegate::navigationSegmented() const { return m_ui->navigationSegmented; }
SegmentedControl *QuillonAppDelegate::commandSegmented() const { return m_ui->commandSegmented; }
SegmentedControl *QuillonAppDelegate::helpSegmented() const { return m_ui->helpSegmented; }

void QuillonAppDelegate::buildWindow()
{
    m_window = std::make_unique<QMainWindow>();
    m_ui = std::make_unique<Ui::MainWindow>();
    m_ui->setupUi(m_window.get());
    m_window->setWindowIcon(applicationIcon());
    m_window->installEventFilter(new MainWindowEvents(this));

    m_model = new FileListModel(&m_files, this);
    CustomTableView *table = m_ui->mainTableView;
    table->setModel(m_model);
    table->setTableDelegate(this);
    QHeaderView *header = table->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    header->setMinimumSectionSize(24);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    const QList<QPair<int, int>> widths = {{FileListModel::IsSelected, 28}, {FileListModel::Name, 200}, {FileListModel::Pages, 54},
                                           {FileListModel::Selection, 120}, {FileListModel::SizeInKB, 76}, {FileListModel::Type, 50},
                                           {FileListModel::DateModified, 150}, {FileListModel::DateCreated, 150},
                                           {FileListModel::DateAccessed, 150}, {FileListModel::Location, 160}};
    for (const auto &[column, width] : widths)
        table->setColumnWidth(column, width);
    // The check column never shrinks below its box.
    header->setSectionResizeMode(FileListModel::IsSelected, QHeaderView::Fixed);

    m_headerContextMenu = new QMenu(m_window.get());
    m_headerContextMenu->setObjectName(QStringLiteral("headerContextMenu"));

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
    table->setAccessibleName(tr("Files"));
    split->setAccessibleName(tr("Files and settings"));
    m_ui->topBar->setAccessibleName(tr("List commands"));
    m_ui->bottomBar->setAccessibleName(tr("Order and conversion"));
    m_ui->recentFoldersPopup->setAccessibleName(tr("Recent folders"));
    m_ui->loadingIndicator->setAccessibleName(tr("Reading files or converting"));

    m_outputSettingPanel = new OutputSettingsSheet(m_window.get());
    m_outputSettingPanel->setObjectName(QStringLiteral("outputSettingPanel"));
    m_processViewPanel = new ProgressSheet(m_window.get());
    m_processViewPanel->setObjectName(QStringLiteral("processViewPanel"));
    m_edition->build();

    m_loadProgressTimer = new QTimer(this);
    m_loadProgressTimer->setInterval(150);
    connect(m_loadProgressTimer, &QTimer::timeout, this, &QuillonAppDelegate::updateLoadingProgress);
}

void QuillonAppDelegate::buildSegmentedControls()
{
    setSegments(m_ui->filesFoldersSegmented, {{tr("Add Files"), QStringLiteral("add-files"), tr("Add image or TIFF files to the list")},
                                             {tr("Remove"), QStringLiteral("remove"), tr("Remove the selected files from the list")},
                                             {tr("Subfolders"), QStringLiteral("subfolders"), tr("Include subfolders when adding folders")},
                                             {tr("Import"), QStringLiteral("import"), tr("Import a list of file paths")},
                                             {tr("Export"), QStringLiteral("export"), tr("Export the list")},
                                             {tr("Logs"), QStringLiteral("logs"), tr("Open the folder of conversion logs")}});
    setSegments(m_ui->navigationSegmented, {{QString(), QStringLiteral("move-up"), tr("Move the selected files up (Ctrl+Up)")},
                                           {QString(), QStringLiteral("move-down"), tr("Move the selected files down (Ctrl+Down)")},
                                           {tr("Remove All"), QStringLiteral("remove-all"), tr("Remove all files from the list")}});
    setSegments(m_ui->commandSegmented, {{tr("Output Settings"), QStringLiteral("output-settings"), tr("Combine mode, names, compression and output folder")},
                                        {tr("Convert"), QStringLiteral("convert"), tr("Convert the checked files")}});
    setSegments(m_ui->helpSegmented, {{QString(), QStringLiteral("website"), tr("Visit the Quillon Converter website")},
                                     {QString(), QStringLiteral("help"), tr("Open the Quillon Converter help")},
                                     {QString(), QStringLiteral("rate"), tr("Rate Quillon Converter")}});
    m_ui->recentFoldersPopup->setIconSize(QSize(16, 16));
    m_ui->filesFoldersSegmented->setAccessibleName(tr("Files and folders"));
    m_ui->navigationSegmented->setAccessibleName(tr("List order"));
    m_ui->commandSegmented->setAccessibleName(tr("Conversion"));
    m_ui->helpSegmented->setAccessibleName(tr("Help and website"));
    // Subfolders is a switch; its selected look is its state.
    m_ui->filesFoldersSegmented->setSegmentCheckable(SubfoldersSegment, true);
}

void QuillonAppDelegate::buildMenus()
{
    Ui::MainWindow *ui = m_ui.get();
    m_filesContextMenu = new QMenu(m_window.get());
    m_filesContextMenu->setObjectName(QStringLiteral("filesContextMenu"));
    m_filesContextMenu->addAction(ui->actionOpenFile);
    m_filesContextMenu->addAction(ui->actionShowInFolder);
    m_filesContextMenu->addAction(ui->actionGetInfo);
    m_filesContextMenu->addSeparator();
    m_filesContextMenu->addAction(ui->actionCheckSelected);
    m_filesContextMenu->addAction(ui->actionUncheckSelected);
    m_filesContextMenu->addAction(ui->actionInvertSelected);
    m_filesContextMenu->addSeparator();
    m_filesContextMenu->addAction(ui->actionPageSelection);
    m_filesContextMenu->addSeparator();
    m_filesContextMenu->addAction(ui->actionMoveUp);
    m_filesContextMenu->addAction(ui->actionMoveDown);
    m_filesContextMenu->addSeparator();
    m_filesContextMenu->addAction(ui->actionRemove);
    ui->actionPageSelection->setIcon(segmentIcon(QStringLiteral("page-selection")));
    ui->actionMoveUp->setIcon(segmentIcon(QStringLiteral("move-up")));
    ui->actionMoveDown->setIcon(segmentIcon(QStringLiteral("move-down")));
    ui->actionAddFiles->setIcon(segmentIcon(QStringLiteral("add-files")));
    ui->actionConvert->setIcon(segmentIcon(QStringLiteral("convert")));
    ui->actionOutputSettings->setIcon(segmentIcon(QStringLiteral("output-settings")));
    ui->actionHelp->setIcon(segmentIcon(QStringLiteral("help")));
}

void QuillonAppDelegate::connectCommands()
{
    Ui::MainWindow *ui = m_ui.get();
    connect(ui->filesFoldersSegmented, &SegmentedControl::segmentClicked, this, &QuillonAppDelegate::filesFoldersSegmentedChanged);
    connect(ui->navigationSegmented, &SegmentedControl::segmentClicked, this, &QuillonAppDelegate::navigationSegmentedChanged);
    connect(ui->commandSegmented, &SegmentedControl::segmentClicked, this, &QuillonAppDelegate::commandSegmentedChanged);
    connect(ui->helpSegmented, &SegmentedControl::segmentClicked, this, &QuillonAppDelegate::helpSegmentedChanged);
    connect(ui->recentFoldersPopup, &QComboBox::activated, this, &QuillonAppDelegate::recentFolderChanged);
    connect(ui->cancelBtn, &QPushButton::clicked, this, &QuillonAppDelegate::cancelAction);

    // Tag-forwarding commands: menu items and buttons carry their tag.
    for (QObject *o : std::initializer_list<QObject *>{ui->actionSelectAll, ui->actionSelectFirstRow, ui->actionRemoveAll, ui->selectAllBtn,
                                                       ui->selectFirstRowBtn, ui->removeSelectedBtn, ui->removeAllBtn}) {
        if (auto *a = qobject_cast<QAction *>(o))
            connect(a, &QAction::triggered, this, [this, a] { selectDeselectRemoveAll(a->property("tag").toInt()); });
        else if (auto *b = qobject_cast<QAbstractButton *>(o))
            connect(b, &QAbstractButton::clicked, this, [this, b] { selectDeselectRemoveAll(b->property("tag").toInt()); });
    }
    for (QObject *o : std::initializer_list<QObject *>{ui->actionCheckSelected, ui->actionUncheckSelected, ui->actionInvertSelected,
                                                       ui->checkSelectedBtn, ui->uncheckSelectedBtn, ui->invertSelectedBtn}) {
        if (auto *a = qobject_cast<QAction *>(o))
            connect(a, &QAction::triggered, this, [this, a] { checkUncheckInvertSelection(a->property("tag").toInt()); });
        else if (auto *b = qobject_cast<QAbstractButton *>(o))
            connect(b, &QAbstractButton::clicked, this, [this, b] { checkUncheckInvertSelection(b->property("tag").toInt()); });
    }
    for (QObject *o : std::initializer_list<QObject *>{ui->actionCheckAll, ui->actionUncheckAll, ui->actionInvertAll, ui->checkAllBtn,
                                                       ui->uncheckAllBtn, ui->invertAllBtn}) {
        if (auto *a = qobject_cast<QAction *>(o))
            connect(a, &QAction::triggered, this, [this, a] { checkUncheckInvertAll(a->property("tag").toInt()); });
        else if (auto *b = qobject_cast<QAbstractButton *>(o))
            connect(b, &QAbstractButton::clicked, this, [this, b] { checkUncheckInvertAll(b->property("tag").toInt()); });
    }

    connect(ui->actionRemove, &QAction::triggered, this, &QuillonAppDelegate::removeAction);
    connect(ui->actionOpenFile, &QAction::triggered, this, &QuillonAppDelegate::openFileWithFinder);
    connect(ui->actionShowInFolder, &QAction::triggered, this, &QuillonAppDelegate::openFileEnclosingFolder);
    connect(ui->actionGetInfo, &QAction::triggered, this, &QuillonAppDelegate::getInfoFile);
    connect(ui->actionMoveUp, &QAction::triggered, this, &QuillonAppDelegate::moveUp);
    connect(ui->actionMoveDown, &QAction::triggered, this, &QuillonAppDelegate::moveDown);
    connect(ui->actionPageSelection, &QAction::triggered, this, &QuillonAppDelegate::showPageSelection);
    connect(ui->pageSelectionBtn, &QPushButton::clicked, this, &QuillonAppDelegate::showPageSelection);
    connect(ui->actionAddFiles, &QAction::triggered, this, &QuillonAppDelegate::addFiles);
    connect(ui->actionAddFolder, &QAction::triggered, this, &QuillonAppDelegate::addFolder);
    connect(ui->actionIncludeSubfolders, &QAction::triggered, this, [this] { m_edition->toggleIncludeSubfolders(); });
    connect(ui->actionImport, &QAction::triggered, this, &QuillonAppDelegate::importAction);
    connect(ui->actionExport, &QAction::triggered, this, &QuillonAppDelegate::exportAction);
    connect(ui->actionOpenLogsFolder, &QAction::triggered, this, &QuillonAppDelegate::openLogsFolder);
    connect(ui->actionOutputSettings, &QAction::triggered, this, &QuillonAppDelegate::showOutputSettings);
    connect(ui->editOutputSettingsBtn, &QPushButton::clicked, this, &QuillonAppDelegate::showOutputSettings);
    connect(ui->actionConvert, &QAction::triggered, this, &QuillonAppDelegate::convertAction);
    connect(ui->actionHelp, &QAction::triggered, this, &QuillonAppDelegate::helpAction);
    connect(ui->actionWebsite, &QAction::triggered, this, &QuillonAppDelegate::websiteAction);
    connect(ui->actionRateUs, &QAction::triggered, this, &QuillonAppDelegate::rateUs);
    connect(ui->actionReviewUs, &QAction::triggered, this, &QuillonAppDelegate::reviewUsAction);
    connect(ui->actionQuit, &QAction::triggered, this, [this] {
        applicationShouldTerminate();
        QCoreApplication::quit();
    });

    CustomTableView *table = ui->mainTableView;
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &QuillonAppDelegate::tableViewSelectionDidChange);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &QuillonAppDelegate::numberOfRowsChanged);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &QuillonAppDelegate::numberOfRowsChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &QuillonAppDelegate::numberOfRowsChanged);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, &QuillonAppDelegate::numberOfRowsChanged);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, &QuillonAppDelegate::numberOfRowsChanged);
    connect(m_model, &FileListModel::checkMarksChanged, this, &QuillonAppDelegate::updateTotalLabel);
    QHeaderView *header = table->horizontalHeader();
    connect(header, &QHeaderView::sectionClicked, this, [this, header](int column) {
        // A click on the column sorted first flips its order; any other column
        // becomes the first key, ascending.
        const auto descriptors = m_model->sortDescriptors();
        Qt::SortOrder order = Qt::AscendingOrder;
        if (!descriptors.isEmpty() && descriptors.first().column == column && descriptors.first().order == Qt::AscendingOrder)
            order = Qt::DescendingOrder;
        header->setSortIndicatorShown(true);
        header->setSortIndicator(column, order);
        reorderKeepingSelection([this, column, order] { m_model->sort(column, order); });
    });
    m_edition->connectCommands();

    // A dialog closing gives the window back: paths from other starts that
    // waited for it are added now.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
        if (!m_pendingPaths.isEmpty())
            QTimer::singleShot(0, this, &QuillonAppDelegate::addPendingPaths);
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &QuillonAppDelegate::applicationShouldTerminate);
}

bool QuillonAppDelegate::awakeFromNib()
{
    if (m_awake)
        return true;
    // 1. The title.
    m_window->setWindowTitle(getAppTitle());
    // 2. Support folder, then its Logs folder; failures are silent.
    if (createApplicationUsersFolder(QString()))
        createApplicationUsersFolder(QStringLiteral("Logs"));
    // 3. The list, the allowed types, the settings and an idle run.
    m_files.clear();
    m_model->reloadData();
    allowedFileTypes();
    m_settings = new Settings(store(), this);
    m_isProcessing = false;
    m_process = std::make_unique<Process>();
    connectCommands();
    bindOutputSettingsSheet();
    bindSettingsSummary();
    // 4. The stored combine option.
    setCombineOptions(m_settings->combineOptionIndex());
    // 5. The list's context menu.
    m_ui->mainTableView->setContextMenu(m_filesContextMenu);
    // 6. Key letters (and edition 1's stored pane).
    const QColor controlText = m_window->palette().color(QPalette::Active, QPalette::ButtonText);
    auto *out = m_outputSettingPanel->ui();
    auto *progress = m_processViewPanel->ui();
    setButtonKeyCharacter(out->singleImageTIFFBtn, QStringLiteral("1"), controlText);
    setButtonKeyCharacter(out->singleMultiPageTIFFBtn, QStringLiteral("2"), controlText);
    setButtonKeyCharacter(out->groupMultiPageTIFFBtn, QStringLiteral("3"), controlText);
    setButtonKeyCharacter(out->setCurrentAsDefaultOutputFolderPathBtn, QStringLiteral("d"), controlText);
    setButtonKeyCharacter(out->openFolderAfterConversionBtn, QStringLiteral("p"), controlText);
    setButtonKeyCharacter(progress->viewLogBtn, QStringLiteral("l"), controlText);
    setButtonKeyCharacter(progress->cancelProcessBtn, QStringLiteral("c"), controlText);
    setButtonKeyCharacter(progress->retryFailedBtn, QStringLiteral("r"), controlText);
    m_edition->restore(controlText);
    // 7. The first settings tab.
    m_ui->settingTabView->setCurrentIndex(0);
    // 8.
    resetView(true);
    // 9. Observed settings keys.
    connect(m_settings, &Settings::groupMultiPageTIFFCountChanged, this, &QuillonAppDelegate::updateTotalLabel);
    connect(m_settings, &Settings::outputFolderPathChanged, this, &QuillonAppDelegate::onOutputFolderPathChanged);
    onOutputFolderPathChanged();
    // 10, 11. Menus and the first-start agreement.
    setupVersion();
    if (!setupToolbarAndMenuItems())
        return false;
    // 12. Drops are handled by the table, which asks this controller.
    // 13. The window to the front.
    m_edition->beforeShow();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_ui->mainTableView->setFocus();
    // 14. The usage store.
    UsagesReportingWindowController::Environment usageEnvironment;
    usageEnvironment.openUrl = m_desktop.openUrl;
    m_usagesReport = new UsagesReportingWindowController(
        m_window.get(), m_env.supportFolder.isEmpty() ? getAppPath() : m_env.supportFolder, usageEnvironment);
    m_usagesReport->configureForApplication();
    // 15. The include-subfolders segment.
    m_ui->filesFoldersSegmented->setSegmentSelected(SubfoldersSegment, inculdeSubfolders());
    m_ui->actionIncludeSubfolders->setChecked(inculdeSubfolders());
    // 16, 17. Double click and recent folders (edition 2).
    m_edition->afterShow();
    updateTotalLabel();
    numberOfRowsChanged();
    m_awake = true;
    m_idleTitle = m_window->windowTitle();
    addPendingPaths();
    return true;
}

void QuillonAppDelegate::applicationDidFinishLaunching()
{
    guarded("Error in (applicationDidFinishLaunching:) : %1", [&] {
        if (m_usagesReport)
            m_usagesReport->validate(false);
    });
}

void QuillonAppDelegate::setupVersion()
{
    const QString name = QStringLiteral("Quillon Converter");
    const QString title = getAppTitle();
    auto retitle = [&](QMenu *menu, bool (*matches)(const QString &, const QString &)) {
        if (!menu)
            return;
        const QList<QAction *> actions = menu->actions();
        for (QAction *a : actions) {
            if (!a->isSeparator() && matches(a->text(), name))
                a->setText(QString(a->text()).replace(name, title));
        }
    };
    const QList<QAction *> top = m_ui->menuBar->actions();
    if (top.isEmpty())
        return;
    retitle(top.first()->menu(), [](const QString &t, const QString &n) { return t.endsWith(n); });
    for (QAction *a : top) {
        if (a->text() == QLatin1String("Window"))
            retitle(a->menu(), [](const QString &t, const QString &n) { return t.startsWith(n); });
    }
    retitle(top.last()->menu(), [](const QString &t, const QString &n) { return t.startsWith(n); });
}

bool QuillonAppDelegate::setupToolbarAndMenuItems()
{
    // 1. The first start asks for the agreement before the window shows.
    if (!store()->value(kLicenseAcceptedKey).toBool()) {
        const bool agreed = m_env.runLicenseAgreement ? m_env.runLicenseAgreement() : quillon::runLicenseAgreement();
        if (!agreed)
            return false;
        store()->setValue(kLicenseAcceptedKey, true);
        store()->sync();
    }
    // 2. About.
    connect(m_ui->actionAbout, &QAction::triggered, this, &QuillonAppDelegate::aboutAction, Qt::UniqueConnection);
    m_edition->setupToolbar();
    // 3. The agreement after the application menu's third item.
    QMenu *appMenu = m_ui->menuApplication;
    const QList<QAction *> items = appMenu->actions();
    QAction *before = items.size() > 3 ? items.at(3) : nullptr;
    QAction *separator = new QAction(appMenu);
    separator->setSeparator(true);
    auto *eula = new QAction(tr("End-User License Agreement..."), appMenu);
    eula->setObjectName(QStringLiteral("actionEULA"));
    eula->setToolTip(QStringLiteral("End-User License Agreement"));
    eula->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(eula, &QAction::triggered, this, &QuillonAppDelegate::showLicenseAgreement);
    appMenu->insertAction(before, separator);
    appMenu->insertAction(before, eula);
    m_window->addAction(eula);
    return true;
}

bool QuillonAppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (hasVisibleWindows && m_window->isVisible() && !m_window->isMinimized())
        return false;
    openAppAction();
    return true;
}

void QuillonAppDelegate::reopen(const QStringList &paths, const QString &activationToken)
{
    // Wayland lets a window come to the front only with the token of the
    // start that asked for it; Qt reads it from the environment.
    if (!activationToken.isEmpty() && QGuiApplication::platformName() == QLatin1String("wayland"))
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    // Before the agreement was answered there is no window to show yet.
    if (!m_awake) {
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
    if (m_quitting)
        return true;
    m_quitting = true;
    guarded("Error in (applicationShouldTerminate:) : %1", [&] {
        endEditing();
        m_edition->save();
        if (m_settings)
            m_settings->synchronize();
        store()->sync();
    });
    // Stop a file-adding job now; a conversion is cancelled when the controller goes.
    m_isProcessing = false;
    if (m_process)
        m_process->stop();
    return true;
}

bool QuillonAppDelegate::openUrl(const QUrl &url) { return m_desktop.openUrl && m_desktop.openUrl(url); }

void QuillonAppDelegate::websiteAction()
{
    guarded("Error in (websiteAction:) : %1", [&] { openUrl(QUrl(QStringLiteral("http://" QUILLON_WEB_HOST "/"))); });
}

void QuillonAppDelegate::helpAction() { quillon::helpAction(edition(), m_desktop.openUrl); }

void QuillonAppDelegate::rateUs()
{
    guarded("Error in (rateUs:) : %1", [&] {
        if (m_usagesReport)
            openUrl(QUrl(m_usagesReport->reviewURL()));
    });
}

void QuillonAppDelegate::aboutAction()
{
    if (AboutWindowController *about = quillon::aboutAction(m_window.get()))
        about->setUrlOpener(m_desktop.openUrl);
}

void QuillonAppDelegate::showLicenseAgreement() { quillon::showLicenseAgreement(m_window.get()); }

void QuillonAppDelegate::reviewUsAction()
{
    guarded("Error in (reviewUsAction:) : %1", [&] {
        if (m_usagesReport)
            m_usagesReport->submitReview();
    });
}

void QuillonAppDelegate::openAppAction()
{
    if (m_window->isMinimized())
        m_window->showNormal();
    else
        m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void QuillonAppDelegate::cancelAction() { m_isProcessing = false; }

void QuillonAppDelegate::searchAction() { endEditing(); }

void QuillonAppDelegate::openLogsFolder()
{
    guarded("Error in (openLogsFolder:) : %1", [&] {
        createApplicationUsersFolder(QStringLiteral("Logs"));
        openUrl(QUrl::fromLocalFile(QDir(getAppPath()).filePath(QStringLiteral("Logs"))));
    });
}

void QuillonAppDelegate::importAction()
{
    endEditing();
    openImportFilesPanel();
}

void QuillonAppDelegate::exportAction()
{
    guarded("Error in (export) : %1", [&] {
        endEditing();
        auto *panel = new OpenPanel(m_window.get());
        panel->setObjectName(QStringLiteral("exportPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setAcceptMode(QFileDialog::AcceptSave);
        panel->setFileMode(QFileDialog::AnyFile);
        panel->setWindowTitle(tr("Export List"));
        panel->setMessage(QStringLiteral("Export List To Tab Delimited Text File :"));
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
    guarded("Error in (export) : %1", [&] { written = exportFileList(m_files, path, &error); });
    if (!written) {
        // The earlier file stays as it was; say so rather than seem to have saved.
        if (!error.isEmpty()) // an exception is already in the log
            logError(QStringLiteral("Error in (export) : %1").arg(error));
        editionAlertPanel(m_window.get(), getAppTitle(), tr("The list could not be exported to\n%1\n%2").arg(path, error),
                          m_edition->applicationModalAlerts());
    }
    return written;
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

void QuillonAppDelegate::filesFoldersSegmentedChanged(int segment)
{
    SegmentedControl *control = m_ui->filesFoldersSegmented;
    switch (segment) {
    case AddFilesSegment:
        addFiles();
        break;
    case RemoveSegment:
        selectDeselectRemoveAll(RemoveSelectedRows);
        break;
    case SubfoldersSegment:
        m_edition->toggleIncludeSubfolders();
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

bool QuillonAppDelegate::inculdeSubfolders() const { return m_edition->includeSubfolders(); }

void QuillonAppDelegate::setInculdeSubfolders(bool include) { m_edition->setIncludeSubfolders(include); }

// Edition 1's own commands.
// Edition 2 has no settings pane and no right pane: shown, not collapsed, no-ops.
bool QuillonAppDelegate::isShowingSettings() const
{
    auto *w = dynamic_cast<Edition1Window *>(m_edition.get());
    return !w || w->isShowingSettings();
}
void QuillonAppDelegate::toggleSettings()
{
    if (auto *w = dynamic_cast<Edition1Window *>(m_edition.get()))
        w->toggleSettings();
}
void QuillonAppDelegate::showSettings(bool show)
{
    if (auto *w = dynamic_cast<Edition1Window *>(m_edition.get()))
        w->showSettings(show);
}
void QuillonAppDelegate::toggleRightView()
{
    if (auto *w = dynamic_cast<Edition1Window *>(m_edition.get()))
        w->toggleRightView();
}
void QuillonAppDelegate::collapseRightView()
{
    if (auto *w = dynamic_cast<Edition1Window *>(m_edition.get()))
        w->collapseRightView();
}
void QuillonAppDelegate::uncollapseRightView()
{
    if (auto *w = dynamic_cast<Edition1Window *>(m_edition.get()))
        w->uncollapseRightView();
}
bool QuillonAppDelegate::isRightViewCollapsed() const
{
    auto *w = dynamic_cast<Edition1Window *>(m_edition.get());
    return w && w->isRightViewCollapsed();
}
void QuillonAppDelegate::getInfo() { getInfoFile(); }

} // namespace quillon
