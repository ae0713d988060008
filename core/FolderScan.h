#pragma once
#include <QString>
#include <QStringList>

#include <functional>

namespace quillon {

// The accepted source extensions, each in lower and upper case (the open
// panels' filters).
const QStringList &allowedFileTypes();

// Whether the path's extension is accepted: the original fourteen exactly as
// listed, case-sensitive; heic, heif, hif, avif, webp and jxl in any letter case.
bool isAllowedFileType(const QString &path);
// The extensions accepted in any letter case (lower case): heic, heif, hif,
// avif, webp, jxl.
const QStringList &laterFileTypes();


// Walks `folder` lazily (subfolders only when asked), skipping hidden entries
// and not following symbolic links into folders. `add` gets the path of every
// file whose extension is accepted, in the walk's order. `keepGoing` is asked
// before every entry; returning false stops the walk at once.
void scanFolder(const QString &folder, bool includeSubdirectories,
                const std::function<bool()> &keepGoing,
                const std::function<void(const QString &)> &add);

// Orders texts as people count: "Scan2" before "Scan10", letter case ignored.
bool naturalLess(const QString &a, const QString &b);

} // namespace quillon
