#pragma once
#include <QCheckBox>
#include <QColor>
#include <QPushButton>
#include <QRadioButton>

// Buttons whose title can mark one letter: the whole title in the normal font
// and text colour, centred (push button) or beside the indicator (check box,
// radio button); the marked letter underlined, bold and in its own colour.
// Qt cannot give a button an attributed title, so these classes paint it.
// Any QAbstractButton can carry the mark; only these classes show it.

class QAbstractButton;

namespace keycharacter {
// Marks the letter at `index` of the button's text (index < 0 clears the mark).
void setMark(QAbstractButton *button, int index, const QColor &color);
bool hasMark(const QAbstractButton *button);
int markIndex(const QAbstractButton *button);
QColor markColor(const QAbstractButton *button);
// The title as the button paints it (rich text), or the empty text without a mark.
QString attributedTitle(const QAbstractButton *button);
} // namespace keycharacter

class KeyPushButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class KeyCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class KeyRadioButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
