#pragma once
#include <QList>
#include <QSplitter>
#include <QSplitterHandle>

// A splitter whose dividers keep their distance from the edges: a divider may
// not come nearer than minimumDistance() to the lowest position it could take
// (the start of the pane before it) nor nearer than maximumDistance() to the
// highest (the end of the pane after it). Double-clicking a divider collapses
// or restores the pane after it, but only when that pane is the second one:
// the first pane is never collapsed. A collapsed pane keeps its divider, so it
// can be brought back by double-clicking or dragging it.
class SplitView : public QSplitter {
    Q_OBJECT
public:
    explicit SplitView(QWidget *parent = nullptr);
    explicit SplitView(Qt::Orientation orientation, QWidget *parent = nullptr);

    void setDividerLimits(int minimumDistance, int maximumDistance);
    int minimumDistance() const { return m_minDistance; }
    int maximumDistance() const { return m_maxDistance; }

    // The limits applied to a proposed divider range.
    int constrainMinCoordinate(int proposedMinimum) const { return proposedMinimum + m_minDistance; }
    int constrainMaxCoordinate(int proposedMaximum) const { return proposedMaximum - m_maxDistance; }
    // Where divider `index` (1-based, as QSplitter counts handles) may go.
    void dividerRange(int index, int *minimum, int *maximum) const;
    // A proposed position for divider `index`, moved into its range.
    int constrainedPosition(int index, int proposed) const;
    // Moves divider `index` to the constrained position of `proposed`.
    void moveDivider(int index, int proposed);
    int dividerPosition(int index) const;

    // Only the second pane may collapse; asked for any divider, hiding is fine.
    bool canCollapseSubview(int index) const { return index == 1; }
    bool shouldHideDivider(int) const { return true; }
    bool isSubviewCollapsed(int index) const;
    void setSubviewCollapsed(int index, bool collapsed);
    // The double-click rule: toggles the pane after divider `index` when allowed.
    void dividerDoubleClicked(int index);

signals:
    void subviewCollapsedChanged(int index, bool collapsed);

protected:
    QSplitterHandle *createHandle() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void keepDividersInRange();

    int m_minDistance = 200;
    int m_maxDistance = 100;
    QList<int> m_sizesBeforeCollapse;
};

// The divider of a SplitView: drags are constrained, double clicks collapse.
class SplitViewHandle : public QSplitterHandle {
    Q_OBJECT
public:
    SplitViewHandle(Qt::Orientation orientation, SplitView *parent);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int pick(const QPoint &p) const { return orientation() == Qt::Horizontal ? p.x() : p.y(); }
    SplitView *view() const;
    int m_offset = 0;
    bool m_pressed = false;
};
