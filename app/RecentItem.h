#pragma once
#include <QDateTime>
#include <QString>
#include <QVariant>

namespace quillon {

// A recently used folder of the recent-folders pop-up. Stored in the user
// defaults ("RECENTITEMS") as {"itemPath": text, "lastUsedDate": date}.
class RecentItem {
public:
    // A new item: the empty path, used now.
    RecentItem();
    // initWithItem: a new item with that path.
    explicit RecentItem(const QString &path);

    QDateTime lastUsedDate;
    QString itemPath;

    // Equal to an item or a text with the same path (exact, case-sensitive).
    bool isEqual(const RecentItem &other) const { return itemPath == other.itemPath; }
    bool isEqual(const QString &path) const { return itemPath == path; }

    QVariantMap getData() const;
    // Takes both values from a stored form; anything but a dictionary changes nothing.
    void setData(const QVariant &data);

    static inline const QString kItemPathKey = QStringLiteral("itemPath");
    static inline const QString kLastUsedDateKey = QStringLiteral("lastUsedDate");
};

} // namespace quillon
