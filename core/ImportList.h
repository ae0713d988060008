#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QIODevice;

namespace quillon {

// The paths of an imported list (a text file's or pasted text): one per line;
// a line is kept when its last path component has an extension, in any letter
// case, among `acceptedTypes` (upper-case extensions); a relative path is taken
// against `currentFolder`. Each path once, in text order.
QList<QUrl> importedPaths(const QString &text, const QStringList &acceptedTypes, const QString &currentFolder);

// One line of such a list as importedPaths reads it: true when the line's last
// path component has an accepted extension.
bool importedLineHasType(const QString &line, const QStringList &acceptedTypes);
// The absolute local path a line names; empty when it names none. As in the
// sheet, only "\n" ends a line (a "\r" before it is part of the name).
QString importedLinePath(const QString &line, const QString &currentFolder);

// Reads a list line by line without holding it whole; `line` gets each line
// without its end. False with a reason (the 1-based line in *lineNo) when the
// device fails or a line is no UTF-8 text; lines before it were handed over.
bool readImportLines(QIODevice &device, const std::function<void(const QString &line)> &line, QString *error,
                     qint64 *lineNo = nullptr);

} // namespace quillon
