#include "widgets/ButtonBar.h"

#include <QHBoxLayout>
#include <QPainter>

ButtonBar::ButtonBar(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(8, 6, 8, 6);
    m_layout->setSpacing(8);
    m_layout->addStretch(1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ButtonBar::addLeft(QWidget *widget, int stretch)
{
    m_layout->insertWidget(m_leftCount++, widget, stretch);
}

void ButtonBar::addRight(QWidget *widget, int stretch) { m_layout->addWidget(widget, stretch); }

void ButtonBar::addLeftSpacing(int size)
{
    m_layout->insertSpacing(m_leftCount++, size);
}

void ButtonBar::addRightSpacing(int size) { m_layout->addSpacing(size); }

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
