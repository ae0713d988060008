#pragma once
#include <QColor>
#include <QIcon>
#include <QString>

class QAbstractButton;

namespace quillon {

// The icon ":/images/icons/<name>.svg" at `size` pixels, sharp at 1x and 2x.
QIcon resourceIcon(const QString &name, int size = 16);

// Underlines the button's first `keyChar` (any case) in `color`: the key
// letter of the button. Nothing happens when the text lacks it.
void setButtonKeyCharacter(QAbstractButton *button, const QString &keyChar, const QColor &color);

} // namespace quillon
