#include "widgets/ButtonBar.h"

#include <QHBoxLayout>
#include <QPainter>

ButtonBar::ButtonBar(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

// Made on first use, so a bar laid out in Designer keeps the layout given there.
QHBoxLayout *ButtonBar::barLayout()
{
    if (!m_layout) {
        m_layout = qobject_cast<QHBoxLayout *>(layout());
        if (!m_layout) {
            m_layout = new QHBoxLayout(this);
            m_layout->setContentsMargins(8, 6, 8, 6);
            m_layout->setSpacing(8);
            m_layout->addStretch(1);
        }
    }
    return m_layout;
}

void ButtonBar::addLeft(QWidget *widget, int stretch)
{
    barLayout()->insertWidget(m_leftCount++, widget, stretch);
}

void ButtonBar::addRight(QWidget *widget, int stretch) { barLayout()->addWidget(widget, stretch); }

void ButtonBar::addLeftSpacing(int size)
{
    barLayout()->insertSpacing(m_leftCount++, size);
}

void ButtonBar::addRightSpacing(int size) { barLayout()->addSpacing(size); }

void ButtonBar::setBorderEdge(Edge edge)
{
    m_edge = edge;
    update();
}

void ButtonBar::setBorderVisible(bool visible)
{
    m_border = visible;
    update();
}

void ButtonBar::paintEvent(QPaintEvent *)
{
    if (!m_border)
        return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::Mid));
    const int y = m_edge == Top ? 0 : height() - 1;
    p.drawLine(0, y, width(), y);
}
