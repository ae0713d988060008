#include "windows/PrintSettings.h"

#include <QLocale>
#include <QMarginsF>
#include <QPageSize>

namespace quillon {
namespace {

QPageLayout defaultLayout()
{
    const QLocale::Territory t = QLocale().territory();
    const bool letter = t == QLocale::UnitedStates || t == QLocale::Canada;
    return QPageLayout(QPageSize(letter ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
}

QPageLayout &layoutStore()
{
    static QPageLayout layout = defaultLayout();
    return layout;
}

} // namespace

QPageLayout sharedPageLayout()
{
    return layoutStore();
}

void setSharedPageLayout(const QPageLayout &layout)
{
    if (layout.isValid())
        layoutStore() = layout;
}

} // namespace quillon
