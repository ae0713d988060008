#include "app/RecentFolders.h"

#include "core/SharedSettings.h"

#include <QSettings>

#include <algorithm>

namespace quillon {

void RecentFolders::restore(QSettings *store)
{
    m_items.clear();
    const QVariant stored = store->value(kKey);
    if (stored.typeId() != QMetaType::QVariantList && stored.typeId() != QMetaType::QStringList)
        return;
    for (const QVariant &element : stored.toList()) {
        RecentItem item;
        item.setData(element);
        if (item.itemPath.isEmpty())
            continue;
        const bool known = std::any_of(m_items.cbegin(), m_items.cend(), [&](const RecentItem &r) { return r.isEqual(item); });
        if (!known)
            m_items.append(item);
    }
}

QList<RecentItem> RecentFolders::merge(const QList<RecentItem> &local, const QVariantList &stored)
{
    QList<RecentItem> merged = local;
    for (const QVariant &element : stored) {
        RecentItem item;
        item.setData(element);
        if (item.itemPath.isEmpty())
            continue;
        auto known = std::find_if(merged.begin(), merged.end(), [&](const RecentItem &r) { return r.isEqual(item); });
        if (known == merged.end())
            merged.append(item);
        else if (item.lastUsedDate > known->lastUsedDate)
            known->lastUsedDate = item.lastUsedDate;
    }
    return merged;
}

void RecentFolders::save(QSettings *store) const
{
    updateSharedSettings(store, [this](QSettings *defaults) {
        const QVariant stored = defaults->value(kKey);
        const QList<RecentItem> merged = merge(m_items, stored.typeId() == QMetaType::QVariantList ? stored.toList() : QVariantList());
        QVariantList list;
        for (const RecentItem &item : merged)
            list.append(item.getData());
        defaults->setValue(kKey, list);
    });
}

void RecentFolders::add(const QStringList &paths)
{
    for (const QString &path : paths) {
        const bool known = std::any_of(m_items.cbegin(), m_items.cend(), [&](const RecentItem &r) { return r.isEqual(path); });
        if (!known)
            m_items.append(RecentItem(path));
    }
    sort();
}

void RecentFolders::touch(const QString &path)
{
    for (RecentItem &r : m_items) {
        if (r.itemPath == path)
            r.lastUsedDate = QDateTime::currentDateTime();
    }
    sort();
}

void RecentFolders::sort()
{
    std::stable_sort(m_items.begin(), m_items.end(), [](const RecentItem &a, const RecentItem &b) { return a.lastUsedDate > b.lastUsedDate; });
}

} // namespace quillon
