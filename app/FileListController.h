#pragma once
#include "app/CustomTableView.h"
#include "core/FileItem.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAction;
class QMenu;
class QModelIndex;

namespace quillon {

class FileListModel;
class PageSelectionDialog;
class WindowHost;

// The file list: owns the files (the conversion order) and their table model,
// the table's context and header menus and the page-selection dialog. It
// takes the list's commands: select, check, remove, move, open, show, info,
// the table's keys, sorting by a header click, the columns, the pages of
// TIFF rows, and the totals line. It tells the window through its host (the
// command state, the time-taken line) and the table through the model's
// signals. Main thread only.
class FileListController : public QObject, public CustomTableViewDelegate {
    Q_OBJECT
public:
    // Sets the window's table up over a model of its own.
    FileListController(WindowHost &host, QObject *parent);
    // The commands of the list's menu items, buttons, table and header.
    void connectCommands();

    QList<FileItemPtr> &files() { return m_files; }
    const QList<FileItemPtr> &files() const { return m_files; }
    FileListModel *model() const { return m_model; }
    QMenu *filesContextMenu() const { return m_filesContextMenu; }
    QMenu *headerContextMenu() const { return m_headerContextMenu; }
    QList<int> selectedRows() const;
    QStringList selectedPaths() const;
    bool containsMultiPageFiles() const;
    // By the combine mode and the checked rows, as of the last updateTotalLabel().
    int filesToCreate() const { return m_filesToCreate; }

    void selectDeselectRemoveAll(int tag);
    void checkUncheckInvertSelection(int tag);
    void checkUncheckInvertAll(int tag);
    void moveUp();
    void moveDown();
    void openFileWithFinder();
    void openFileEnclosingFolder();
    void getInfoFile();
    void fileDoubleClicked(const QModelIndex &index);
    void showPageSelection();
    // Rebuilds the column header menu; shows it at a point of the header.
    void menuNeedsUpdate(QMenu *menu);
    void showHeaderMenu(const QPoint &pos);
    void colMenuItemClick(QAction *item);
    void updateTotalLabel();
    // The rows' look and the commands after a change of rows.
    void numberOfRowsChanged();

    // Empties the list.
    void clear();
    // Appends what a file-adding job made, leaving out what is listed already,
    // then sorts by the sort descriptors.
    void appendNew(QList<FileItemPtr> items);
    // Exactly the files of `paths` checked, the first of them in view.
    void checkExactly(const QStringList &paths);
    // The checked rows leave the list (after a run that asks for it).
    void removeChecked();

    // CustomTableViewDelegate
    void removeAction() override;
    bool keyDownTableView(QKeyEvent *event) override;
    bool validateDrop(const QMimeData *data, QObject *source) override;
    bool acceptDrop(const QMimeData *data) override;
    void checkMarksChangedByKey() override;

private:
    CustomTableView *table() const;
    void moveSelectionBy(int step);
    void reorderKeepingSelection(const std::function<void()> &reorder);

    WindowHost &m_host;
    QList<FileItemPtr> m_files;
    FileListModel *m_model = nullptr;
    QMenu *m_filesContextMenu = nullptr;
    QMenu *m_headerContextMenu = nullptr;
    QPointer<PageSelectionDialog> m_pageSelectionDialog;
    int m_filesToCreate = 0;
};

} // namespace quillon
