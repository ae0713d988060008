#pragma once
#include "core/Log.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace quillon {

// Checksum lists in the form `sha256sum -c` reads: "<hex>  <path>" per line,
// paths relative to the folder it is checked in. A path holding "\" or a line
// break is written escaped, its line starting with "\", as sha256sum does.
QByteArray manifestLine(const QString &hexDigest, const QString &path);

// The entries of a list in that form (path -> hex). False with a reason, and
// nothing in *entries, when a line is not such an entry.
bool parseManifest(const QByteArray &text, QMap<QString, QString> *entries, QString *error);

// Lower-case hex SHA-256 of a file's content; empty with a reason on failure.
QString sha256OfFile(const QString &path, QString *error);

// Writes the manifest of the outputs below `outputFolder` at `manifestPath`,
// complete before it is named: the entries an earlier manifest there holds,
// with those of `log` over them (created files with the digest taken while
// writing; files left because they existed with their earlier entry, or
// their content when they have none). False with a reason when the earlier
// manifest does not parse (it is left as it is) or the write fails.
bool updateManifest(const QString &manifestPath, const Log &log, const QString &outputFolder, QString *error,
                    int *entries = nullptr);

} // namespace quillon
