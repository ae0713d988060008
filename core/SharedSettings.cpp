#include "core/SharedSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>

#include <optional>

namespace quillon {

bool updateSharedSettings(QSettings *store, const std::function<void(QSettings *)> &change)
{
    std::optional<QLockFile> lock;
    const QString file = store->fileName();
    if (!file.isEmpty() && QDir().mkpath(QFileInfo(file).absolutePath())) {
        lock.emplace(file + QStringLiteral(".update.lock"));
        // The lock is held for a read and a write of a small file; ten seconds
        // means a holder that is stuck, whose change is then not waited for.
        if (!lock->tryLock(10000))
            lock.reset();
    }
    store->sync(); // takes in what other processes wrote
    change(store);
    store->sync();
    return store->status() == QSettings::NoError;
}

} // namespace quillon
