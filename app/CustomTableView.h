#pragma once
#include <QMenu>
#include <QPointer>
#include <QTableView>

class QMimeData;

namespace quillon {

class CustomTableView;

// What the file table asks of the window's controller.
class CustomTableViewDelegate {
public:
    virtual void removeAction() = 0;
    // Ctrl+Up / Ctrl+Down; true when handled.
    virtual bool keyDownTableView(QKeyEvent *event) = 0;
    // Whether a drag may drop on the list, and the drop itself (answers false:
    // files arrive through the loading job, not through the drop).
    virtual bool validateDrop(const QMimeData *data, QObject *source) = 0;
    virtual bool acceptDrop(const QMimeData *data) = 0;
    // Check marks changed by Space.
    virtual void checkMarksChangedByKey() = 0;

protected:
    ~CustomTableViewDelegate() = default;
};

// The file list's table. Adds the keys of the list (Space, F7, Delete,
// Ctrl+Up/Down), the context menu rule (only over a selection), drops of
// files and folders, and the picture drawn while the list is empty.
class CustomTableView : public QTableView {
    Q_OBJECT
    Q_PROPERTY(bool disableDrawing READ disableDrawing WRITE setDisableDrawing)
public:
    explicit CustomTableView(QWidget *parent = nullptr);

    void setTableDelegate(CustomTableViewDelegate *delegate) { m_delegate = delegate; }

    // Shown for a right click over selected rows; not owned.
    QMenu *contextMenu() const { return m_contextMenu; }
    void setContextMenu(QMenu *menu) { m_contextMenu = menu; }

    // While true the empty-list picture is not drawn (during a column drag).
    bool disableDrawing() const { return m_disableDrawing; }
    void setDisableDrawing(bool disable);

    // Whether the window counts as the main window (a sheet on it keeps it so);
    // the empty-list picture is drawn in its inactive look otherwise.
    bool isMainWindowState() const { return m_isMain; }
    void setMainWindowState(bool main);

    // Edition 2 draws a picture over the empty list; edition 1 lays a hint label over it.
    void setShowsEmptyPicture(bool shows) { m_showsEmptyPicture = shows; }
    // Whether the empty-list picture is drawn now, and where (tests).
    bool isShowingEmptyPicture() const;
    QRect emptyPictureRect() const;
    QRect emptyTextRect() const;
    static QString emptyListText();
    // The selected rows, in list order.
    QList<int> selectedRowList() const;
    // Whether a selected row holds a TIF/TIFF file (F7's condition).
    bool selectionContainsMultiPageFiles() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    CustomTableViewDelegate *m_delegate = nullptr;
    QPointer<QMenu> m_contextMenu;
    bool m_disableDrawing = false;
    bool m_dragHighlight = false;
    bool m_isMain = true;
    bool m_showsEmptyPicture = false;
};

} // namespace quillon
