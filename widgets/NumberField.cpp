#include "widgets/NumberField.h"

#include "core/TextNumbers.h"

#include <QKeyEvent>

NumberField::NumberField(QWidget *parent)
    : QLineEdit(parent)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

int NumberField::value() const { return quillon::leadingInt(text()); }

void NumberField::setValue(int value) { setText(QString::number(value)); }

void NumberField::normalizeText()
{
    const QString normal = QString::number(quillon::leadingInt(text()));
    if (normal != text())
        setText(normal);
}

void NumberField::focusOutEvent(QFocusEvent *event)
{
    // Before the base class, which emits editingFinished.
    normalizeText();
    QLineEdit::focusOutEvent(event);
}

void NumberField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        normalizeText();
    QLineEdit::keyPressEvent(event);
}
