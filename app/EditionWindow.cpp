// The seam between the editions, and edition 2's side of it.
#include "app/EditionWindow.h"

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/Edition1Window.h"
#include "app/FileListModel.h"
#include "app/QuillonAppDelegate.h"
#include "app/Sheets.h"
#include "core/AppFolders.h"
#include "core/SharedSettings.h"

#include "ui_MainWindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenu>
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
        CustomTableView *table = m_owner.m_ui->mainTableView;
        table->setColumnHidden(FileListModel::DateCreated, true);
        table->setColumnHidden(FileListModel::DateAccessed, true);
        table->setShowsEmptyPicture(true);
    }

    void connectCommands() override
    {
        QuillonAppDelegate *owner = &m_owner;
        CustomTableView *table = owner->m_ui->mainTableView;
        QHeaderView *header = table->horizontalHeader();
        QObject::connect(header, &QHeaderView::customContextMenuRequested, owner, [owner, header](const QPoint &pos) {
            owner->menuNeedsUpdate(owner->m_headerContextMenu);
            owner->m_headerContextMenu->popup(header->mapToGlobal(pos));
        });
        QObject::connect(header, &QHeaderView::sectionMoved, owner, [table] { table->setDisableDrawing(false); });
        QObject::connect(qApp, &QGuiApplication::focusWindowChanged, owner, [owner] {
            // A sheet on the window keeps it the main window.
            if (owner->isWindowActive())
                owner->windowDidBecomeMain();
            else
                owner->windowDidResignMain();
        });
    }

    void restore(const QColor &) override {}

    void beforeShow() override
    {
        const QByteArray state = m_owner.store()->value(QuillonAppDelegate::kColumnLayoutKey).toByteArray();
        CustomTableView *table = m_owner.m_ui->mainTableView;
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
        QObject::connect(m_owner.m_ui->mainTableView, &QAbstractItemView::doubleClicked, &m_owner, &QuillonAppDelegate::fileDoubleClicked);
        m_owner.m_recentFolders.restore(m_owner.store());
        m_owner.loadRecentFolders();
    }

    void save() override
    {
        m_owner.m_recentFolders.save(m_owner.store());
        m_owner.store()->setValue(QuillonAppDelegate::kColumnLayoutKey, m_owner.m_ui->mainTableView->horizontalHeader()->saveState());
    }

    bool includeSubfolders() const override { return m_owner.store()->value(QuillonAppDelegate::kIncludeSubfoldersKey, false).toBool(); }

    void setIncludeSubfolders(bool include) override
    {
        updateSharedSettings(m_owner.store(),
                             [include](QSettings *defaults) { defaults->setValue(QuillonAppDelegate::kIncludeSubfoldersKey, include); });
    }

    void toggleIncludeSubfolders() override
    {
        setIncludeSubfolders(!includeSubfolders());
        m_owner.m_ui->filesFoldersSegmented->setSegmentSelected(QuillonAppDelegate::SubfoldersSegment, includeSubfolders());
        m_owner.m_ui->actionIncludeSubfolders->setChecked(includeSubfolders());
    }

    void showRowsLook(bool empty) override
    {
        CustomTableView *table = m_owner.m_ui->mainTableView;
        table->setShowGrid(!empty);
        table->setAlternatingRowColors(!empty);
    }

    bool keepsRecentFolders() const override { return true; }
    bool addFilesTakesFolders() const override { return true; }
    bool applicationModalAlerts() const override { return false; }
    QWidget *outputFolderPanelParent() const override { return m_owner.m_outputSettingPanel; }
    QString outputFolderPanelMessage() const override { return QStringLiteral("Choose Output Folder : "); }

    void confirmRemoveAll(const std::function<void()> &remove) override
    {
        QuillonAppDelegate *owner = &m_owner;
        QMessageBox *alert = makeCriticalAlert(owner->m_window.get(), getAppTitle(), QStringLiteral("Are you sure to remove all file(s)?"),
                                               QStringLiteral("Yes"), QStringLiteral("No"));
        alert->setObjectName(QStringLiteral("removeAllAlert"));
        beginSheetModalForWindow(alert, owner->m_window.get(), [owner, remove](int code) {
            guarded("Error in (selectDeselectRemoveAll:) : %1", [&] {
                if (code == AlertFirstButtonReturn)
                    remove();
            });
            owner->m_ui->mainTableView->viewport()->update();
        });
    }

    void showProperties(const QStringList &paths) override
    {
        guarded("Error in (getInfo) : %1", [&] {
            if (!paths.isEmpty() && m_owner.m_desktop.showItemProperties)
                m_owner.m_desktop.showItemProperties(paths);
        });
    }

    void convert() override { m_owner.convertWithChecks(); }

    void showOutputSettings() override
    {
        m_owner.m_outputSettingPanel->beginSheet();
        m_owner.updateBilevelPreview();
        m_owner.m_ui->mainTableView->viewport()->update();
    }
};

std::unique_ptr<EditionWindow> makeEditionWindow(int edition, QuillonAppDelegate &owner)
{
    if (edition == 1)
        return std::make_unique<Edition1Window>(owner);
    return std::make_unique<Edition2Window>(owner);
}

} // namespace quillon
