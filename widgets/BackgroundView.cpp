#include "widgets/BackgroundView.h"

#include <QPainter>

BackgroundView::BackgroundView(QWidget *parent)
    : QWidget(parent)
    , m_background(palette().color(QPalette::Base))
{
}

void BackgroundView::setBackgroundColor(const QColor &color)
{
    m_background = color;
    update();
}

void BackgroundView::setBorderColor(const QColor &color)
{
    m_border = color;
    update();
}

void BackgroundView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_background);
    if (m_border.isValid()) {
        p.setPen(m_border);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
