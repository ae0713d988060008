// QuillonAppDelegate, edition 1 only: the toolbar, the settings pane beside
// the list, the collapsible right pane, the command buttons that take the
// place of edition 2's segmented controls, Convert's own checks and Get Info
// per file. Edition 2 compiles nothing of this file.
#include "app/QuillonAppDelegate.h"

#if QUILLON_EDITION == 1

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/FileListModel.h"
#include "app/Sheets.h"
#include "core/AppFolders.h"
#include "core/Settings.h"
#include "widgets/KeyCharacterButtons.h"
#include "windows/AppImages.h"

#include "ui_MainWindow.h"
#include "ui_OutputSettings.h"

#include <QActionGroup>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

const QString kToolbarIdentifier = QStringLiteral("itemIdentifier");
const QString kAboutIdentifier = QStringLiteral("ABOUT");

QIcon toolbarIcon(const QString &name)
{
    QIcon icon;
    for (qreal dpr : {1.0, 2.0}) {
        QPixmap pm = resourceImage(name, QSize(24, 24), dpr);
        if (!pm.isNull())
            icon.addPixmap(pm);
    }
    return icon;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, const QString &toolTip)
{
    auto *b = new KeyPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(toolTip);
    b->setAutoDefault(false);
    return b;
}

QAction *makeItem(QToolBar *toolbar, const QString &identifier, const QString &label, const QString &icon, const QString &toolTip)
{
    auto *item = new QAction(toolbarIcon(QStringLiteral(":/images/icons/%1.svg").arg(icon)), label, toolbar);
    item->setObjectName(identifier);
    item->setProperty(kToolbarIdentifier.toLatin1().constData(), identifier);
    item->setToolTip(toolTip);
    toolbar->addAction(item);
    return item;
}

} // namespace

void QuillonAppDelegate::buildEdition1Window()
{
    Ui::MainWindow *ui = m_ui.get();
    QWidget *central = ui->centralWidget;
    // Edition 1 has no segmented controls and no recent folders; the hidden
    // segments only keep the shared enabling state the buttons mirror.
    for (QWidget *w : std::initializer_list<QWidget *>{ui->filesFoldersSegmented, ui->navigationSegmented, ui->commandSegmented,
                                                       ui->helpSegmented, ui->recentFoldersPopup})
        w->hide();
    ui->mainTableView->horizontalHeader()->setSectionsMovable(false);
    ui->mainTableView->horizontalHeader()->setContextMenuPolicy(Qt::NoContextMenu);

    // Top bar: the adding commands.
    m_e1.addFilesBtn = makeButton(central, "addFilesBtn", tr("Add Files"), tr("Add image or TIFF files to the list"));
    m_e1.addFolderBtn = makeButton(central, "addFolderBtn", tr("Add Folder"), tr("Add the images of a folder"));
    m_e1.inculdeSubfoldersBtn = new KeyCheckBox(tr("Include Subfolders"), central);
    m_e1.inculdeSubfoldersBtn->setObjectName(QStringLiteral("inculdeSubfoldersBtn"));
    m_e1.importBtn = makeButton(central, "importBtn", tr("Import"), tr("Import a list of file paths"));
    m_e1.removeBtn = makeButton(central, "removeBtn", tr("Remove"), tr("Remove the selected files from the list"));
    // Kept for the enabling rule; edition 1 never showed it on this platform.
    m_e1.searchBtn = makeButton(central, "searchBtn", tr("Search"), QString());
    m_e1.searchBtn->hide();
    auto *top = ui->topBarLayout;
    int at = 0;
    for (QWidget *w : std::initializer_list<QWidget *>{m_e1.addFilesBtn, m_e1.addFolderBtn, m_e1.inculdeSubfoldersBtn, m_e1.importBtn, m_e1.removeBtn})
        top->insertWidget(at++, w);

    // Bottom bar: moving rows and Convert.
    m_e1.moveUpButton = makeButton(central, "moveUpButton", tr("Move Up"), tr("Move the selected files up (Ctrl+Up)"));
    m_e1.moveDownButton = makeButton(central, "moveDownButton", tr("Move Down"), tr("Move the selected files down (Ctrl+Down)"));
    m_e1.convertBtn = makeButton(central, "convertBtn", tr("Convert"), tr("Convert the checked files"));
    m_e1.convertBtn->setMinimumWidth(110);
    ui->bottomBarLayout->insertWidget(0, m_e1.moveUpButton);
    ui->bottomBarLayout->insertWidget(1, m_e1.moveDownButton);
    ui->bottomBarLayout->addWidget(m_e1.convertBtn);

    // The hint over the empty list, in place of edition 2's picture; mouse
    // events pass through it, so drops still reach the list.
    CustomTableView *table = ui->mainTableView;
    table->setShowGrid(true);
    table->setAlternatingRowColors(true);
    m_e1.lableDragAndDrop = new QLabel(table->emptyListText(), table->viewport());
    m_e1.lableDragAndDrop->setObjectName(QStringLiteral("lableDragAndDrop"));
    m_e1.lableDragAndDrop->setAlignment(Qt::AlignCenter);
    m_e1.lableDragAndDrop->setWordWrap(true);
    m_e1.lableDragAndDrop->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont hintFont = m_e1.lableDragAndDrop->font();
    hintFont.setPixelSize(18);
    m_e1.lableDragAndDrop->setFont(hintFont);
    QPalette hintPalette = m_e1.lableDragAndDrop->palette();
    hintPalette.setColor(QPalette::WindowText, QColor(Qt::gray));
    m_e1.lableDragAndDrop->setPalette(hintPalette);
    auto *hintLayout = new QVBoxLayout(table->viewport());
    hintLayout->setContentsMargins(40, 40, 40, 40);
    hintLayout->addWidget(m_e1.lableDragAndDrop, 0, Qt::AlignCenter);

    // The settings pane (rightBox) leaves the split view and stands beside it;
    // the split view's second subview becomes the list commands pane.
    SplitView *split = ui->mainSplitView;
    ui->centralLayout->removeWidget(split);
    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(4);
    ui->centralLayout->insertLayout(1, middle, 1);
    middle->addWidget(split, 1);
    middle->addWidget(ui->rightBox, 0);
    ui->rightBox->setFixedWidth(440);

    m_e1.rightPane = new QWidget;
    m_e1.rightPane->setObjectName(QStringLiteral("rightPane"));
    auto *paneLayout = new QVBoxLayout(m_e1.rightPane);
    m_e1.openFileButton = makeButton(m_e1.rightPane, "openFileButton", tr("Open"), tr("Open the selected files"));
    m_e1.getInfoButton = makeButton(m_e1.rightPane, "getInfoButton", tr("Get Info"), tr("Show the properties of the selected files"));
    m_e1.openEnclosedFolderButton = makeButton(m_e1.rightPane, "openEnclosedFolderButton", tr("Show in Folder"), tr("Show the selected files in their folder"));
    m_e1.selectAllButton = makeButton(m_e1.rightPane, "selectAllButton", tr("Select All"), tr("Select all rows"));
    m_e1.deselectAllButton = makeButton(m_e1.rightPane, "deselectAllButton", tr("Deselect All"), tr("Select no row"));
    m_e1.removeSelectedFilesButton = makeButton(m_e1.rightPane, "removeSelectedFilesButton", tr("Remove Selected"), tr("Remove the selected files from the list"));
    m_e1.removeAllFilesButton = makeButton(m_e1.rightPane, "removeAllFilesButton", tr("Remove All"), tr("Remove all files from the list"));
    for (QWidget *w : std::initializer_list<QWidget *>{m_e1.openFileButton, m_e1.getInfoButton, m_e1.openEnclosedFolderButton, m_e1.selectAllButton,
                                                       m_e1.deselectAllButton, m_e1.removeSelectedFilesButton, m_e1.removeAllFilesButton})
        paneLayout->addWidget(w);
    paneLayout->addStretch(1);
    split->addWidget(m_e1.rightPane);
    split->setCollapsible(0, false);

    // The settings tabs: conversion options first, the output folder second
    // (Convert's folder checks show that one), then the list commands.
    QTabWidget *tabs = ui->settingTabView;
    tabs->removeTab(tabs->indexOf(ui->summaryTab));
    ui->summaryTab->hide();
    auto *out = m_outputSettingPanel->ui();
    auto *conversionTab = new QWidget;
    conversionTab->setObjectName(QStringLiteral("conversionTab"));
    auto *conversionLayout = new QVBoxLayout(conversionTab);
    conversionLayout->setContentsMargins(0, 0, 0, 0);
    // The output settings form lives in the pane here, not in a sheet.
    m_outputSettingPanel->setParent(conversionTab, Qt::Widget);
    // As a sheet the form keeps a dialog's width; in the pane it must fit
    // the pane and sit at the top of the tab.
    m_outputSettingPanel->setMinimumSize(0, 0);
    m_outputSettingPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    conversionLayout->addWidget(m_outputSettingPanel);
    conversionLayout->addStretch(1);
    m_outputSettingPanel->show();
    out->closeOutputSettingBtn->hide();
    out->closeOutputSettingBtn->setAutoDefault(false);
    out->line1->hide();
    // The pane is narrow: the preview's caption goes under it.
    out->bilevelPreviewRow->setDirection(QBoxLayout::TopToBottom);
    // The mode-1 name field is followed by the extension the file gets.
    out->modesGrid->removeWidget(out->singleMultiPageTIFFName);
    out->modesGrid->addWidget(out->singleMultiPageTIFFName, 3, 2, 1, 3);
    m_e1.singleMultiPageTIFFLabel2 = new QLabel(QStringLiteral(".tiff"), m_outputSettingPanel);
    m_e1.singleMultiPageTIFFLabel2->setObjectName(QStringLiteral("singleMultiPageTIFFLabel2"));
    out->modesGrid->addWidget(m_e1.singleMultiPageTIFFLabel2, 3, 5);
    auto *folderTab = new QWidget;
    folderTab->setObjectName(QStringLiteral("outputFolderTab"));
    auto *folderLayout = new QVBoxLayout(folderTab);
    folderLayout->addWidget(out->outputFolderTitle);
    folderLayout->addWidget(out->outputFolderLabel);
    folderLayout->addWidget(out->chooseOutputFolderBtn, 0, Qt::AlignLeft);
    folderLayout->addWidget(out->setCurrentAsDefaultOutputFolderPathBtn);
    folderLayout->addWidget(out->openFolderAfterConversionBtn);
    folderLayout->addWidget(out->clearProcessedFilesBtn);
    folderLayout->addStretch(1);
    tabs->insertTab(0, conversionTab, tr("Conversion"));
    tabs->insertTab(1, folderTab, tr("Output"));

    // The toolbar: fixed, not customisable; About is added at set-up.
    m_e1.toolbar = new QToolBar(tr("Toolbar"), m_window.get());
    m_e1.toolbar->setObjectName(QStringLiteral("mainToolbar"));
    m_e1.toolbar->setMovable(false);
    m_e1.toolbar->setFloatable(false);
    m_e1.toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_e1.toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_window->setContextMenuPolicy(Qt::NoContextMenu);
    m_window->addToolBar(Qt::TopToolBarArea, m_e1.toolbar);
    m_e1.preferencesToolbarItem = makeItem(m_e1.toolbar, QStringLiteral("PREFERENCES"), tr("Settings"), QStringLiteral("output-settings"),
                                           tr("Show or hide the settings"));
    m_e1.rightViewToolbarItem = makeItem(m_e1.toolbar, QStringLiteral("LISTTOOLS"), tr("List Tools"), QStringLiteral("page-selection"),
                                         tr("Show or hide the list commands"));
    m_e1.exportToolbarItem = makeItem(m_e1.toolbar, QStringLiteral("EXPORT"), tr("Export"), QStringLiteral("export"), tr("Export the list"));
    makeItem(m_e1.toolbar, QStringLiteral("LOGS"), tr("Logs"), QStringLiteral("logs"), tr("Open the folder of conversion logs"));
    makeItem(m_e1.toolbar, QStringLiteral("HELP"), tr("Help"), QStringLiteral("help"), tr("Open the Quillon Converter help"));
    // The selected-look item while the pane is hidden; never shown itself.
    // Named, as everything assistive technology may come across.
    m_e1.dummyToolbarItem = new QAction(tr("Settings Hidden"), m_e1.toolbar);
    m_e1.dummyToolbarItem->setObjectName(QStringLiteral("DUMMY"));
    m_e1.dummyToolbarItem->setProperty(kToolbarIdentifier.toLatin1().constData(), QStringLiteral("DUMMY"));
    m_e1.dummyToolbarItem->setVisible(false);
    m_e1.toolbar->addAction(m_e1.dummyToolbarItem);
    // Qt leaves the toolbar's overflow button without a name.
    if (auto *more = m_e1.toolbar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(tr("More Toolbar Items"));
    auto *selection = new QActionGroup(m_e1.toolbar);
    selection->setExclusive(true);
    for (QAction *a : {m_e1.preferencesToolbarItem, m_e1.dummyToolbarItem}) {
        a->setCheckable(true);
        selection->addAction(a);
    }

    // Every start begins with the right pane collapsed.
    collapseRightView();
}

void QuillonAppDelegate::connectEdition1Commands()
{
    Ui::MainWindow *ui = m_ui.get();
    connect(m_e1.addFilesBtn, &QPushButton::clicked, this, &QuillonAppDelegate::addFiles);
    connect(m_e1.addFolderBtn, &QPushButton::clicked, this, &QuillonAppDelegate::addFolder);
    connect(m_e1.importBtn, &QPushButton::clicked, this, &QuillonAppDelegate::importAction);
    connect(m_e1.removeBtn, &QPushButton::clicked, this, [this] { selectDeselectRemoveAll(4); });
    connect(m_e1.searchBtn, &QPushButton::clicked, this, &QuillonAppDelegate::searchAction);
    connect(m_e1.inculdeSubfoldersBtn, &QCheckBox::toggled, ui->actionIncludeSubfolders, &QAction::setChecked);
    connect(m_e1.convertBtn, &QPushButton::clicked, this, &QuillonAppDelegate::convertAction);
    connect(m_e1.moveUpButton, &QPushButton::clicked, this, &QuillonAppDelegate::moveUp);
    connect(m_e1.moveDownButton, &QPushButton::clicked, this, &QuillonAppDelegate::moveDown);
    connect(m_e1.openFileButton, &QPushButton::clicked, this, &QuillonAppDelegate::openFileWithFinder);
    connect(m_e1.getInfoButton, &QPushButton::clicked, this, &QuillonAppDelegate::getInfoFile);
    connect(m_e1.openEnclosedFolderButton, &QPushButton::clicked, this, &QuillonAppDelegate::openFileEnclosingFolder);
    connect(m_e1.selectAllButton, &QPushButton::clicked, this, [this] { selectDeselectRemoveAll(1); });
    connect(m_e1.deselectAllButton, &QPushButton::clicked, this, [this] { m_ui->mainTableView->clearSelection(); });
    connect(m_e1.removeSelectedFilesButton, &QPushButton::clicked, this, [this] { selectDeselectRemoveAll(4); });
    connect(m_e1.removeAllFilesButton, &QPushButton::clicked, this, [this] { selectDeselectRemoveAll(3); });
    connect(m_e1.preferencesToolbarItem, &QAction::triggered, this, &QuillonAppDelegate::toggleSettings);
    connect(m_e1.rightViewToolbarItem, &QAction::triggered, this, &QuillonAppDelegate::toggleRightView);
    connect(m_e1.exportToolbarItem, &QAction::triggered, this, &QuillonAppDelegate::exportAction);
    const QList<QAction *> items = m_e1.toolbar->actions();
    for (QAction *a : items) {
        if (a->objectName() == QLatin1String("LOGS"))
            connect(a, &QAction::triggered, this, &QuillonAppDelegate::openLogsFolder);
        else if (a->objectName() == QLatin1String("HELP"))
            connect(a, &QAction::triggered, this, &QuillonAppDelegate::helpAction);
    }
    // Inside the pane Escape must not close the embedded settings form.
    m_outputSettingPanel->onEscape = [this] { endEditing(); };
}

QAction *QuillonAppDelegate::toolbarItemForItemIdentifier(const QString &identifier)
{
    if (identifier != kAboutIdentifier)
        return nullptr;
    auto *item = new QAction(QIcon(kUserImage), QStringLiteral("About"), m_e1.toolbar);
    item->setObjectName(kAboutIdentifier);
    item->setProperty(kToolbarIdentifier.toLatin1().constData(), kAboutIdentifier);
    item->setProperty("paletteLabel", QStringLiteral("ABOUT"));
    item->setToolTip(QStringLiteral("About ") + getAppTitle());
    connect(item, &QAction::triggered, this, &QuillonAppDelegate::aboutAction);
    return item;
}

void QuillonAppDelegate::setupEdition1Toolbar()
{
    const QList<QAction *> items = m_e1.toolbar->actions();
    for (QAction *a : items) {
        if (a->property(kToolbarIdentifier.toLatin1().constData()).toString() == kAboutIdentifier) {
            m_e1.aboutToolbarItem = a;
            return;
        }
    }
    QAction *about = toolbarItemForItemIdentifier(kAboutIdentifier);
    m_e1.toolbar->insertAction(items.value(0), about);
    m_e1.aboutToolbarItem = about;
}

void QuillonAppDelegate::restoreShowSettings()
{
    QSettings *defaults = store();
    if (defaults->contains(kShowSettingsKey)) {
        m_showSettings = defaults->value(kShowSettingsKey).toBool();
    } else {
        m_showSettings = true;
        defaults->setValue(kShowSettingsKey, true);
        defaults->sync();
    }
    showSettings(m_showSettings);
}

void QuillonAppDelegate::toggleSettings()
{
    m_showSettings = !m_showSettings;
    store()->setValue(kShowSettingsKey, m_showSettings);
    store()->sync();
    showSettings(m_showSettings);
}

void QuillonAppDelegate::showSettings(bool show)
{
    guarded("Error in (showSettings:) : %1", [&] {
        (show ? m_e1.preferencesToolbarItem : m_e1.dummyToolbarItem)->setChecked(true);
        // The layout gives the list the width the pane leaves.
        m_ui->rightBox->setVisible(show);
        if (show && m_previewTimer)
            m_previewTimer->start();
    });
}

void QuillonAppDelegate::toggleRightView()
{
    if (isRightViewCollapsed())
        uncollapseRightView();
    else
        collapseRightView();
}

bool QuillonAppDelegate::isRightViewCollapsed() const { return m_e1.rightPane->isHidden(); }

void QuillonAppDelegate::collapseRightView()
{
    m_e1.rightPane->hide();
    m_ui->mainSplitView->update();
}

void QuillonAppDelegate::uncollapseRightView()
{
    SplitView *split = m_ui->mainSplitView;
    const int total = split->width();
    const int paneWidth = qMax(m_e1.rightPane->sizeHint().width(), 160);
    m_e1.rightPane->show();
    split->setSizes({qMax(0, total - paneWidth - split->handleWidth()), paneWidth});
    split->update();
}

void QuillonAppDelegate::resetEdition1View(bool enable)
{
    const bool hasFiles = !m_files.isEmpty();
    m_e1.removeBtn->setEnabled(enable && hasFiles);
    for (QWidget *w : std::initializer_list<QWidget *>{m_e1.importBtn, m_e1.addFilesBtn, m_e1.addFolderBtn, m_e1.searchBtn,
                                                       m_e1.inculdeSubfoldersBtn, m_ui->mainTableView})
        w->setEnabled(enable);
    const QList<QAction *> items = m_e1.toolbar->actions();
    for (QAction *a : items)
        a->setEnabled(enable);
    m_e1.exportToolbarItem->setEnabled(enable && hasFiles);
    for (QWidget *w : std::initializer_list<QWidget *>{m_e1.openFileButton, m_e1.getInfoButton, m_e1.openEnclosedFolderButton, m_e1.selectAllButton,
                                                       m_e1.deselectAllButton, m_e1.removeSelectedFilesButton, m_e1.removeAllFilesButton})
        w->setEnabled(enable && hasFiles);
    if (!m_settings)
        return;
    setCombineOptions(m_settings->combineOptionIndex());
    auto *out = m_outputSettingPanel->ui();
    const bool folder = !m_settings->outputFolderPath().isEmpty();
    if (!folder)
        m_settings->setIsSetCurrentAsDefaultOutputFolderPath(false);
    out->setCurrentAsDefaultOutputFolderPathBtn->setEnabled(folder);
    out->openFolderAfterConversionBtn->setEnabled(folder);
}

void QuillonAppDelegate::updateEdition1Enabling()
{
    if (!m_e1.convertBtn)
        return;
    m_e1.convertBtn->setEnabled(m_ui->commandSegmented->isSegmentEnabled(ConvertSegment));
    m_e1.moveUpButton->setEnabled(m_ui->navigationSegmented->isSegmentEnabled(MoveUpSegment));
    m_e1.moveDownButton->setEnabled(m_ui->navigationSegmented->isSegmentEnabled(MoveDownSegment));
}

void QuillonAppDelegate::stopRunForSettings()
{
    m_ui->settingTabView->setCurrentIndex(1);
    if (!m_showSettings)
        toggleSettings();
    m_outputSettingPanel->ui()->chooseOutputFolderBtn->setFocus();
}

bool QuillonAppDelegate::combineChecks()
{
    // This platform counts as 10.7 or later: the older systems' offer to save
    // into the source folders never applies, so an empty path is a missing folder.
    const QString folder = m_settings->outputFolderPath();
    QString problem;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        problem = QStringLiteral("Output folder missing or invalid path!\r\nPlease select valid output folder.");
    else if (!isWritableFolder(folder))
        problem = QStringLiteral("Output folder is non-writable!\r\nPlease select writable output folder.");
    if (!problem.isEmpty()) {
        applicationModalAlertPanel(m_window.get(), getAppTitle(), problem);
        stopRunForSettings();
        return false;
    }

    m_ui->settingTabView->setCurrentIndex(0);
    auto *out = m_outputSettingPanel->ui();
    QLineEdit *missing = nullptr;
    QString message;
    switch (m_settings->combineOptionIndex()) {
    case 1:
        if (m_settings->singleMultiPageTIFFName().isEmpty()) {
            missing = out->singleMultiPageTIFFName;
            message = QStringLiteral("Please enter new TIFF file name!");
        }
        break;
    case 2:
        if (m_settings->groupMultiPageTIFFCount() <= 1)
            m_settings->setGroupMultiPageTIFFCount(2);
        if (m_settings->groupMultiPageTIFFName().isEmpty()) {
            missing = out->groupMultiPageTIFFName;
            message = QStringLiteral("Please enter new TIFF file base name!");
        }
        break;
    default:
        break;
    }
    if (missing) {
        applicationModalAlertPanel(m_window.get(), QStringLiteral("Quillon :"), message);
        // The field to type in is in the pane: a hidden pane is shown first.
        if (!m_showSettings)
            toggleSettings();
        missing->setFocus();
        return false;
    }
    return true;
}

void QuillonAppDelegate::getInfo()
{
    guarded("Error in (getInfo) : %1", [&] {
        if (!m_desktop.showItemProperties)
            return;
        // One information window per file, in list order.
        const QStringList paths = selectedPaths();
        for (const QString &path : paths)
            m_desktop.showItemProperties({path});
    });
}

} // namespace quillon

#endif
