#include "app/RecentItem.h"

namespace quillon {

RecentItem::RecentItem()
    : lastUsedDate(QDateTime::currentDateTime())
{
}

RecentItem::RecentItem(const QString &path)
    : RecentItem()
{
    itemPath = path;
}

QVariantMap RecentItem::getData() const
{
    return {{kItemPathKey, itemPath}, {kLastUsedDateKey, lastUsedDate}};
}

void RecentItem::setData(const QVariant &data)
{
    if (!data.isValid() || data.typeId() != QMetaType::QVariantMap)
        return;
    const QVariantMap map = data.toMap();
    itemPath = map.value(kItemPathKey).toString();
    lastUsedDate = map.value(kLastUsedDateKey).toDateTime();
}

} // namespace quillon
