#include "widgets/KeyCharacterButtons.h"

#include <QAbstractTextDocumentLayout>
#include <QKeySequence>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextDocument>

namespace keycharacter {
namespace {
const char kIndex[] = "keyCharacterIndex";
const char kColor[] = "keyCharacterColor";

QString titleHtml(const QString &text, int index, const QColor &textColor, const QColor &markColor)
{
    const QString before = text.left(index).toHtmlEscaped();
    const QString letter = text.mid(index, 1).toHtmlEscaped();
    const QString after = text.mid(index + 1).toHtmlEscaped();
    return QStringLiteral("<span style=\"color:%1; white-space:pre\">%2<u><b><span style=\"color:%3\">%4</span></b></u>%5</span>")
        .arg(textColor.name(QColor::HexRgb), before, markColor.name(QColor::HexRgb), letter, after);
}

// Paints the marked title into r; the text colour comes from the palette so
// a disabled button looks disabled.
void paintTitle(QPainter *p, const QAbstractButton *b, const QRect &r, Qt::Alignment align, QPalette::ColorRole role)
{
    const QPalette::ColorGroup group = b->isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QColor textColor = b->palette().color(group, role);
    const QColor mark = b->isEnabled() ? markColor(b) : textColor;
    QTextDocument doc;
    doc.setDocumentMargin(0);
    doc.setDefaultFont(b->font());
    doc.setHtml(titleHtml(b->text(), markIndex(b), textColor, mark));
    const QSizeF size(doc.idealWidth(), doc.size().height());
    qreal x = r.left();
    if (align & Qt::AlignHCenter)
        x = r.left() + (r.width() - size.width()) / 2;
    const qreal y = r.top() + (r.height() - size.height()) / 2;
    p->save();
    p->translate(x, y);
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.palette.setColor(QPalette::Text, textColor);
    doc.documentLayout()->draw(p, ctx);
    p->restore();
}

} // namespace

void setMark(QAbstractButton *button, int index, const QColor &color)
{
    if (!button)
        return;
    if (index < 0 || index >= button->text().size()) {
        button->setProperty(kIndex, QVariant());
        button->setProperty(kColor, QVariant());
    } else {
        button->setProperty(kIndex, index);
        button->setProperty(kColor, color);
        // The marked letter is the button's key.
        button->setShortcut(QKeySequence(QStringLiteral("Alt+") + button->text().at(index).toUpper()));
    }
    button->updateGeometry();
    button->update();
}

bool hasMark(const QAbstractButton *button)
{
    return button && button->property(kIndex).isValid() && markIndex(button) < button->text().size();
}

int markIndex(const QAbstractButton *button) { return button ? button->property(kIndex).toInt() : -1; }

QColor markColor(const QAbstractButton *button)
{
    return button ? button->property(kColor).value<QColor>() : QColor();
}

QString attributedTitle(const QAbstractButton *button)
{
    if (!hasMark(button))
        return QString();
    return titleHtml(button->text(), markIndex(button), button->palette().color(QPalette::ButtonText), markColor(button));
}

} // namespace keycharacter

// The bold letter is a little wider than the plain one the base size assumes.
static QSize widened(QSize s, const QAbstractButton *b)
{
    if (keycharacter::hasMark(b))
        s.rwidth() += 3;
    return s;
}

QSize KeyPushButton::sizeHint() const { return widened(QPushButton::sizeHint(), this); }
QSize KeyCheckBox::sizeHint() const { return widened(QCheckBox::sizeHint(), this); }
QSize KeyRadioButton::sizeHint() const { return widened(QRadioButton::sizeHint(), this); }

void KeyPushButton::paintEvent(QPaintEvent *event)
{
    if (!keycharacter::hasMark(this)) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    keycharacter::paintTitle(&p, this, contents, Qt::AlignCenter, QPalette::ButtonText);
}

void KeyCheckBox::paintEvent(QPaintEvent *event)
{
    if (!keycharacter::hasMark(this)) {
        QCheckBox::paintEvent(event);
        return;
    }
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QRect contents = style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, this);
    opt.text.clear();
    p.drawControl(QStyle::CE_CheckBox, opt);
    keycharacter::paintTitle(&p, this, contents, Qt::AlignLeft, QPalette::WindowText);
}

void KeyRadioButton::paintEvent(QPaintEvent *event)
{
    if (!keycharacter::hasMark(this)) {
        QRadioButton::paintEvent(event);
        return;
    }
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QRect contents = style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, this);
    opt.text.clear();
    p.drawControl(QStyle::CE_RadioButton, opt);
    keycharacter::paintTitle(&p, this, contents, Qt::AlignLeft, QPalette::WindowText);
}
