#pragma once
#include "core/FileItem.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace quillon {

// The tab-delimited text of the whole list, header first, items in list order.
// Fields are written as they are: a tab inside a name shifts its columns.
QByteArray exportText(const QList<FileItemPtr> &files);

// Writes exportText() to `path` in one atomic replace. On failure the earlier
// file at `path` is left as it was and `error` says why.
bool exportFileList(const QList<FileItemPtr> &files, const QString &path, QString *error);

// "Export 07-Mar-2014 04-05-09 PM.txt" for the given local time and the user's locale.
QString suggestedExportName(const QDateTime &now);

// "2014-03-07 16:05:09 +0000": a date in UTC; the empty text when it is missing.
QString exportDateText(const QDateTime &date);

} // namespace quillon
