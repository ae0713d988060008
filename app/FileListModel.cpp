#include "app/FileListModel.h"

#include "core/FolderScan.h"

#include <QFile>
#include <QMimeData>
#include <QSet>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <limits>
#include <numeric>

namespace quillon {
namespace {

const char *const kIdentifiers[] = {"isselected", "name", "pages", "selection", "sizeInKB", "type",
                                    "dateModified", "dateCreated", "dateAccessed", "location"};

QString headerTitle(int column)
{
    switch (column) {
    case FileListModel::IsSelected:
        return QString();
    case FileListModel::Name:
        return FileListModel::tr("Name");
    case FileListModel::Pages:
        return FileListModel::tr("Pages");
    case FileListModel::Selection:
        return FileListModel::tr("Selection");
    case FileListModel::SizeInKB:
        return FileListModel::tr("Size");
    case FileListModel::Type:
        return FileListModel::tr("Type");
    case FileListModel::DateModified:
        return FileListModel::tr("Date Modified");
    case FileListModel::DateCreated:
        return FileListModel::tr("Date Created");
    case FileListModel::DateAccessed:
        return FileListModel::tr("Date Accessed");
    case FileListModel::Location:
        return FileListModel::tr("Location");
    default:
        return QString();
    }
}

// The sort key of one cell: numbers, sizes and dates by value, names as
// people count.
struct SortKey {
    qint64 number = 0;
    QString text;
};

// A date column's instant in milliseconds, straight from the file system: the
// same dates FileItem shows (modified, accessed, birth time when the file
// system keeps one), without the local-time conversions of QDateTime, which
// cost a second for 100,000 files. No date sorts first.
qint64 fileInstant(const FileItem &item, int column)
{
    constexpr qint64 none = std::numeric_limits<qint64>::min();
    if (item.path().isEmpty())
        return none;
    struct statx sx {};
    if (::statx(AT_FDCWD, QFile::encodeName(item.path()).constData(), 0, STATX_MTIME | STATX_ATIME | STATX_BTIME, &sx) != 0)
        return none;
    const statx_timestamp *at = nullptr;
    if (column == FileListModel::DateModified)
        at = &sx.stx_mtime;
    else if (column == FileListModel::DateAccessed)
        at = &sx.stx_atime;
    else if (sx.stx_mask & STATX_BTIME)
        at = &sx.stx_btime;
    return at ? qint64(at->tv_sec) * 1000 + at->tv_nsec / 1000000 : none;
}

SortKey sortKey(const FileItem &item, int column)
{
    SortKey k;
    switch (column) {
    case FileListModel::IsSelected:
        k.number = item.isSelected ? 1 : 0;
        break;
    case FileListModel::Pages:
        k.number = item.pages();
        break;
    case FileListModel::SizeInKB:
        k.number = item.size();
        break;
    case FileListModel::DateModified:
    case FileListModel::DateCreated:
    case FileListModel::DateAccessed:
        k.number = fileInstant(item, column);
        break;
    case FileListModel::Name:
        k.text = item.name();
        break;
    case FileListModel::Location:
        k.text = item.location();
        break;
    case FileListModel::Selection:
        k.text = item.selection().description();
        break;
    case FileListModel::Type:
        k.text = item.type();
        break;
    default:
        break;
    }
    return k;
}

int compareKeys(const SortKey &a, const SortKey &b, int column)
{
    switch (column) {
    case FileListModel::IsSelected:
    case FileListModel::Pages:
    case FileListModel::SizeInKB:
    case FileListModel::DateModified:
    case FileListModel::DateCreated:
    case FileListModel::DateAccessed:
        return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    case FileListModel::Name:
    case FileListModel::Location:
        return naturalLess(a.text, b.text) ? -1 : (naturalLess(b.text, a.text) ? 1 : 0);
    default:
        return a.text.compare(b.text, Qt::CaseInsensitive);
    }
}

} // namespace

FileListModel::FileListModel(QList<FileItemPtr> *files, QObject *parent)
    : QAbstractTableModel(parent)
    , m_files(files)
{
}

QString FileListModel::identifier(int column)
{
    if (column < 0 || column >= ColumnCount)
        return QString();
    return QLatin1String(kIdentifiers[column]);
}

int FileListModel::columnFor(const QString &id)
{
    for (int c = 0; c < ColumnCount; ++c) {
        if (id.compare(QLatin1String(kIdentifiers[c]), Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}

int FileListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_files->size()); }

int FileListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

FileItemPtr FileListModel::itemAt(int row) const
{
    if (row < 0 || row >= m_files->size())
        return nullptr;
    return m_files->at(row);
}

QString FileListModel::cellText(int row, int column) const
{
    const FileItemPtr item = itemAt(row);
    if (!item || column < 0 || column >= ColumnCount)
        return QString();
    return item->displayField(identifier(column)).toString();
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    const FileItemPtr item = index.isValid() ? itemAt(index.row()) : nullptr;
    if (!item)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == IsSelected)
            return {};
        if (column == Pages)
            return item->pages();
        return item->displayField(identifier(column)).toString();
    case Qt::CheckStateRole:
        if (column == IsSelected)
            return item->isSelected ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        if (column == SizeInKB)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::ToolTipRole:
        if (column == Name || column == Location)
            return item->path();
        return {};
    case Qt::AccessibleTextRole:
        // The check box cell has no text; a screen reader says whose mark it is.
        if (column == IsSelected)
            return item->name();
        return {};
    case SortRole:
        if (column == IsSelected)
            return item->isSelected;
        if (column == Pages)
            return item->pages();
        if (column == SizeInKB)
            return item->size();
        return item->displayField(identifier(column));
    case IdentifierRole:
        return identifier(column);
    default:
        return {};
    }
}

bool FileListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    // Only the check box column is editable.
    if (!index.isValid() || index.column() != IsSelected || role != Qt::CheckStateRole)
        return false;
    const FileItemPtr item = itemAt(index.row());
    if (!item)
        return false;
    item->isSelected = value.toInt() == Qt::Checked || (value.typeId() == QMetaType::Bool && value.toBool());
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit checkMarksChanged();
    return true;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return headerTitle(section);
    if (role == Qt::ToolTipRole && section == IsSelected)
        return tr("Checked files take part in the conversion");
    if (role == Qt::AccessibleTextRole && section == IsSelected)
        return tr("Checked");
    if (role == IdentifierRole)
        return identifier(section);
    if (role == Qt::TextAlignmentRole)
        return int((section == SizeInKB ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == IsSelected)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QStringList FileListModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData *FileListModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &i : indexes)
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<QUrl> urls;
    for (int r : std::as_const(rows)) {
        if (const FileItemPtr item = itemAt(r))
            urls << item->filePath();
    }
    auto *mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

Qt::DropActions FileListModel::supportedDragActions() const { return Qt::LinkAction | Qt::CopyAction; }

void FileListModel::reloadData()
{
    beginResetModel();
    endResetModel();
}

void FileListModel::reloadRows(int first, int last, int column)
{
    if (m_files->isEmpty())
        return;
    first = qBound(0, first, int(m_files->size()) - 1);
    last = qBound(first, last, int(m_files->size()) - 1);
    emit dataChanged(index(first, column < 0 ? 0 : column), index(last, column < 0 ? ColumnCount - 1 : column));
}

void FileListModel::appendItems(const QList<FileItemPtr> &items)
{
    if (items.isEmpty())
        return;
    const int first = int(m_files->size());
    beginInsertRows({}, first, first + int(items.size()) - 1);
    m_files->append(items);
    endInsertRows();
}

void FileListModel::removeRowsAt(QList<int> rows)
{
    const int n = int(m_files->size());
    rows.removeIf([n](int r) { return r < 0 || r >= n; });
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.last() - rows.first() + 1 == rows.size()) {
        beginRemoveRows({}, rows.first(), rows.last());
        m_files->remove(rows.first(), rows.size());
        endRemoveRows();
        return;
    }
    // Scattered rows: one reset, not a removal per block, each of which has
    // every view and selection range revisit the whole list.
    beginResetModel();
    QList<FileItemPtr> kept;
    kept.reserve(n - rows.size());
    qsizetype next = 0;
    for (int r = 0; r < n; ++r) {
        if (next < rows.size() && rows.at(next) == r)
            ++next;
        else
            kept.append(m_files->at(r));
    }
    *m_files = std::move(kept);
    endResetModel();
}

void FileListModel::swapAdjacentRows(int upper)
{
    if (upper < 0 || upper + 1 >= m_files->size())
        return;
    // Moving the lower row above the upper one is the same swap.
    beginMoveRows({}, upper + 1, upper + 1, {}, upper);
    m_files->swapItemsAt(upper, upper + 1);
    endMoveRows();
}

QList<int> FileListModel::moveRowsBy(const QList<int> &rows, int step)
{
    const int n = int(m_files->size());
    QList<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    QList<int> moved;
    auto moveOne = [&](int r) {
        const int to = r + step;
        if (r < 0 || r >= n || to < 0 || to >= n)
            return false;
        order.swapItemsAt(r, to);
        moved << to;
        return true;
    };
    if (step < 0) {
        for (int r : rows) {
            if (!moveOne(r))
                break;
        }
    } else {
        for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
            if (!moveOne(*it))
                break;
        }
        std::reverse(moved.begin(), moved.end());
    }
    // Only rows changed places: the vertical sort hint lets a selection of
    // thousands of rows be kept by its rows, not by each of its cells.
    if (!moved.isEmpty())
        applyOrder(order, QAbstractItemModel::VerticalSortHint);
    return moved;
}

void FileListModel::applyOrder(const QList<int> &order, QAbstractItemModel::LayoutChangeHint hint)
{
    const int n = int(m_files->size());
    emit layoutAboutToBeChanged({}, hint);
    QList<int> newRowOf(n);
    for (int i = 0; i < n; ++i)
        newRowOf[order.at(i)] = i;
    QList<FileItemPtr> reordered;
    reordered.reserve(n);
    for (int i : order)
        reordered.append(m_files->at(i));
    *m_files = std::move(reordered);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from)
        to.append(index(newRowOf.at(i.row()), i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, hint);
}

int FileListModel::invertCheckMarks(const QList<int> &rows)
{
    int changed = 0;
    for (int r : rows) {
        const FileItemPtr item = itemAt(r);
        if (!item)
            continue;
        item->isSelected = !item->isSelected;
        ++changed;
        emit dataChanged(index(r, IsSelected), index(r, IsSelected), {Qt::CheckStateRole});
    }
    if (changed)
        emit checkMarksChanged();
    return changed;
}

void FileListModel::setSortDescriptors(const QList<SortDescriptor> &descriptors) { m_sortDescriptors = descriptors; }

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortDescriptors.removeIf([column](const SortDescriptor &d) { return d.column == column; });
    m_sortDescriptors.prepend({column, order});
    sortBySortDescriptors();
}

bool FileListModel::lessThan(const FileItem &a, const FileItem &b) const
{
    for (const SortDescriptor &d : m_sortDescriptors) {
        int c = compareKeys(sortKey(a, d.column), sortKey(b, d.column), d.column);
        if (d.order == Qt::DescendingOrder)
            c = -c;
        if (c != 0)
            return c < 0;
    }
    return false;
}

void FileListModel::sortBySortDescriptors()
{
    if (m_sortDescriptors.isEmpty() || m_files->size() < 2)
        return;
    const int n = int(m_files->size());
    // Keys are read once per item (dates come from the file system).
    QList<QList<SortKey>> keys(n);
    for (int r = 0; r < n; ++r) {
        keys[r].reserve(m_sortDescriptors.size());
        for (const SortDescriptor &d : std::as_const(m_sortDescriptors))
            keys[r].append(sortKey(*m_files->at(r), d.column));
    }
    QList<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        for (int i = 0; i < m_sortDescriptors.size(); ++i) {
            const SortDescriptor &d = m_sortDescriptors.at(i);
            int c = compareKeys(keys.at(x).at(i), keys.at(y).at(i), d.column);
            if (d.order == Qt::DescendingOrder)
                c = -c;
            if (c != 0)
                return c < 0;
        }
        return false;
    });

    applyOrder(order, QAbstractItemModel::VerticalSortHint);
}

} // namespace quillon
