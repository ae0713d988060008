#include "widgets/BusyIndicator.h"

#include <QAccessible>
#include <QPainter>
#include <QTimerEvent>

namespace {
constexpr int kBars = 12;
}

BusyIndicator::BusyIndicator(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setVisible(false);
}

void BusyIndicator::setDisplayedWhenStopped(bool displayed)
{
    m_displayedWhenStopped = displayed;
    if (!isAnimating())
        setVisible(displayed);
}

void BusyIndicator::startAnimation()
{
    const bool was = isAnimating();
    if (!m_timer)
        m_timer = startTimer(80);
    setVisible(true);
    if (!was)
        notifyBusyChanged();
}

void BusyIndicator::stopAnimation()
{
    const bool was = isAnimating();
    if (m_timer) {
        killTimer(m_timer);
        m_timer = 0;
    }
    setVisible(m_displayedWhenStopped);
    update();
    if (was)
        notifyBusyChanged();
}

void BusyIndicator::notifyBusyChanged()
{
    if (!QAccessible::isActive())
        return;
    QAccessible::State changed;
    changed.busy = true;
    changed.animated = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void BusyIndicator::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer) {
        QWidget::timerEvent(event);
        return;
    }
    m_step = (m_step + 1) % kBars;
    update();
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height());
    p.translate(width() / 2.0, height() / 2.0);
    const qreal outer = side / 2.0;
    const qreal inner = outer * 0.45;
    QColor c = palette().color(QPalette::WindowText);
    for (int i = 0; i < kBars; ++i) {
        const int age = (m_step - i + kBars) % kBars;
        c.setAlphaF(float(isAnimating() ? 1.0 - age * 0.07 : 0.3));
        p.setPen(QPen(c, qMax(1.5, side / 9.0), Qt::SolidLine, Qt::RoundCap));
        p.save();
        p.rotate(i * 360.0 / kBars);
        p.drawLine(QPointF(0, -inner), QPointF(0, -outer + 1));
        p.restore();
    }
}
