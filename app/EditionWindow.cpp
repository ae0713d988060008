// The seam between the editions, and edition 2's side of it.
#include "app/EditionWindow.h"

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/ConversionController.h"
#include "app/DesktopIntegration.h"
#include "app/Edition1Window.h"
#include "app/FileAddingJob.h"
#include "app/FileListController.h"
#include "app/FileListModel.h"
#include "app/OutputSettingsController.h"
#include "app/Sheets.h"
#include "app/WindowHost.h"
#include "core/AppFolders.h"
#include "core/SharedSettings.h"

#include "ui_MainWindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QMessageBox>
#include <QSettings>
#include <QWindow>

namespace quillon {

EditionWindow::~EditionWindow() = default;

const Edition1Controls &EditionWindow::edition1() const
{
    static const Edition1Controls none;
    return none;
}

// Edition 2: the window as the form builds it, with the header menu, the
// recent folders, the stored column layout and the output settings sheet.
class Edition2Window : public EditionWindow {
public:
    using EditionWindow::EditionWindow;

    void build() override
    {
        // Edition 1 has no header menu to bring these back, so it shows all ten.
        CustomTableView *table = m_host.ui()->mainTableView;
        table->setColumnHidden(FileListModel::DateCreated, true);
        table->setColumnHidden(FileListModel::DateAccessed, true);
        table->setShowsEmptyPicture(true);
    }

    void connectCommands() override
    {
        WindowHost *host = &m_host;
        CustomTableView *table = host->ui()->mainTableView;
        QHeaderView *header = table->horizontalHeader();
        FileListController *list = &host->fileList();
        QObject::connect(header, &QHeaderView::customContextMenuRequested, list, &FileListController::showHeaderMenu);
        QObject::connect(header, &QHeaderView::sectionMoved, table, [table] { table->setDisableDrawing(false); });
        QObject::connect(qApp, &QGuiApplication::focusWindowChanged, host->window(), [host] {
            // A sheet on the window keeps it the main window.
            if (host->isWindowActive())
                host->windowDidBecomeMain();
            else
                host->windowDidResignMain();
        });
    }

    void restore(const QColor &) override {}

    void beforeShow() override
    {
        const QByteArray state = m_host.store()->value(WindowNames::kColumnLayoutKey).toByteArray();
        CustomTableView *table = m_host.ui()->mainTableView;
        QHeaderView *header = table->horizontalHeader();
        if (!state.isEmpty() && header->restoreState(state)) {
            // The columns that the header menu can't bring back stay visible.
            for (int c : {FileListModel::IsSelected, FileListModel::Name, FileListModel::Pages})
                table->setColumnHidden(c, false);
            header->setSortIndicatorShown(false);
        }
    }

    void afterShow() override
    {
        QObject::connect(m_host.ui()->mainTableView, &QAbstractItemView::doubleClicked, &m_host.fileList(),
                         &FileListController::fileDoubleClicked);
        m_host.adding().restoreRecentFolders(m_host.store());
    }

    void save() override
    {
        m_host.adding().recentFolders().save(m_host.store());
        m_host.store()->setValue(WindowNames::kColumnLayoutKey, m_host.ui()->mainTableView->horizontalHeader()->saveState());
    }

    bool includeSubfolders() const override { return m_host.store()->value(WindowNames::kIncludeSubfoldersKey, false).toBool(); }

    void setIncludeSubfolders(bool include) override
    {
        updateSharedSettings(m_host.store(), [include](QSettings *defaults) { defaults->setValue(WindowNames::kIncludeSubfoldersKey, include); });
    }

    void toggleIncludeSubfolders() override
    {
        setIncludeSubfolders(!includeSubfolders());
        m_host.ui()->filesFoldersSegmented->setSegmentSelected(WindowNames::SubfoldersSegment, includeSubfolders());
        m_host.ui()->actionIncludeSubfolders->setChecked(includeSubfolders());
    }

    void showRowsLook(bool empty) override
    {
        CustomTableView *table = m_host.ui()->mainTableView;
        table->setShowGrid(!empty);
        table->setAlternatingRowColors(!empty);
    }

    bool keepsRecentFolders() const override { return true; }
    bool addFilesTakesFolders() const override { return true; }
    bool applicationModalAlerts() const override { return false; }
    bool outputSettingsInPane() const override { return false; }
    QWidget *outputFolderPanelParent() const override { return m_host.outputSettingPanel(); }
    QString outputFolderPanelMessage() const override { return EditionWindow::tr("Choose Output Folder : "); }

    void confirmRemoveAll(const std::function<void()> &remove) override
    {
        QMainWindow *window = m_host.window();
        CustomTableView *table = m_host.ui()->mainTableView;
        QMessageBox *alert = makeCriticalAlert(window, getAppTitle(), EditionWindow::tr("Are you sure to remove all file(s)?"),
                                               EditionWindow::tr("Yes"), EditionWindow::tr("No"));
        alert->setObjectName(QStringLiteral("removeAllAlert"));
        beginSheetModalForWindow(alert, window, [table, remove](int code) {
            guarded("Error in (selectDeselectRemoveAll:) : %1", [&] {
                if (code == AlertFirstButtonReturn)
                    remove();
            });
            table->viewport()->update();
        });
    }

    void showProperties(const QStringList &paths) override
    {
        guarded("Error in (getInfo) : %1", [&] {
            if (!paths.isEmpty() && m_host.desktop().showItemProperties)
                m_host.desktop().showItemProperties(paths);
        });
    }

    void convert() override { m_host.conversion().convertWithChecks(); }

    void showOutputSettings() override
    {
        m_host.outputSettingPanel()->beginSheet();
        m_host.outputSettings().updateBilevelPreview();
        m_host.ui()->mainTableView->viewport()->update();
    }

    void alertMissingName(const QString &message) override { informationAlertPanel(m_host.window(), getAppTitle(), message); }
};

std::unique_ptr<EditionWindow> makeEditionWindow(int edition, WindowHost &host)
{
    if (edition == 1)
        return std::make_unique<Edition1Window>(host);
    return std::make_unique<Edition2Window>(host);
}

} // namespace quillon
