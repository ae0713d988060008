// Edition 1's window: the toolbar, the settings pane beside the list, the
// collapsible right pane, the command buttons that take the place of edition
// 2's segmented controls, Convert's own checks and Get Info per file.
#include "app/Edition1Window.h"

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/ConversionController.h"
#include "app/DesktopIntegration.h"
#include "app/FileAddingJob.h"
#include "app/FileListController.h"
#include "app/FileListModel.h"
#include "app/OutputSettingsController.h"
#include "app/Sheets.h"
#include "app/WindowHost.h"
#include "app/WindowLook.h"
#include "core/AppFolders.h"
#include "core/Settings.h"
#include "widgets/KeyCharacterButtons.h"
#include "windows/AppImages.h"

#include "ui_MainWindow.h"
#include "ui_OutputSettings.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

const QString kToolbarIdentifier = QStringLiteral("itemIdentifier");
const QString kAboutIdentifier = QStringLiteral("ABOUT");

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
    auto *item = new QAction(resourceIcon(icon, 24), label, toolbar);
    item->setObjectName(identifier);
    item->setProperty(kToolbarIdentifier.toLatin1().constData(), identifier);
    item->setToolTip(toolTip);
    toolbar->addAction(item);
    return item;
}

} // namespace

void Edition1Window::build()
{
    Ui::MainWindow *ui = m_host.ui();
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
    auto *out = m_host.outputSettingPanel()->ui();
    auto *conversionTab = new QWidget;
    conversionTab->setObjectName(QStringLiteral("conversionTab"));
    auto *conversionLayout = new QVBoxLayout(conversionTab);
    conversionLayout->setContentsMargins(0, 0, 0, 0);
    // A window lower than the form scrolls it rather than squeezing its
    // rows over each other (the fixed-size preview would cover its caption).
    auto *conversionScroll = new QScrollArea(conversionTab);
    conversionScroll->setObjectName(QStringLiteral("conversionScroll"));
    conversionScroll->setFrameShape(QFrame::NoFrame);
    conversionScroll->setWidgetResizable(true);
    conversionScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *conversionForm = new QWidget;
    conversionForm->setObjectName(QStringLiteral("conversionForm"));
    conversionScroll->setWidget(conversionForm);
    conversionLayout->addWidget(conversionScroll);
    // A key letter or Tab reaching a control scrolled away brings it in.
    QObject::connect(qApp, &QApplication::focusChanged, conversionScroll, [conversionScroll](QWidget *, QWidget *now) {
        if (now && conversionScroll->widget()->isAncestorOf(now))
            conversionScroll->ensureWidgetVisible(now);
    });
    conversionLayout = new QVBoxLayout(conversionForm);
    conversionLayout->setContentsMargins(0, 0, 0, 0);
    // The output settings form lives in the pane here, not in a sheet.
    m_host.outputSettingPanel()->setParent(conversionForm, Qt::Widget);
    // As a sheet the form keeps a dialog's width; in the pane it must fit
    // the pane and sit at the top of the tab.
    m_host.outputSettingPanel()->setMinimumSize(0, 0);
    m_host.outputSettingPanel()->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    conversionLayout->addWidget(m_host.outputSettingPanel());
    conversionLayout->addStretch(1);
    m_host.outputSettingPanel()->show();
    out->closeOutputSettingBtn->hide();
    out->closeOutputSettingBtn->setAutoDefault(false);
    out->line1->hide();
    // The pane is narrow: "Files at once" gets a row of its own under the
    // compression's level and quality, and the preview's caption goes under the preview.
    // Takes a label (may be null) and its field out of `from` onto a form row
    // of their own under `below`.
    auto ownRow = [out](QLayout *from, QLayout *below, QWidget *label, QWidget *field) {
        if (label)
            from->removeWidget(label);
        from->removeWidget(field);
        auto *row = new QHBoxLayout;
        row->addWidget(field);
        row->addStretch(1);
        int at = 0;
        out->outputForm->getLayoutPosition(below, &at, nullptr);
        if (label)
            out->outputForm->insertRow(at + 1, label, row);
        else
            out->outputForm->insertRow(at + 1, QString(), row);
    };
    ownRow(out->compressionRow, out->codingRow, out->jobsLabel, out->jobsSpinBox);
    out->bilevelPreviewRow->setDirection(QBoxLayout::TopToBottom);
    // The threshold and the dots per inch get rows of their own too, and the
    // popups may shorten their texts: longer translations are then still
    // shown whole or elided, never cut off at the pane's edge.
    ownRow(out->bilevelRow, out->bilevelRow, out->bilevelThresholdLabel, out->bilevelThresholdSpinBox);
    ownRow(out->resolutionRow, out->resolutionRow, nullptr, out->resolutionSpinBox);
    out->modesTitle->setWordWrap(true);
    // (A combo box keeps the minimum it once took from its longest item, so
    // the minimum is set here.)
    for (QComboBox *popup : {out->tiffCompressionPopup, out->bilevelMethodPopup, out->existingFilesPopup, out->resolutionPopup}) {
        popup->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        popup->setMinimumContentsLength(12);
        popup->setMinimumWidth(popup->fontMetrics().averageCharWidth() * 12 + popup->iconSize().width());
    }
    // The mode-1 name field is followed by the extension the file gets.
    out->modesGrid->removeWidget(out->singleMultiPageTIFFName);
    out->modesGrid->addWidget(out->singleMultiPageTIFFName, 3, 2, 1, 3);
    m_e1.singleMultiPageTIFFLabel2 = new QLabel(QStringLiteral(".tiff"), m_host.outputSettingPanel());
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
    folderLayout->addWidget(out->mirrorFoldersBtn);
    folderLayout->addWidget(out->mirrorRootLabel);
    folderLayout->addStretch(1);
    tabs->insertTab(0, conversionTab, tr("Conversion"));
    tabs->insertTab(1, folderTab, tr("Output"));

    // The toolbar: fixed, not customisable; About is added at set-up.
    m_e1.toolbar = new QToolBar(tr("Toolbar"), m_host.window());
    m_e1.toolbar->setObjectName(QStringLiteral("mainToolbar"));
    m_e1.toolbar->setMovable(false);
    m_e1.toolbar->setFloatable(false);
    m_e1.toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_e1.toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_host.window()->setContextMenuPolicy(Qt::NoContextMenu);
    m_host.window()->addToolBar(Qt::TopToolBarArea, m_e1.toolbar);
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

void Edition1Window::connectCommands()
{
    Ui::MainWindow *ui = m_host.ui();
    QObject *context = m_host.window();
    FileListController *list = &m_host.fileList();
    FileAddingJob *adding = &m_host.adding();
    // The buttons and toolbar items that stand for a menu item do what it does.
    auto asMenuItem = [context](QAbstractButton *button, QAction *item) {
        QObject::connect(button, &QAbstractButton::clicked, context, [item] { item->trigger(); });
    };
    QObject::connect(m_e1.addFilesBtn, &QPushButton::clicked, adding, &FileAddingJob::addFiles);
    QObject::connect(m_e1.addFolderBtn, &QPushButton::clicked, adding, &FileAddingJob::addFolder);
    asMenuItem(m_e1.importBtn, ui->actionImport);
    QObject::connect(m_e1.removeBtn, &QPushButton::clicked, list, [list] { list->selectDeselectRemoveAll(WindowNames::RemoveSelectedRows); });
    QObject::connect(m_e1.searchBtn, &QPushButton::clicked, context, [this] { m_host.endEditing(); });
    QObject::connect(m_e1.inculdeSubfoldersBtn, &QCheckBox::toggled, ui->actionIncludeSubfolders, &QAction::setChecked);
    QObject::connect(m_e1.convertBtn, &QPushButton::clicked, &m_host.conversion(), &ConversionController::convertAction);
    QObject::connect(m_e1.moveUpButton, &QPushButton::clicked, list, &FileListController::moveUp);
    QObject::connect(m_e1.moveDownButton, &QPushButton::clicked, list, &FileListController::moveDown);
    QObject::connect(m_e1.openFileButton, &QPushButton::clicked, list, &FileListController::openFileWithFinder);
    QObject::connect(m_e1.getInfoButton, &QPushButton::clicked, list, &FileListController::getInfoFile);
    QObject::connect(m_e1.openEnclosedFolderButton, &QPushButton::clicked, list, &FileListController::openFileEnclosingFolder);
    QObject::connect(m_e1.selectAllButton, &QPushButton::clicked, list, [list] { list->selectDeselectRemoveAll(WindowNames::SelectAllRows); });
    QObject::connect(m_e1.deselectAllButton, &QPushButton::clicked, ui->mainTableView, &QAbstractItemView::clearSelection);
    QObject::connect(m_e1.removeSelectedFilesButton, &QPushButton::clicked, list,
                     [list] { list->selectDeselectRemoveAll(WindowNames::RemoveSelectedRows); });
    QObject::connect(m_e1.removeAllFilesButton, &QPushButton::clicked, list, [list] { list->selectDeselectRemoveAll(WindowNames::RemoveAllRows); });
    QObject::connect(m_e1.preferencesToolbarItem, &QAction::triggered, context, [this] { toggleSettings(); });
    QObject::connect(m_e1.rightViewToolbarItem, &QAction::triggered, context, [this] { toggleRightView(); });
    QObject::connect(m_e1.exportToolbarItem, &QAction::triggered, ui->actionExport, &QAction::trigger);
    const QList<QAction *> items = m_e1.toolbar->actions();
    for (QAction *a : items) {
        if (a->objectName() == QLatin1String("LOGS"))
            QObject::connect(a, &QAction::triggered, ui->actionOpenLogsFolder, &QAction::trigger);
        else if (a->objectName() == QLatin1String("HELP"))
            QObject::connect(a, &QAction::triggered, ui->actionHelp, &QAction::trigger);
    }
}

QAction *Edition1Window::toolbarItemForItemIdentifier(const QString &identifier)
{
    if (identifier != kAboutIdentifier)
        return nullptr;
    auto *item = new QAction(QIcon(kUserImage), tr("About"), m_e1.toolbar);
    item->setObjectName(kAboutIdentifier);
    item->setProperty(kToolbarIdentifier.toLatin1().constData(), kAboutIdentifier);
    item->setProperty("paletteLabel", QStringLiteral("ABOUT"));
    item->setToolTip(tr("About %1").arg(getAppTitle()));
    QObject::connect(item, &QAction::triggered, m_host.ui()->actionAbout, &QAction::trigger);
    return item;
}

void Edition1Window::setupToolbar()
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

void Edition1Window::restoreShowSettings()
{
    QSettings *defaults = m_host.store();
    if (defaults->contains(WindowNames::kShowSettingsKey)) {
        m_showSettings = defaults->value(WindowNames::kShowSettingsKey).toBool();
    } else {
        m_showSettings = true;
        defaults->setValue(WindowNames::kShowSettingsKey, true);
        defaults->sync();
    }
    showSettings(m_showSettings);
}

void Edition1Window::toggleSettings()
{
    m_showSettings = !m_showSettings;
    m_host.store()->setValue(WindowNames::kShowSettingsKey, m_showSettings);
    m_host.store()->sync();
    showSettings(m_showSettings);
}

void Edition1Window::showSettings(bool show)
{
    guarded("Error in (showSettings:) : %1", [&] {
        (show ? m_e1.preferencesToolbarItem : m_e1.dummyToolbarItem)->setChecked(true);
        // The layout gives the list the width the pane leaves.
        m_host.ui()->rightBox->setVisible(show);
        if (show)
            m_host.outputSettings().updateBilevelPreviewSoon();
    });
}

void Edition1Window::toggleRightView()
{
    if (isRightViewCollapsed())
        uncollapseRightView();
    else
        collapseRightView();
}

bool Edition1Window::isRightViewCollapsed() const { return m_e1.rightPane->isHidden(); }

void Edition1Window::collapseRightView()
{
    m_e1.rightPane->hide();
    m_host.ui()->mainSplitView->update();
}

void Edition1Window::uncollapseRightView()
{
    SplitView *split = m_host.ui()->mainSplitView;
    const int total = split->width();
    const int paneWidth = qMax(m_e1.rightPane->sizeHint().width(), 160);
    m_e1.rightPane->show();
    split->setSizes({qMax(0, total - paneWidth - split->handleWidth()), paneWidth});
    split->update();
}

void Edition1Window::apply(const CommandState &state)
{
    const bool enable = state.viewEnabled;
    for (QWidget *w : std::initializer_list<QWidget *>{m_e1.importBtn, m_e1.addFilesBtn, m_e1.addFolderBtn, m_e1.searchBtn, m_e1.inculdeSubfoldersBtn})
        w->setEnabled(enable);
    const QList<QAction *> items = m_e1.toolbar->actions();
    for (QAction *a : items)
        a->setEnabled(enable);
    m_e1.exportToolbarItem->setEnabled(state.canActOnList());
    m_e1.removeBtn->setEnabled(state.canActOnList());
    for (QWidget *w : std::initializer_list<QWidget *>{m_e1.openFileButton, m_e1.getInfoButton, m_e1.openEnclosedFolderButton, m_e1.selectAllButton,
                                                       m_e1.deselectAllButton, m_e1.removeSelectedFilesButton, m_e1.removeAllFilesButton})
        w->setEnabled(state.canActOnList());
    m_e1.convertBtn->setEnabled(state.canConvert());
    m_e1.moveUpButton->setEnabled(state.canMoveUp());
    m_e1.moveDownButton->setEnabled(state.canMoveDown());
    // The hint follows the list, except while a drop's files load.
    m_e1.lableDragAndDrop->setVisible(state.rows == 0 && !m_dropHidesHint);
}

void Edition1Window::showOutputFolderChosen(bool chosen) { m_host.outputSettingPanel()->ui()->openFolderAfterConversionBtn->setEnabled(chosen); }

void Edition1Window::showCombineMode(int index, const QColor &normal, const QColor &disabled)
{
    QPalette p = m_e1.singleMultiPageTIFFLabel2->palette();
    p.setColor(QPalette::WindowText, index == OneMultiPageFile ? normal : disabled);
    m_e1.singleMultiPageTIFFLabel2->setPalette(p);
}

void Edition1Window::restore(const QColor &keyLetterColor)
{
    restoreShowSettings();
    // A key letter is the first letter of the button's text that matches it,
    // in any case: each translation picks its own, one per letter.
    setButtonKeyCharacter(m_e1.removeBtn, tr("r", "key letter of Remove"), keyLetterColor);
    setButtonKeyCharacter(m_e1.importBtn, tr("i", "key letter of Import"), keyLetterColor);
    setButtonKeyCharacter(m_e1.addFilesBtn, tr("f", "key letter of Add Files"), keyLetterColor);
    setButtonKeyCharacter(m_e1.addFolderBtn, tr("o", "key letter of Add Folder"), keyLetterColor);
    setButtonKeyCharacter(m_e1.inculdeSubfoldersBtn, tr("u", "key letter of Include Subfolders"), keyLetterColor);
    setButtonKeyCharacter(m_e1.convertBtn, tr("c", "key letter of Convert"), keyLetterColor);
}

void Edition1Window::afterShow() { m_host.ui()->recentFoldersPopup->hide(); }

// The window's check box, not the stored option.
bool Edition1Window::includeSubfolders() const { return m_e1.inculdeSubfoldersBtn->isChecked(); }

void Edition1Window::setIncludeSubfolders(bool include) { m_e1.inculdeSubfoldersBtn->setChecked(include); }

void Edition1Window::toggleIncludeSubfolders() { m_e1.inculdeSubfoldersBtn->toggle(); }

void Edition1Window::confirmRemoveAll(const std::function<void()> &remove)
{
    if (applicationModalAlertPanel(m_host.window(), getAppTitle(), EditionWindow::tr("Are you sure to remove all file(s)?"),
                                   EditionWindow::tr("Yes"), EditionWindow::tr("No"))
        == AlertFirstButtonReturn)
        remove();
}

void Edition1Window::convert()
{
    // Edition 1's Convert only combines; combine makes its own checks.
    if (m_host.commandState().canConvert())
        m_host.conversion().combine();
}

void Edition1Window::showOutputSettings()
{
    // The settings live in the window's pane here.
    m_host.ui()->settingTabView->setCurrentIndex(0);
    if (!m_showSettings)
        toggleSettings();
}

bool Edition1Window::checksBeforeRun()
{
    bool go = false;
    guarded("Error in (combine) : %1", [&] {
        m_host.endEditing();
        go = outputFolderReady() && m_host.conversion().namesReady();
    });
    if (go)
        m_host.conversion().setOutputFolder(m_host.settings()->outputFolderPath());
    return go;
}

void Edition1Window::dropBegins()
{
    m_dropHidesHint = true;
    m_e1.lableDragAndDrop->hide();
}

void Edition1Window::stopRunForSettings()
{
    m_host.ui()->settingTabView->setCurrentIndex(1);
    if (!m_showSettings)
        toggleSettings();
    m_host.outputSettingPanel()->ui()->chooseOutputFolderBtn->setFocus();
}

bool Edition1Window::outputFolderReady()
{
    // This platform counts as 10.7 or later: the older systems' offer to save
    // into the source folders never applies, so an empty path is a missing folder.
    const QString folder = m_host.settings()->outputFolderPath();
    QString problem;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        problem = tr("Output folder missing or invalid path!\r\nPlease select valid output folder.");
    else if (!m_host.isWritableFolder(folder))
        problem = tr("Output folder is non-writable!\r\nPlease select writable output folder.");
    if (problem.isEmpty())
        return true;
    applicationModalAlertPanel(m_host.window(), getAppTitle(), problem);
    stopRunForSettings();
    return false;
}

void Edition1Window::alertMissingName(const QString &message) { applicationModalAlertPanel(m_host.window(), QStringLiteral("Quillon :"), message); }

QWidget *Edition1Window::outputFolderPanelParent() const { return m_host.window(); }

void Edition1Window::showProperties(const QStringList &paths)
{
    guarded("Error in (getInfo) : %1", [&] {
        if (!m_host.desktop().showItemProperties)
            return;
        for (const QString &path : paths)
            m_host.desktop().showItemProperties({path});
    });
}

} // namespace quillon

