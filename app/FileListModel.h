#pragma once
#include "core/FileItem.h"

#include <QAbstractTableModel>
#include <QList>

namespace quillon {

// The file list as a table: one row per item of the window's `files` (not
// owned; the window keeps the list and tells the model what it changed).
// Sorting reorders `files` itself, because the shown order is the conversion
// order. Main thread only.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { IsSelected, Name, Pages, Selection, SizeInKB, Type, DateModified, DateCreated, DateAccessed, Location, ColumnCount };
    Q_ENUM(Column)
    enum Role { SortRole = Qt::UserRole + 1, IdentifierRole };

    struct SortDescriptor {
        int column = Name;
        Qt::SortOrder order = Qt::AscendingOrder;
        bool operator==(const SortDescriptor &) const = default;
    };

    explicit FileListModel(QList<FileItemPtr> *files, QObject *parent = nullptr);

    // The column identifiers ("isselected", "name", ..., "location").
    static QString identifier(int column);
    static int columnFor(const QString &identifier); // -1 when unknown (any letter case)

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    FileItemPtr itemAt(int row) const;
    // The text of a cell; the empty text for row -1 or a missing item.
    QString cellText(int row, int column) const;

    // The list was changed behind the model's back (reload everything).
    void reloadData();
    // Rows [first, last] of `column` (all columns for -1) show new values.
    void reloadRows(int first, int last, int column = -1);
    // Appends items to `files` (and the table).
    void appendItems(const QList<FileItemPtr> &items);
    // Removes the given rows (any order, duplicates ignored) from `files`, as
    // one change: rows removed when they are one block, a reset otherwise.
    void removeRowsAt(QList<int> rows);
    // Swaps two adjacent rows of `files`.
    void swapAdjacentRows(int upper);
    // Moves each of `rows` (ascending) one place up (step -1) or down (+1), as
    // swapping each with its neighbour in turn would (the highest first going
    // up, the lowest first going down), stopping at the first that cannot
    // move; one layout change. Returns the moved items' new rows, ascending.
    QList<int> moveRowsBy(const QList<int> &rows, int step);
    // Inverts the check marks of the rows; returns how many changed.
    int invertCheckMarks(const QList<int> &rows);

    // The sort order: the most recently chosen column first, the columns chosen
    // before it breaking ties.
    QList<SortDescriptor> sortDescriptors() const { return m_sortDescriptors; }
    void setSortDescriptors(const QList<SortDescriptor> &descriptors);
    // Makes `column` the first sort key with `order` and sorts `files`.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Sorts `files` by the current descriptors (nothing to do without any).
    void sortBySortDescriptors();
    // Whether a is ordered before b by the descriptors (tests and callers).
    bool lessThan(const FileItem &a, const FileItem &b) const;

signals:
    // A check mark was changed through the table (check box or Space).
    void checkMarksChanged();

private:
    // Reorders `files` so that new row i holds old row order[i], as one layout change.
    void applyOrder(const QList<int> &order, QAbstractItemModel::LayoutChangeHint hint);

    QList<FileItemPtr> *m_files;
    QList<SortDescriptor> m_sortDescriptors;
};

} // namespace quillon
