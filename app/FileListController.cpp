#include "app/FileListController.h"

#include "app/AppGuard.h"
#include "app/DesktopIntegration.h"
#include "app/EditionWindow.h"
#include "app/FileAddingJob.h"
#include "app/FileListModel.h"
#include "app/OutputSettingsController.h"
#include "app/PageSelectionDialog.h"
#include "app/WindowHost.h"
#include "core/OutputPlan.h"
#include "core/Settings.h"

#include "ui_MainWindow.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>

namespace quillon {

FileListController::FileListController(WindowHost &host, QObject *parent)
    : QObject(parent)
    , m_host(host)
{
    Ui::MainWindow *ui = m_host.ui();
    m_model = new FileListModel(&m_files, this);
    CustomTableView *table = ui->mainTableView;
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

    m_headerContextMenu = new QMenu(m_host.window());
    m_headerContextMenu->setObjectName(QStringLiteral("headerContextMenu"));
    m_filesContextMenu = new QMenu(m_host.window());
    m_filesContextMenu->setObjectName(QStringLiteral("filesContextMenu"));
    // A null item is a separator.
    for (QAction *a : std::initializer_list<QAction *>{ui->actionOpenFile, ui->actionShowInFolder, ui->actionGetInfo, nullptr,
                                                       ui->actionCheckSelected, ui->actionUncheckSelected, ui->actionInvertSelected, nullptr,
                                                       ui->actionPageSelection, nullptr, ui->actionMoveUp, ui->actionMoveDown, nullptr,
                                                       ui->actionRemove}) {
        if (a)
            m_filesContextMenu->addAction(a);
        else
            m_filesContextMenu->addSeparator();
    }
}

CustomTableView *FileListController::table() const { return m_host.ui()->mainTableView; }

void FileListController::connectCommands()
{
    Ui::MainWindow *ui = m_host.ui();
    // Tag-forwarding commands: menu items and buttons carry their tag.
    auto byTag = [this](std::initializer_list<QObject *> senders, void (FileListController::*command)(int)) {
        for (QObject *o : senders) {
            if (auto *a = qobject_cast<QAction *>(o))
                connect(a, &QAction::triggered, this, [this, a, command] { (this->*command)(a->property("tag").toInt()); });
            else if (auto *b = qobject_cast<QAbstractButton *>(o))
                connect(b, &QAbstractButton::clicked, this, [this, b, command] { (this->*command)(b->property("tag").toInt()); });
        }
    };
    byTag({ui->actionSelectAll, ui->actionSelectFirstRow, ui->actionRemoveAll, ui->selectAllBtn, ui->selectFirstRowBtn, ui->removeSelectedBtn,
           ui->removeAllBtn},
          &FileListController::selectDeselectRemoveAll);
    byTag({ui->actionCheckSelected, ui->actionUncheckSelected, ui->actionInvertSelected, ui->checkSelectedBtn, ui->uncheckSelectedBtn,
           ui->invertSelectedBtn},
          &FileListController::checkUncheckInvertSelection);
    byTag({ui->actionCheckAll, ui->actionUncheckAll, ui->actionInvertAll, ui->checkAllBtn, ui->uncheckAllBtn, ui->invertAllBtn},
          &FileListController::checkUncheckInvertAll);

    connect(ui->actionRemove, &QAction::triggered, this, &FileListController::removeAction);
    connect(ui->actionOpenFile, &QAction::triggered, this, &FileListController::openFileWithFinder);
    connect(ui->actionShowInFolder, &QAction::triggered, this, &FileListController::openFileEnclosingFolder);
    connect(ui->actionGetInfo, &QAction::triggered, this, &FileListController::getInfoFile);
    connect(ui->actionMoveUp, &QAction::triggered, this, &FileListController::moveUp);
    connect(ui->actionMoveDown, &QAction::triggered, this, &FileListController::moveDown);
    connect(ui->actionPageSelection, &QAction::triggered, this, &FileListController::showPageSelection);
    connect(ui->pageSelectionBtn, &QPushButton::clicked, this, &FileListController::showPageSelection);

    CustomTableView *table = ui->mainTableView;
    table->setContextMenu(m_filesContextMenu);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { m_host.applyCommandState(); });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &FileListController::numberOfRowsChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &FileListController::numberOfRowsChanged);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, &FileListController::numberOfRowsChanged);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, &FileListController::numberOfRowsChanged);
    connect(m_model, &FileListModel::checkMarksChanged, this, &FileListController::updateTotalLabel);
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
}

QList<int> FileListController::selectedRows() const { return table()->selectedRowList(); }

QStringList FileListController::selectedPaths() const
{
    QStringList paths;
    for (int r : selectedRows()) {
        if (const FileItemPtr item = m_model->itemAt(r))
            paths << item->path();
    }
    return paths;
}

bool FileListController::containsMultiPageFiles() const { return table()->selectionContainsMultiPageFiles(); }

void FileListController::clear()
{
    m_files.clear();
    m_model->reloadData();
}

void FileListController::selectDeselectRemoveAll(int tag)
{
    guarded("Error in (selectDeselectRemoveAll:) : %1", [&] {
        CustomTableView *table = this->table();
        switch (tag) {
        case WindowNames::SelectAllRows:
            table->selectAll();
            break;
        case WindowNames::SelectFirstRow:
            if (!m_files.isEmpty()) {
                table->selectionModel()->select(m_model->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                table->selectionModel()->setCurrentIndex(m_model->index(0, 0), QItemSelectionModel::NoUpdate);
            }
            break;
        case WindowNames::RemoveAllRows:
            if (m_files.isEmpty())
                break;
            m_host.edition().confirmRemoveAll([this] {
                clear();
                m_host.resetView(true);
                updateTotalLabel();
            });
            break;
        case WindowNames::RemoveSelectedRows: {
            const QList<int> rows = selectedRows();
            if (rows.isEmpty())
                break;
            const EnablingBatch batch(m_host);
            m_model->removeRowsAt(rows);
            m_host.resetView(true);
            updateTotalLabel();
            break;
        }
        default:
            break;
        }
    });
}

namespace {

bool checkMarkFor(int tag, bool checked)
{
    return tag == WindowNames::CheckRows ? true : (tag == WindowNames::UncheckRows ? false : !checked);
}

} // namespace

void FileListController::checkUncheckInvertSelection(int tag)
{
    guarded("Error in (checkUncheckInvertSelection:) : %1", [&] {
        if (tag < WindowNames::CheckRows || tag > WindowNames::InvertRows)
            return;
        for (int r : selectedRows()) {
            if (const FileItemPtr item = m_model->itemAt(r))
                item->isSelected = checkMarkFor(tag, item->isSelected);
        }
    });
    m_model->reloadRows(0, int(m_files.size()) - 1, FileListModel::IsSelected);
    m_host.resetView(true);
    updateTotalLabel();
}

void FileListController::checkUncheckInvertAll(int tag)
{
    guarded("Error in (checkUncheckInvertAll:) : %1", [&] {
        if (tag < WindowNames::CheckRows || tag > WindowNames::InvertRows)
            return;
        for (const FileItemPtr &item : std::as_const(m_files))
            item->isSelected = checkMarkFor(tag, item->isSelected);
    });
    m_model->reloadRows(0, int(m_files.size()) - 1, FileListModel::IsSelected);
    m_host.resetView(true);
    updateTotalLabel();
}

void FileListController::removeAction()
{
    const EnablingBatch batch(m_host);
    const qsizetype before = m_files.size();
    guarded("Error in (remove) : %1", [&] {
        m_host.endEditing();
        m_model->removeRowsAt(selectedRows());
    });
    if (m_files.size() != before) {
        m_host.resetView(true);
        updateTotalLabel();
    }
}

void FileListController::moveUp() { moveSelectionBy(-1); }

void FileListController::moveDown() { moveSelectionBy(1); }

void FileListController::moveSelectionBy(int step)
{
    const EnablingBatch batch(m_host);
    QList<int> moved;
    const QList<int> rows = selectedRows();
    reorderKeepingSelection([&] { moved = m_model->moveRowsBy(rows, step); });
    CustomTableView *table = this->table();
    table->setFocus();
    if (!moved.isEmpty()) {
        const int lead = step < 0 ? moved.first() : moved.last();
        table->selectionModel()->setCurrentIndex(m_model->index(lead, 1), QItemSelectionModel::NoUpdate);
        table->scrollTo(m_model->index(lead, 1));
    }
}

void FileListController::reorderKeepingSelection(const std::function<void()> &reorder)
{
    // The selection is carried through by its items, not by Qt's persistent
    // indexes: this Qt hashes model indexes so poorly that moving thousands
    // of them through a layout change takes seconds. Clearing first and
    // selecting after also spares the view comparing old and new ranges.
    const EnablingBatch batch(m_host);
    QItemSelectionModel *selection = table()->selectionModel();
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

void FileListController::openFileWithFinder()
{
    guarded("Error in (openFiles) : %1", [&] {
        for (const QString &path : selectedPaths())
            m_host.openUrl(QUrl::fromLocalFile(path));
    });
}

void FileListController::openFileEnclosingFolder()
{
    guarded("Error in (openEnclodingFolder) : %1", [&] {
        const QStringList paths = selectedPaths();
        if (!paths.isEmpty() && m_host.desktop().showItems)
            m_host.desktop().showItems(paths);
    });
}

void FileListController::getInfoFile() { m_host.edition().showProperties(selectedPaths()); }

void FileListController::fileDoubleClicked(const QModelIndex &index)
{
    guarded("Error in fileDoubleClicked : %1", [&] {
        // The check box column toggles on click; a double click there is two toggles, not an open.
        if (!index.isValid() || index.column() == FileListModel::IsSelected)
            return;
        const FileItemPtr item = m_model->itemAt(index.row());
        if (!item)
            return;
        if (!m_host.openUrl(item->filePath()) && m_host.desktop().showItems)
            m_host.desktop().showItems({item->path()});
    });
}

void FileListController::updateTotalLabel()
{
    Ui::MainWindow *ui = m_host.ui();
    guarded("Error in (updateTotalLabel:) : %1", [&] {
        const int total = int(m_files.size());
        int checked = 0;
        for (const FileItemPtr &item : std::as_const(m_files))
            checked += item->isSelected ? 1 : 0;
        const Settings *settings = m_host.settings();
        m_filesToCreate =
            settings ? outputFileCount(checked, settings->combineOptionIndex(), settings->groupMultiPageTIFFCount()) : checked;
        // Three counts, each with its own plural form.
        //: The first of three pieces of the totals line.
        ui->labelTotalFiles->setText(tr("%n Total file(s); ", nullptr, total)
                                     //: The second of three pieces of the totals line.
                                     + tr("%n file selected; ", nullptr, checked)
                                     //: The last of three pieces of the totals line.
                                     + tr("Total TIFF file(s) to create: %n", nullptr, m_filesToCreate));
    });
    ui->labelTotalFiles->update();
    m_host.updateTimeTakenLabel(QString());
    m_host.applyCommandState();
}

bool FileListController::keyDownTableView(QKeyEvent *event)
{
    if (!event || event->type() != QEvent::KeyPress || !(event->modifiers() & Qt::ControlModifier))
        return false;
    if (event->key() == Qt::Key_Up && m_host.commandState().canMoveUp()) {
        moveUp();
        return true;
    }
    if (event->key() == Qt::Key_Down && m_host.commandState().canMoveDown()) {
        moveDown();
        return true;
    }
    return false;
}

bool FileListController::validateDrop(const QMimeData *data, QObject *source) { return m_host.adding().validateDrop(data, source); }

bool FileListController::acceptDrop(const QMimeData *data) { return m_host.adding().acceptDrop(data); }

void FileListController::checkMarksChangedByKey() { updateTotalLabel(); }

void FileListController::menuNeedsUpdate(QMenu *menu)
{
    if (menu != m_headerContextMenu)
        return;
    menu->clear();
    QHeaderView *header = table()->horizontalHeader();
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

void FileListController::showHeaderMenu(const QPoint &pos)
{
    menuNeedsUpdate(m_headerContextMenu);
    m_headerContextMenu->popup(table()->horizontalHeader()->mapToGlobal(pos));
}

void FileListController::colMenuItemClick(QAction *item)
{
    if (!item || !item->data().isValid())
        return;
    const int column = item->data().toInt();
    if (column < 0 || column >= FileListModel::ColumnCount || column == FileListModel::IsSelected || column == FileListModel::Name
        || column == FileListModel::Pages)
        return;
    CustomTableView *table = this->table();
    table->setColumnHidden(column, !table->isColumnHidden(column));
    if (!table->isColumnHidden(column) && table->columnWidth(column) < 40)
        table->setColumnWidth(column, 120);
}

void FileListController::numberOfRowsChanged()
{
    m_host.edition().showRowsLook(m_files.isEmpty());
    m_host.applyCommandState();
}

void FileListController::showPageSelection()
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
        auto *dialog = new PageSelectionDialog(m_host.window());
        dialog->setObjectName(QStringLiteral("pageSelectionDialog"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->onNumberFieldEdited = [](NumberField *field) { applyNumberFieldRule(field); };
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

void FileListController::appendNew(QList<FileItemPtr> items)
{
    // The list can't have changed while the job ran (the window was
    // disabled), but an item is never listed twice whatever happened.
    QSet<QString> known;
    known.reserve(m_files.size());
    for (const FileItemPtr &item : std::as_const(m_files))
        known.insert(item->filePath().toString());
    items.removeIf([&known](const FileItemPtr &item) {
        const QString key = item->filePath().toString();
        if (known.contains(key))
            return true;
        known.insert(key);
        return false;
    });
    if (!items.isEmpty()) {
        m_model->appendItems(items);
        m_model->sortBySortDescriptors();
    }
}

void FileListController::checkExactly(const QStringList &paths)
{
    const QSet<QString> wanted(paths.cbegin(), paths.cend());
    for (const FileItemPtr &item : std::as_const(m_files))
        item->isSelected = wanted.contains(item->path());
    if (!m_files.isEmpty())
        m_model->reloadRows(0, int(m_files.size()) - 1, FileListModel::IsSelected);
    updateTotalLabel();
    // The first of them in view, so the user sees what is to be retried.
    for (int row = 0; row < m_files.size(); ++row) {
        if (m_files.at(row)->isSelected) {
            table()->scrollTo(m_model->index(row, FileListModel::Name));
            break;
        }
    }
}

void FileListController::removeChecked()
{
    QList<int> checked;
    for (int r = 0; r < m_files.size(); ++r) {
        if (m_files.at(r)->isSelected)
            checked << r;
    }
    table()->clearSelection();
    m_model->removeRowsAt(checked);
}

} // namespace quillon
