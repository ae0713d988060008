#include "widgets/HyperlinkButton.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace {
// Room above and below the text for the focus frame; none at the sides, so the
// link lines up with the labels around it.
constexpr int kFocusMargin = 2;
}

HyperlinkButton::HyperlinkButton(QWidget *parent)
    : HyperlinkButton(QString(), parent)
{
}

HyperlinkButton::HyperlinkButton(const QString &text, QWidget *parent)
    : QAbstractButton(parent)
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, &HyperlinkButton::openLink);
}

void HyperlinkButton::setUrl(const QUrl &url)
{
    m_url = url;
}

void HyperlinkButton::setUrlOpener(UrlOpener opener)
{
    m_opener = std::move(opener);
}

QSize HyperlinkButton::sizeHint() const
{
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text()) + 1, fm.height() + 2 * kFocusMargin);
}

QSize HyperlinkButton::minimumSizeHint() const
{
    return sizeHint();
}

void HyperlinkButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QFont f = font();
    f.setUnderline(true);
    p.setFont(f);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    QColor color = palette().color(group, QPalette::Link);
    if (isDown() || (m_hovered && isEnabled()))
        color = color.darker(130);
    p.setPen(color);
    const QRect textRect = rect().adjusted(0, kFocusMargin, 0, -kFocusMargin);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

void HyperlinkButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void HyperlinkButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void HyperlinkButton::keyPressEvent(QKeyEvent *event)
{
    // Links follow on Enter as in a browser, besides the button's Space.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void HyperlinkButton::openLink()
{
    if (!m_url.isValid() || m_url.isEmpty()) {
        emit linkOpened(m_url, false);
        return;
    }
    const bool opened = m_opener ? m_opener(m_url) : QDesktopServices::openUrl(m_url);
    emit linkOpened(m_url, opened);
}
