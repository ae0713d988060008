#include "app/WindowLook.h"

#include "app/AppGuard.h"
#include "widgets/KeyCharacterButtons.h"
#include "windows/AppImages.h"

#include <QAbstractButton>

namespace quillon {

QIcon resourceIcon(const QString &name, int size)
{
    const QString path = QStringLiteral(":/images/icons/%1.svg").arg(name);
    QIcon icon;
    for (qreal dpr : {1.0, 2.0}) {
        const QPixmap pm = resourceImage(path, QSize(size, size), dpr);
        if (!pm.isNull())
            icon.addPixmap(pm);
    }
    return icon;
}

void setButtonKeyCharacter(QAbstractButton *button, const QString &keyChar, const QColor &color)
{
    guarded("Error in (setButtonKeyCharacter:keyChar:color:) : %1", [&] {
        if (!button || keyChar.isEmpty() || !color.isValid())
            return;
        const qsizetype index = button->text().indexOf(keyChar, 0, Qt::CaseInsensitive);
        if (index < 0)
            return;
        keycharacter::setMark(button, int(index), color);
    });
}

} // namespace quillon
