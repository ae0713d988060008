#pragma once
#include <QString>

#include <functional>

class QSettings;

namespace quillon {

// Both editions and every window share one settings file. QSettings merges
// whole keys on its own; a key holding a list or a dictionary needs its read,
// change and write done as one step, or two processes lose each other's change.
// This runs `change` between a fresh read of the file and its write, under a
// lock file beside it ("<file>.update.lock").
//
// The caller's thread never waits long for the lock: when another process
// holds it past kSharedSettingsLockMsecs, the change is kept and applied later,
// under the lock (at the next update of the same store, or by a timer on the
// store's thread where an event loop runs); it is never written without the
// lock. So `change` must own what it uses (capture by value). Without a
// lockable file (no file, no write access) the change is made at once, as
// nothing else can write there either. True when the change was written and
// the store reports no error; false when it waits or failed.
bool updateSharedSettings(QSettings *store, const std::function<void(QSettings *)> &change);

// Changes of `store` still waiting for the lock.
int pendingSharedSettings(const QSettings *store);

constexpr int kSharedSettingsLockMsecs = 200;

} // namespace quillon
