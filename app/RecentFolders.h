#pragma once
#include "app/RecentItem.h"

#include <QList>
#include <QStringList>

class QSettings;

namespace quillon {

// The recent folders of edition 2's popup: read from and written to the
// user-defaults store (key "RECENTITEMS"), newest first. Plain code: the
// window shows them, this keeps them. Main thread only.
class RecentFolders {
public:
    static inline const QString kKey = QStringLiteral("RECENTITEMS");

    QList<RecentItem> &items() { return m_items; }
    const QList<RecentItem> &items() const { return m_items; }

    // Reads the stored list; damaged entries (no path) and repeats are left out.
    void restore(QSettings *store);
    // Writes the list, merged with what another window or the other edition
    // stored since this one read it.
    void save(QSettings *store) const;
    // Folders not known yet are added (dated now); the list is then newest first.
    void add(const QStringList &paths);
    // Dates a known folder now.
    void touch(const QString &path);
    // Newest first; equal dates keep their order.
    void sort();

    // `local` with the entries of `stored` it lacks added; a folder known to
    // both keeps the later date. Entries without a path are left out.
    static QList<RecentItem> merge(const QList<RecentItem> &local, const QVariantList &stored);

private:
    QList<RecentItem> m_items;
};

} // namespace quillon
