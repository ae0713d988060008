#include "app/CustomTableView.h"

#include "app/FileListModel.h"
#include "windows/AppImages.h"

#include <QAction>
#include <QBitArray>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSvgRenderer>

namespace quillon {
namespace {
constexpr int kPictureWidth = 220;
constexpr int kPictureHeight = 211;
const QColor kActiveTextColor(129, 167, 200);
} // namespace

CustomTableView::CustomTableView(QWidget *parent)
    : QTableView(parent)
{
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    // A press on the header may start a column drag: no picture until it ends.
    horizontalHeader()->viewport()->installEventFilter(this);
}

QString CustomTableView::emptyListText()
{
    return tr("Drag and Drop your files/folders directly from the finder here.");
}

void CustomTableView::setDisableDrawing(bool disable)
{
    if (m_disableDrawing == disable)
        return;
    m_disableDrawing = disable;
    viewport()->update();
}

void CustomTableView::setMainWindowState(bool main)
{
    if (m_isMain == main)
        return;
    m_isMain = main;
    viewport()->update();
}

bool CustomTableView::isShowingEmptyPicture() const
{
    return model() && model()->rowCount() == 0 && !m_disableDrawing;
}

QRect CustomTableView::emptyPictureRect() const
{
    const QRect r = viewport()->rect();
    const int x = r.x() + r.width() / 2 - kPictureWidth / 2;
    const int y = r.y() + r.height() / 2 - kPictureHeight / 2;
    return QRect(x, y, kPictureWidth, kPictureHeight);
}

QRect CustomTableView::emptyTextRect() const
{
    const QRect r = viewport()->rect();
    return QRect(emptyPictureRect().x() - 35, r.height() - 65, 290, 211);
}

QList<int> CustomTableView::selectedRowList() const
{
    QList<int> rows;
    if (!selectionModel() || !model())
        return rows;
    // The table selects whole rows, so the ranges are read directly:
    // QItemSelectionModel::selectedRows() checks every row against every
    // range, which takes seconds for thousands of scattered rows.
    const int columns = model()->columnCount();
    const QItemSelection selection = selectionModel()->selection();
    QBitArray marked(model()->rowCount());
    for (const QItemSelectionRange &range : selection) {
        if (range.left() != 0 || range.right() != columns - 1 || range.bottom() >= marked.size()) {
            const QModelIndexList selected = selectionModel()->selectedRows();
            for (const QModelIndex &i : selected)
                rows << i.row();
            std::sort(rows.begin(), rows.end());
            return rows;
        }
        marked.fill(true, range.top(), range.bottom() + 1);
    }
    for (qsizetype r = 0; r < marked.size(); ++r) {
        if (marked.testBit(r))
            rows << int(r);
    }
    return rows;
}

bool CustomTableView::selectionContainsMultiPageFiles() const
{
    auto *m = qobject_cast<FileListModel *>(model());
    if (!m)
        return false;
    for (int r : selectedRowList()) {
        const FileItemPtr item = m->itemAt(r);
        if (!item)
            continue;
        if (item->isMultiPageFile())
            return true;
    }
    return false;
}

void CustomTableView::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Space) {
        auto *m = qobject_cast<FileListModel *>(model());
        if (m && m->invertCheckMarks(selectedRowList()) > 0 && m_delegate)
            m_delegate->checkMarksChangedByKey();
        return;
    }
    if (key == Qt::Key_F7 && selectionContainsMultiPageFiles() && m_contextMenu) {
        // The context menu's item that carries F7 runs, as its key equivalent.
        const QList<QAction *> actions = m_contextMenu->actions();
        for (QAction *a : actions) {
            if (a->shortcut() == QKeySequence(Qt::Key_F7) && a->isEnabled()) {
                a->trigger();
                return;
            }
        }
    }
    if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
        if (m_delegate)
            m_delegate->removeAction();
        return;
    }
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && (event->modifiers() & Qt::ControlModifier)) {
        if (m_delegate)
            m_delegate->keyDownTableView(event);
        return;
    }
    QTableView::keyPressEvent(event);
}

void CustomTableView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_contextMenu || selectedRowList().isEmpty())
        return;
    m_contextMenu->popup(event->globalPos());
}

void CustomTableView::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    QPainter p(viewport());
    if (m_showsEmptyPicture && isShowingEmptyPicture()) {
        p.save();
        const bool main = m_isMain;
        QSvgRenderer svg(main ? kDropActiveImage : kDropInactiveImage);
        if (svg.isValid())
            svg.render(&p, emptyPictureRect());
        QFont f = font();
        f.setPixelSize(18);
        p.setFont(f);
        p.setPen(main ? kActiveTextColor : QColor(Qt::gray));
        p.drawText(emptyTextRect(), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, emptyListText());
        p.restore();
    }
    if (m_dragHighlight) {
        QColor c = palette().color(QPalette::Highlight);
        p.setPen(QPen(c, 2));
        p.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
    }
}

void CustomTableView::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_delegate && m_delegate->validateDrop(event->mimeData(), event->source())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        m_dragHighlight = true;
        viewport()->update();
    } else {
        event->ignore();
    }
}

void CustomTableView::dragMoveEvent(QDragMoveEvent *event)
{
    // The whole table is the target, never a row.
    if (m_delegate && m_delegate->validateDrop(event->mimeData(), event->source())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void CustomTableView::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_dragHighlight = false;
    viewport()->update();
    event->accept();
}

void CustomTableView::dropEvent(QDropEvent *event)
{
    m_dragHighlight = false;
    viewport()->update();
    if (m_delegate && m_delegate->validateDrop(event->mimeData(), event->source())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        m_delegate->acceptDrop(event->mimeData());
    } else {
        event->ignore();
    }
}

void CustomTableView::startDrag(Qt::DropActions)
{
    const QModelIndexList indexes = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    if (indexes.isEmpty() || !model())
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(model()->mimeData(indexes));
    // Other programs get links to the files; a copy when the user asks for one.
    drag->exec(Qt::LinkAction | Qt::CopyAction | Qt::MoveAction, Qt::LinkAction);
}

bool CustomTableView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == horizontalHeader()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress)
            setDisableDrawing(true);
        else if (event->type() == QEvent::MouseButtonRelease)
            setDisableDrawing(false);
    }
    return QTableView::eventFilter(watched, event);
}

} // namespace quillon
