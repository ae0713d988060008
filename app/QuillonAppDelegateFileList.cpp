// QuillonAppDelegate: the file list's commands, keys, columns and totals.
#include "app/QuillonAppDelegate.h"

#include "app/AlertPanels.h"
#include "app/AppGuard.h"
#include "app/FileListModel.h"
#include "app/PageSelectionDialog.h"
#include "core/AppFolders.h"
#include "core/OutputPlan.h"
#include "core/Settings.h"

#include "ui_MainWindow.h"
#include "ui_PageSelection.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>

namespace quillon {

QList<int> QuillonAppDelegate::selectedRows() const { return m_ui->mainTableView->selectedRowList(); }

QStringList QuillonAppDelegate::selectedPaths() const
{
    QStringList paths;
    for (int r : selectedRows()) {
        if (const FileItemPtr item = m_model->itemAt(r))
            paths << item->path();
    }
    return paths;
}

bool QuillonAppDelegate::containsMultiPageFiles() const { return m_ui->mainTableView->selectionContainsMultiPageFiles(); }

void QuillonAppDelegate::selectDeselectRemoveAll(int tag)
{
    guarded("Error in (selectDeselectRemoveAll:) : %1", [&] {
        CustomTableView *table = m_ui->mainTableView;
        switch (tag) {
        case SelectAllRows:
            table->selectAll();
            break;
        case SelectFirstRow:
            if (!m_files.isEmpty()) {
                table->selectionModel()->select(m_model->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                table->selectionModel()->setCurrentIndex(m_model->index(0, 0), QItemSelectionModel::NoUpdate);
            }
            break;
        case RemoveAllRows:
            if (m_files.isEmpty())
                break;
            m_edition->confirmRemoveAll([this] {
                m_files.clear();
                m_model->reloadData();
                resetView(true);
                updateTotalLabel();
            });
            break;
        case RemoveSelectedRows: {
            const QList<int> rows = selectedRows();
            if (rows.isEmpty())
                break;
            const EnablingBatch batch(this);
            m_model->removeRowsAt(rows);
            resetView(true);
            updateTotalLabel();
            break;
        }
        default:
            break;
        }
    });
}

void QuillonAppDelegate::checkUncheckInvertSelection(int tag)
{
    guarded("Error in (checkUncheckInvertSelection:) : %1", [&] {
        if (tag < CheckRows || tag > InvertRows)
            return;
        for (int r : selectedRows()) {
            if (const FileItemPtr item = m_model->itemAt(r))
                item->isSelected = tag == CheckRows ? true : (tag == UncheckRows ? false : !item->isSelected);
        }
    });
    m_model->reloadRows(0, int(m_files.size()) - 1, FileListModel::IsSelected);
    resetView(true);
    updateTotalLabel();
}

void QuillonAppDelegate::checkUncheckInvertAll(int tag)
{
    guarded("Error in (checkUncheckInvertAll:) : %1", [&] {
        if (tag < CheckRows || tag > InvertRows)
            return;
        for (const FileItemPtr &item : std::as_const(m_files))
            item->isSelected = tag == CheckRows ? true : (tag == UncheckRows ? false : !item->isSelected);
    });
    m_model->reloadRows(0, int(m_files.size()) - 1, FileListModel::IsSelected);
    resetView(true);
    updateTotalLabel();
}

void QuillonAppDelegate::removeAction()
{
    const EnablingBatch batch(this);
    const qsizetype before = m_files.size();
    guarded("Error in (remove) : %1", [&] {
        endEditing();
        m_model->removeRowsAt(selectedRows());
    });
    if (m_files.size() != before) {
        resetView(true);
        updateTotalLabel();
    }
}

void QuillonAppDelegate::moveUp() { moveSelectionBy(-1); }

void QuillonAppDelegate::moveDown() { moveSelectionBy(1); }

void QuillonAppDelegate::moveSelectionBy(int step)
{
    const EnablingBatch batch(this);
    QList<int> moved;
    const QList<int> rows = selectedRows();
    reorderKeepingSelection([&] { moved = m_model->moveRowsBy(rows, step); });
    CustomTableView *table = m_ui->mainTableView;
    table->setFocus();
    if (!moved.isEmpty()) {
        const int lead = step < 0 ? moved.first() : moved.last();
        table->selectionModel()->setCurrentIndex(m_model->index(lead, 1), QItemSelectionModel::NoUpdate);
        table->scrollTo(m_model->index(lead, 1));
    }
}

void QuillonAppDelegate::reorderKeepingSelection(const std::function<void()> &reorder)
{
    // The selection is carried through by its items, not by Qt's persistent
    // indexes: this Qt hashes model indexes so poorly that moving thousands
    // of them through a layout change takes seconds. Clearing first and
    // selecting after also spares the view comparing old and new ranges.
    const EnablingBatch batch(this);
    QItemSelectionModel *selection = m_ui->mainTableView->selectionModel();
    QSet<const FileItem *> selected;
    for (int r : selectedRows())
        selected.insert(m_files.at(r).get());
    const FileItemPtr current = m_model->itemAt(selection->currentIndex().row());
    const int currentColumn = selection->currentIndex().column();
    if (!selected.isEmpty())
        selection->clearSelection();
    selection->clearCurrentIndex();
    reorder();
    QItemSelection ranges;
    for (int r = 0; r < m_files.size();) {
        if (!selected.contains(m_files.at(r).get())) {
            ++r;
            continue;
        }
        int last = r;
        while (last + 1 < m_files.size() && selected.contains(m_files.at(last + 1).get()))
            ++last;
        ranges.append(QItemSelectionRange(m_model->index(r, 0), m_model->index(last, FileListModel::ColumnCount - 1)));
        r = last + 1;
    }
    if (!ranges.isEmpty())
        selection->select(ranges, QItemSelectionModel::Select);
    if (current)
        selection->setCurrentIndex(m_model->index(int(m_files.indexOf(current)), currentColumn), QItemSelectionModel::NoUpdate);
}

void QuillonAppDelegate::openFileWithFinder()
{
    guarded("Error in (openFiles) : %1", [&] {
        for (const QString &path : selectedPaths())
            openUrl(QUrl::fromLocalFile(path));
    });
}

void QuillonAppDelegate::openFileEnclosingFolder()
{
    guarded("Error in (openEnclodingFolder) : %1", [&] {
        const QStringList paths = selectedPaths();
        if (!paths.isEmpty() && m_desktop.showItems)
            m_desktop.showItems(paths);
    });
}

void QuillonAppDelegate::getInfoFile() { m_edition->showProperties(selectedPaths()); }

void QuillonAppDelegate::fileDoubleClicked(const QModelIndex &index)
{
    guarded("Error in fileDoubleClicked : %1", [&] {
        // The check box column toggles on click; a double click there is two toggles, not an open.
        if (!index.isValid() || index.column() == FileListModel::IsSelected)
            return;
        const FileItemPtr item = m_model->itemAt(index.row());
        if (!item)
            return;
        if (!openUrl(item->filePath()) && m_desktop.showItems)
            m_desktop.showItems({item->path()});
    });
}

void QuillonAppDelegate::updateTotalLabel()
{
    guarded("Error in (updateTotalLabel:) : %1", [&] {
        const int total = int(m_files.size());
        int checked = 0;
        for (const FileItemPtr &item : std::as_const(m_files))
            checked += item->isSelected ? 1 : 0;
        const int toCreate =
            m_settings ? outputFileCount(checked, m_settings->combineOptionIndex(), m_settings->groupMultiPageTIFFCount()) : checked;
        m_commands.filesToCreate = toCreate;
        m_ui->labelTotalFiles->setText(QStringLiteral("%1 Total file(s); %2 file selected; Total TIFF file(s) to create: %3")
                                           .arg(total)
                                           .arg(checked)
                                           .arg(toCreate));
    });
    m_ui->labelTotalFiles->update();
    updateTimeTakenLabel(QString());
    applyCommandState();
}

bool QuillonAppDelegate::keyDownTableView(QKeyEvent *event)
{
    if (!event || event->type() != QEvent::KeyPress || !(event->modifiers() & Qt::ControlModifier))
        return false;
    if (event->key() == Qt::Key_Up && m_commands.canMoveUp()) {
        moveUp();
        return true;
    }
    if (event->key() == Qt::Key_Down && m_commands.canMoveDown()) {
        moveDown();
        return true;
    }
    return false;
}

void QuillonAppDelegate::checkMarksChangedByKey() { updateTotalLabel(); }

void QuillonAppDelegate::menuNeedsUpdate(QMenu *menu)
{
    if (menu != m_headerContextMenu)
        return;
    menu->clear();
    QHeaderView *header = m_ui->mainTableView->horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (column == FileListModel::IsSelected || column == FileListModel::Name || column == FileListModel::Pages)
            continue;
        QAction *item = menu->addAction(m_model->headerData(column, Qt::Horizontal).toString());
        item->setCheckable(true);
        item->setChecked(!header->isSectionHidden(column));
        item->setData(column);
        connect(item, &QAction::triggered, this, [this, item] { colMenuItemClick(item); });
    }
}

void QuillonAppDelegate::colMenuItemClick(QAction *item)
{
    if (!item || !item->data().isValid())
        return;
    const int column = item->data().toInt();
    if (column < 0 || column >= FileListModel::ColumnCount || column == FileListModel::IsSelected || column == FileListModel::Name
        || column == FileListModel::Pages)
        return;
    CustomTableView *table = m_ui->mainTableView;
    table->setColumnHidden(column, !table->isColumnHidden(column));
    if (!table->isColumnHidden(column) && table->columnWidth(column) < 40)
        table->setColumnWidth(column, 120);
}

void QuillonAppDelegate::tableViewSelectionDidChange() { applyCommandState(); }

void QuillonAppDelegate::numberOfRowsChanged()
{
    m_edition->showRowsLook(m_files.isEmpty());
    applyCommandState();
}

QuillonAppDelegate::EnablingBatch::EnablingBatch(QuillonAppDelegate *owner)
    : m_owner(owner)
{
    ++m_owner->m_enablingBatch;
}

QuillonAppDelegate::EnablingBatch::~EnablingBatch()
{
    if (--m_owner->m_enablingBatch == 0 && std::exchange(m_owner->m_enablingPending, false))
        m_owner->applyCommandState();
}

void QuillonAppDelegate::applyCommandState()
{
    if (m_enablingBatch > 0) {
        // The batch's end comes back here once.
        m_enablingPending = true;
        return;
    }
    CommandState &c = m_commands;
    const QList<int> rows = selectedRows();
    c.loading = isLoading();
    c.rows = int(m_files.size());
    c.selectionFirst = rows.isEmpty() ? -1 : rows.first();
    c.selectionLast = rows.isEmpty() ? -1 : rows.last();
    c.selectionHasMultiPage = containsMultiPageFiles();

    Ui::MainWindow *ui = m_ui.get();
    const bool on = c.viewEnabled;
    ui->mainTableView->setEnabled(on);
    SegmentedControl *files = ui->filesFoldersSegmented;
    for (int s : {AddFilesSegment, SubfoldersSegment, ImportSegment, LogsSegment})
        files->setSegmentEnabled(s, on);
    files->setSegmentEnabled(RemoveSegment, c.canActOnList());
    files->setSegmentEnabled(ExportSegment, c.canActOnList());
    SegmentedControl *nav = ui->navigationSegmented;
    nav->setSegmentEnabled(MoveUpSegment, c.canMoveUp());
    nav->setSegmentEnabled(MoveDownSegment, c.canMoveDown());
    nav->setSegmentEnabled(RemoveAllSegment, c.canActOnList());
    ui->commandSegmented->setSegmentEnabled(OutputSettingsSegment, on);
    ui->commandSegmented->setSegmentEnabled(ConvertSegment, c.canConvert());
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

void QuillonAppDelegate::showPageSelection()
{
    guarded("Error in (pageSelection:) : %1", [&] {
        QList<FileItemPtr> targets;
        for (int r : selectedRows()) {
            const FileItemPtr item = m_model->itemAt(r);
            if (item && item->isMultiPageFile())
                targets << item;
        }
        if (targets.isEmpty() || (m_pageSelectionDialog && m_pageSelectionDialog->isVisible()))
            return;
        auto *dialog = new PageSelectionDialog(m_window.get());
        dialog->setObjectName(QStringLiteral("pageSelectionDialog"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->onNumberFieldEdited = [this](NumberField *field) { controlTextDidChange(field); };
        dialog->setSelection(targets.first()->selection(), int(targets.size()));
        m_pageSelectionDialog = dialog;
        connect(dialog, &QDialog::accepted, this, [this, dialog, targets] {
            const SelectionRange chosen = dialog->selection();
            for (const FileItemPtr &item : targets) {
                // An item removed meanwhile is no longer in the list; nothing to show.
                item->setSelection(chosen);
                const int row = int(m_files.indexOf(item));
                if (row >= 0)
                    m_model->reloadRows(row, row, FileListModel::Selection);
            }
        });
        dialog->open();
    });
}

} // namespace quillon
