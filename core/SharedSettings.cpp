#include "core/SharedSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMutex>
#include <QPointer>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <map>
#include <optional>
#include <vector>

namespace quillon {
namespace {

using Change = std::function<void(QSettings *)>;

// Changes waiting for the lock, per store; a store's own thread only, but
// stores of several threads may exist.
struct Waiting {
    QMutex mutex;
    std::map<const QSettings *, std::vector<Change>> changes;
};
Waiting &waiting()
{
    static Waiting w;
    return w;
}

constexpr int kRetryMsecs = 1000;

enum class Lock { Held, Busy, Unlockable };

Lock takeLock(QSettings *store, std::optional<QLockFile> *lock)
{
    const QString file = store->fileName();
    if (file.isEmpty() || !QDir().mkpath(QFileInfo(file).absolutePath()))
        return Lock::Unlockable;
    lock->emplace(file + QStringLiteral(".update.lock"));
    if ((*lock)->tryLock(kSharedSettingsLockMsecs))
        return Lock::Held;
    return (*lock)->error() == QLockFile::LockFailedError ? Lock::Busy : Lock::Unlockable;
}

void scheduleRetry(QSettings *store);

// Applies what waits for `store`, then `change` (if any), under the lock.
bool applyChanges(QSettings *store, const Change &change)
{
    std::optional<QLockFile> lock;
    const Lock state = takeLock(store, &lock);
    if (state == Lock::Busy) {
        if (change) {
            QMutexLocker guard(&waiting().mutex);
            std::vector<Change> &list = waiting().changes[store];
            if (list.empty())
                QObject::connect(store, &QObject::destroyed, store, [store] {
                    QMutexLocker lock(&waiting().mutex);
                    waiting().changes.erase(store);
                });
            list.push_back(change);
        }
        scheduleRetry(store);
        return false;
    }
    std::vector<Change> queued;
    {
        QMutexLocker guard(&waiting().mutex);
        const auto it = waiting().changes.find(store);
        if (it != waiting().changes.end()) {
            queued = std::move(it->second);
            waiting().changes.erase(it);
        }
    }
    store->sync(); // takes in what other processes wrote
    for (const Change &c : queued)
        c(store);
    if (change)
        change(store);
    store->sync();
    return store->status() == QSettings::NoError;
}

void scheduleRetry(QSettings *store)
{
    // Only where an event loop can run it; otherwise the next update applies it.
    if (!QCoreApplication::instance() || store->thread() != QThread::currentThread())
        return;
    QTimer::singleShot(kRetryMsecs, store, [store] {
        if (pendingSharedSettings(store) > 0)
            applyChanges(store, Change());
    });
}

} // namespace

bool updateSharedSettings(QSettings *store, const std::function<void(QSettings *)> &change)
{
    return applyChanges(store, change);
}

int pendingSharedSettings(const QSettings *store)
{
    QMutexLocker guard(&waiting().mutex);
    const auto it = waiting().changes.find(store);
    return it == waiting().changes.end() ? 0 : int(it->second.size());
}

} // namespace quillon
