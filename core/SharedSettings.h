#pragma once
#include <QString>

#include <functional>

class QSettings;

namespace quillon {

// Both editions and every window share one settings file. QSettings merges
// whole keys on its own; a key holding a list or a dictionary needs its read,
// change and write done as one step, or two processes lose each other's change.
// This runs `change` between a fresh read of the file and its write, under a
// lock file beside it ("<file>.update.lock"). Without a lockable file (no file,
// no write access) the change is made without the lock. True when the store
// reports no error after the write. Main thread of each process.
bool updateSharedSettings(QSettings *store, const std::function<void(QSettings *)> &change);

} // namespace quillon
