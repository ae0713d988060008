#include "widgets/ElidedLabel.h"

#include <QAccessible>
#include <QPainter>

ElidedLabel::ElidedLabel(QWidget *parent)
    : QFrame(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ElidedLabel::setText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    setToolTip(text);
    updateGeometry();
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    m_mode = mode;
    update();
}

QString ElidedLabel::elidedText() const
{
    return fontMetrics().elidedText(m_text, m_mode, contentsRect().width());
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    return QSize(qMin(fm.horizontalAdvance(m_text), 400), fm.height()) + QSize(frameWidth() * 2, frameWidth() * 2);
}

QSize ElidedLabel::minimumSizeHint() const { return QSize(40, fontMetrics().height() + frameWidth() * 2); }

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    p.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, elidedText());
}
