#include "widgets/Stepper.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

Stepper::Stepper(QWidget *parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton *b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setAutoRepeatDelay(400);
        b->setAutoRepeatInterval(60);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(18, 12);
        b->setIconSize(QSize(8, 8));
        layout->addWidget(b);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_up->setObjectName(QStringLiteral("stepUp"));
    m_down->setObjectName(QStringLiteral("stepDown"));
    // Arrows without text: screen readers need their names.
    m_up->setAccessibleName(tr("Increase"));
    m_down->setAccessibleName(tr("Decrease"));
    connect(m_up, &QToolButton::clicked, this, &Stepper::stepUp);
    connect(m_down, &QToolButton::clicked, this, &Stepper::stepDown);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateButtons();
}

void Stepper::setRange(int minimum, int maximum)
{
    m_min = minimum;
    m_max = qMax(minimum, maximum);
    setValue(m_value);
}

void Stepper::setValue(int value)
{
    value = qBound(m_min, value, m_max);
    if (value == m_value) {
        updateButtons();
        return;
    }
    m_value = value;
    updateButtons();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, m_value);
        QAccessible::updateAccessibility(&event);
    }
    emit valueChanged(m_value);
}

void Stepper::stepBy(int steps)
{
    if (!isEnabled())
        return;
    const qint64 next = qBound(qint64(m_min), qint64(m_value) + steps, qint64(m_max));
    if (next == m_value)
        return;
    setValue(int(next));
    emit valueStepped(m_value);
}

void Stepper::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up)
        stepUp();
    else if (event->key() == Qt::Key_Down)
        stepDown();
    else
        QWidget::keyPressEvent(event);
}

void Stepper::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        updateButtons();
    QWidget::changeEvent(event);
}

void Stepper::updateButtons()
{
    m_up->setEnabled(isEnabled() && m_value < m_max);
    m_down->setEnabled(isEnabled() && m_value > m_min);
}
