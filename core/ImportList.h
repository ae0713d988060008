#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace quillon {

// The paths of an imported list (a text file's or pasted text): one per line;
// a line is kept when its last path component has an extension, in any letter
// case, among `acceptedTypes` (upper-case extensions); a relative path is taken
// against `currentFolder`. Each path once, in text order.
QList<QUrl> importedPaths(const QString &text, const QStringList &acceptedTypes, const QString &currentFolder);

} // namespace quillon
