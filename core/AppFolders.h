#pragma once
#include <QString>

namespace quillon {

// The edition decides the support folder ("Orvanta/QuillonConverter2" or
// ".../QuillonConverter1") and a few behaviours of the core. Set once at start-up.
void setEdition(int edition);
int edition();

// Per-user support folder of this edition, or the empty text when the platform
// gives no data location.
QString getAppPath();

// Makes sure getAppPath()/subPath exists as a folder (creating missing parents).
bool createApplicationUsersFolder(const QString &subPath, QString *error = nullptr);

// The display name, followed directly by the suffix when one is given.
QString getAppTitle(const QString &suffix = QString());

} // namespace quillon
