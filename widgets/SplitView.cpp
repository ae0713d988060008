#include "widgets/SplitView.h"

#include <QMouseEvent>
#include <QPainter>

SplitView::SplitView(QWidget *parent)
    : SplitView(Qt::Horizontal, parent)
{
}

SplitView::SplitView(Qt::Orientation orientation, QWidget *parent)
    : QSplitter(orientation, parent)
{
    // Dragging never collapses a pane; only the double-click rule does.
    setChildrenCollapsible(false);
    setHandleWidth(5);
}

void SplitView::setDividerLimits(int minimumDistance, int maximumDistance)
{
    m_minDistance = qMax(0, minimumDistance);
    m_maxDistance = qMax(0, maximumDistance);
    keepDividersInRange();
}

void SplitView::dividerRange(int index, int *minimum, int *maximum) const
{
    const bool horizontal = orientation() == Qt::Horizontal;
    const QRect cr = contentsRect();
    int lo = horizontal ? cr.left() : cr.top();
    int hi = (horizontal ? cr.right() : cr.bottom()) + 1;
    if (index - 1 > 0) {
        const QRect g = handle(index - 1)->geometry();
        lo = (horizontal ? g.right() : g.bottom()) + 1;
    }
    if (index + 1 < count()) {
        const QRect g = handle(index + 1)->geometry();
        hi = horizontal ? g.left() : g.top();
    }
    *minimum = lo;
    *maximum = hi - handleWidth();
}

int SplitView::constrainedPosition(int index, int proposed) const
{
    if (index <= 0 || index >= count())
        return proposed;
    int lo = 0;
    int hi = 0;
    dividerRange(index, &lo, &hi);
    lo = constrainMinCoordinate(lo);
    hi = constrainMaxCoordinate(hi);
    // When the view is too small for both distances the first pane wins.
    return qMax(lo, qMin(proposed, hi));
}

int SplitView::dividerPosition(int index) const
{
    if (index <= 0 || index >= count())
        return -1;
    const QRect g = handle(index)->geometry();
    return orientation() == Qt::Horizontal ? g.left() : g.top();
}

void SplitView::moveDivider(int index, int proposed)
{
    if (index <= 0 || index >= count())
        return;
    const bool wasCollapsed = isSubviewCollapsed(index);
    moveSplitter(constrainedPosition(index, proposed), index);
    if (wasCollapsed && !isSubviewCollapsed(index)) {
        setCollapsible(index, false);
        emit subviewCollapsedChanged(index, false);
    }
}

bool SplitView::isSubviewCollapsed(int index) const
{
    const QList<int> s = sizes();
    return index >= 0 && index < s.size() && s.at(index) == 0;
}

void SplitView::setSubviewCollapsed(int index, bool collapsed)
{
    if (!canCollapseSubview(index) || index >= count() || isSubviewCollapsed(index) == collapsed)
        return;
    QList<int> s = sizes();
    int total = 0;
    for (int v : std::as_const(s))
        total += v;
    if (collapsed) {
        m_sizesBeforeCollapse = s;
        setCollapsible(index, true);
        s[index - 1] += s.at(index);
        s[index] = 0;
        setSizes(s);
    } else {
        QList<int> restored = m_sizesBeforeCollapse;
        if (restored.size() != s.size() || restored.value(index) <= 0) {
            restored = s;
            restored[index] = qMax(total / 4, m_maxDistance);
            restored[index - 1] = qMax(0, s.at(index - 1) - restored.at(index));
        }
        setSizes(restored);
        setCollapsible(index, false);
        keepDividersInRange();
    }
    emit subviewCollapsedChanged(index, collapsed);
}

void SplitView::dividerDoubleClicked(int index)
{
    if (!canCollapseSubview(index))
        return;
    setSubviewCollapsed(index, !isSubviewCollapsed(index));
}

QSplitterHandle *SplitView::createHandle() { return new SplitViewHandle(orientation(), this); }

void SplitView::resizeEvent(QResizeEvent *event)
{
    QSplitter::resizeEvent(event);
    keepDividersInRange();
}

void SplitView::keepDividersInRange()
{
    for (int i = 1; i < count(); ++i) {
        if (isSubviewCollapsed(i) || !widget(i)->isVisibleTo(this))
            continue;
        const int pos = dividerPosition(i);
        const int fixed = constrainedPosition(i, pos);
        if (fixed != pos)
            moveSplitter(fixed, i);
    }
}

SplitViewHandle::SplitViewHandle(Qt::Orientation orientation, SplitView *parent)
    : QSplitterHandle(orientation, parent)
{
}

SplitView *SplitViewHandle::view() const { return static_cast<SplitView *>(splitter()); }

void SplitViewHandle::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        m_offset = pick(event->position().toPoint());
    }
}

void SplitViewHandle::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed)
        return;
    const int pos = pick(splitter()->mapFromGlobal(event->globalPosition().toPoint())) - m_offset;
    view()->moveDivider(splitter()->indexOf(this), pos);
}

void SplitViewHandle::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = false;
}

void SplitViewHandle::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        view()->dividerDoubleClicked(splitter()->indexOf(this));
}

void SplitViewHandle::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Mid));
    if (orientation() == Qt::Horizontal)
        p.drawLine(width() / 2, 0, width() / 2, height());
    else
        p.drawLine(0, height() / 2, width(), height() / 2);
}
