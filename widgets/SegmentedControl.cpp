#include "widgets/SegmentedControl.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {

constexpr int kPadding = 10;
constexpr int kIconSize = 16;
constexpr int kSpacing = 6;
constexpr int kRadius = 5;

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    return QColor::fromRgbF(float(a.redF() * (1 - t) + b.redF() * t), float(a.greenF() * (1 - t) + b.greenF() * t),
                            float(a.blueF() * (1 - t) + b.blueF() * t));
}

} // namespace

SegmentedControl::SegmentedControl(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SegmentedControl::setSegmentCount(int count)
{
    count = qMax(0, count);
    m_segments.resize(count);
    m_focused = qBound(0, m_focused, qMax(0, count - 1));
    updateGeometry();
    update();
}

void SegmentedControl::setTrackingMode(TrackingMode mode)
{
    m_mode = mode;
    update();
}

QString SegmentedControl::label(int segment) const { return valid(segment) ? m_segments.at(segment).label : QString(); }

void SegmentedControl::setLabel(int segment, const QString &text)
{
    if (!valid(segment))
        return;
    m_segments[segment].label = text;
    updateGeometry();
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        event.setChild(segment);
        QAccessible::updateAccessibility(&event);
    }
}

QIcon SegmentedControl::icon(int segment) const { return valid(segment) ? m_segments.at(segment).icon : QIcon(); }

void SegmentedControl::setIcon(int segment, const QIcon &icon)
{
    if (!valid(segment))
        return;
    m_segments[segment].icon = icon;
    updateGeometry();
    update();
}

QString SegmentedControl::segmentToolTip(int segment) const
{
    return valid(segment) ? m_segments.at(segment).toolTip : QString();
}

void SegmentedControl::setSegmentToolTip(int segment, const QString &text)
{
    if (!valid(segment))
        return;
    m_segments[segment].toolTip = text;
    if (QAccessible::isActive()) {
        // A segment without a label is named by its tool tip.
        QAccessibleEvent event(this, m_segments.at(segment).label.isEmpty() ? QAccessible::NameChanged : QAccessible::DescriptionChanged);
        event.setChild(segment);
        QAccessible::updateAccessibility(&event);
    }
}

bool SegmentedControl::isSegmentEnabled(int segment) const { return valid(segment) && m_segments.at(segment).enabled; }

void SegmentedControl::setSegmentEnabled(int segment, bool enabled)
{
    if (!valid(segment) || m_segments.at(segment).enabled == enabled)
        return;
    m_segments[segment].enabled = enabled;
    if (!enabled && m_pressed == segment)
        setPressed(-1, false);
    update();
    QAccessible::State changed;
    changed.disabled = true;
    changed.focusable = true;
    notifyState(segment, changed);
}

bool SegmentedControl::isSegmentSelected(int segment) const { return valid(segment) && m_segments.at(segment).selected; }

void SegmentedControl::setSegmentSelected(int segment, bool selected)
{
    if (!valid(segment))
        return;
    QAccessible::State changed;
    changed.checked = true;
    if (m_mode == SelectOne && selected) {
        for (int i = 0; i < segmentCount(); ++i) {
            if (i != segment && m_segments.at(i).selected) {
                m_segments[i].selected = false;
                notifyState(i, changed);
            }
        }
    }
    if (m_segments.at(segment).selected == selected)
        return;
    m_segments[segment].selected = selected;
    update();
    notifyState(segment, changed);
}

bool SegmentedControl::isSegmentCheckable(int segment) const
{
    return valid(segment) && (m_mode == SelectOne || m_segments.at(segment).checkable);
}

void SegmentedControl::setSegmentCheckable(int segment, bool checkable)
{
    if (!valid(segment) || m_segments.at(segment).checkable == checkable)
        return;
    m_segments[segment].checkable = checkable;
    QAccessible::State changed;
    changed.checkable = true;
    changed.checked = true;
    notifyState(segment, changed);
}

void SegmentedControl::setFocusedSegment(int segment)
{
    if (!valid(segment) || segment == m_focused)
        return;
    m_focused = segment;
    update();
    if (hasFocus() && QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(segment);
        QAccessible::updateAccessibility(&event);
    }
}

void SegmentedControl::setPressed(int segment, bool inside)
{
    const int before = pressedSegment();
    m_pressed = segment;
    m_pressInside = segment >= 0 && inside;
    const int after = pressedSegment();
    if (before == after)
        return;
    QAccessible::State changed;
    changed.pressed = true;
    notifyState(before, changed);
    notifyState(after, changed);
}

void SegmentedControl::notifyState(int segment, const QAccessible::State &changed)
{
    if (!valid(segment) || !QAccessible::isActive())
        return;
    QAccessibleStateChangeEvent event(this, changed);
    event.setChild(segment);
    QAccessible::updateAccessibility(&event);
}

bool SegmentedControl::canClick(int segment) const { return isEnabled() && isSegmentEnabled(segment); }

int SegmentedControl::segmentWidth(int segment) const
{
    const Segment &s = m_segments.at(segment);
    int w = 2 * kPadding;
    if (!s.icon.isNull())
        w += kIconSize;
    if (!s.label.isEmpty()) {
        if (!s.icon.isNull())
            w += kSpacing;
        // Room for the text in bold too, so a selected look never clips it.
        QFont bold = font();
        bold.setBold(true);
        w += QFontMetrics(bold).horizontalAdvance(s.label);
    }
    return qMax(w, 32);
}

QRect SegmentedControl::segmentRect(int segment) const
{
    if (!valid(segment))
        return {};
    // Spread any extra width evenly so the control fills what a layout gives it.
    const int natural = sizeHint().width();
    const int extra = qMax(0, width() - natural);
    int x = 0;
    for (int i = 0; i < segment; ++i)
        x += segmentWidth(i) + extra / segmentCount();
    int w = segmentWidth(segment) + extra / segmentCount();
    if (segment == segmentCount() - 1)
        w = width() - x;
    return QRect(x, 0, w, height());
}

int SegmentedControl::segmentAt(const QPoint &pos) const
{
    for (int i = 0; i < segmentCount(); ++i) {
        if (segmentRect(i).contains(pos))
            return i;
    }
    return -1;
}

void SegmentedControl::clickSegment(int segment)
{
    if (!valid(segment) || !canClick(segment))
        return;
    m_lastClicked = segment;
    if (m_mode == SelectOne)
        setSegmentSelected(segment, true);
    update();
    emit segmentClicked(segment);
}

QSize SegmentedControl::sizeHint() const
{
    int w = 0;
    for (int i = 0; i < segmentCount(); ++i)
        w += segmentWidth(i);
    const int h = qMax(fontMetrics().height(), kIconSize) + 12;
    return QSize(qMax(w, 32), h);
}

QSize SegmentedControl::minimumSizeHint() const { return sizeHint(); }

void SegmentedControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const bool on = isEnabled();
    const QColor base = pal.color(QPalette::Button);
    const QColor border = mix(pal.color(QPalette::Mid), pal.color(QPalette::WindowText), 0.15);
    const QColor highlight = pal.color(QPalette::Highlight);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    QPainterPath outline;
    outline.addRoundedRect(frame, kRadius, kRadius);
    QLinearGradient grad(frame.topLeft(), frame.bottomLeft());
    grad.setColorAt(0, base.lighter(104));
    grad.setColorAt(1, base.darker(103));
    p.fillPath(outline, grad);

    p.save();
    p.setClipPath(outline);
    for (int i = 0; i < segmentCount(); ++i) {
        const Segment &s = m_segments.at(i);
        const QRect r = segmentRect(i);
        const bool clickable = on && s.enabled;
        if (s.selected)
            p.fillRect(r, mix(base, highlight, clickable ? 0.30 : 0.15));
        if (clickable && m_pressed == i && m_pressInside)
            p.fillRect(r, QColor(0, 0, 0, 40));
        else if (clickable && m_hovered == i && m_pressed < 0)
            p.fillRect(r, QColor(255, 255, 255, 60));
        if (i > 0) {
            p.setPen(QPen(border, 1));
            p.drawLine(QPointF(r.left() + 0.5, r.top() + 1), QPointF(r.left() + 0.5, r.bottom()));
        }

        int contentW = 0;
        if (!s.icon.isNull())
            contentW += kIconSize;
        QFont f = font();
        if (s.selected)
            f.setBold(true);
        const QFontMetrics fm(f);
        if (!s.label.isEmpty())
            contentW += (s.icon.isNull() ? 0 : kSpacing) + fm.horizontalAdvance(s.label);
        int x = r.left() + (r.width() - contentW) / 2;
        if (!s.icon.isNull()) {
            // Coloured icons keep their colours when greyed by the style; fading reads as "off".
            p.save();
            if (!clickable)
                p.setOpacity(0.35);
            s.icon.paint(&p, QRect(x, r.top() + (r.height() - kIconSize) / 2, kIconSize, kIconSize), Qt::AlignCenter, QIcon::Normal);
            p.restore();
            x += kIconSize + kSpacing;
        }
        if (!s.label.isEmpty()) {
            p.setFont(f);
            p.setPen(pal.color(clickable ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
            p.drawText(QRect(x, r.top(), r.right() - x + 1, r.height()), Qt::AlignVCenter | Qt::AlignLeft, s.label);
        }
    }
    p.restore();

    p.setPen(QPen(border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);

    if (hasFocus() && valid(m_focused)) {
        const QRectF fr = QRectF(segmentRect(m_focused)).adjusted(2.5, 2.5, -2.5, -2.5);
        p.setPen(QPen(highlight, 2));
        p.drawRoundedRect(fr, kRadius - 2, kRadius - 2);
    }
}

void SegmentedControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int seg = segmentAt(event->position().toPoint());
    setPressed(canClick(seg) ? seg : -1, true);
    update();
}

void SegmentedControl::mouseMoveEvent(QMouseEvent *event)
{
    const int seg = segmentAt(event->position().toPoint());
    const bool inside = m_pressed >= 0 && seg == m_pressed;
    if (seg != m_hovered || inside != m_pressInside) {
        m_hovered = seg;
        setPressed(m_pressed, inside);
        update();
    }
}

void SegmentedControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int pressed = m_pressed;
    setPressed(-1, false);
    update();
    if (pressed >= 0 && segmentAt(event->position().toPoint()) == pressed) {
        setFocusedSegment(pressed);
        clickSegment(pressed);
    }
}

void SegmentedControl::moveFocus(int step)
{
    for (int n = 1; n <= segmentCount(); ++n) {
        const int i = ((m_focused + step * n) % segmentCount() + segmentCount()) % segmentCount();
        if (isSegmentEnabled(i)) {
            setFocusedSegment(i);
            return;
        }
    }
}

void SegmentedControl::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        moveFocus(layoutDirection() == Qt::RightToLeft ? 1 : -1);
        return;
    case Qt::Key_Right:
        moveFocus(layoutDirection() == Qt::RightToLeft ? -1 : 1);
        return;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        clickSegment(m_focused);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void SegmentedControl::focusInEvent(QFocusEvent *event)
{
    if (!isSegmentEnabled(m_focused))
        moveFocus(1);
    QWidget::focusInEvent(event);
    // The control got the focus; a screen reader wants the segment that has it.
    if (valid(m_focused) && QAccessible::isActive()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(m_focused);
        QAccessible::updateAccessibility(&focus);
    }
}

void SegmentedControl::leaveEvent(QEvent *event)
{
    m_hovered = -1;
    update();
    QWidget::leaveEvent(event);
}

bool SegmentedControl::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int seg = segmentAt(help->pos());
        const QString tip = segmentToolTip(seg);
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this, segmentRect(seg));
        }
        return true;
    }
    return QWidget::event(event);
}

void SegmentedControl::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateGeometry();
    if (event->type() == QEvent::EnabledChange) {
        setPressed(-1, false);
        update();
        QAccessible::State changed;
        changed.disabled = true;
        for (int i = 0; i < segmentCount(); ++i)
            notifyState(i, changed);
    }
    QWidget::changeEvent(event);
}
