#pragma once
#include "core/Log.h"

#include <QByteArray>
#include <QStringList>

namespace quillon {

// The sources to convert again, in the order the log first names them, each
// once: every source of each output file that lost something (a page record
// not "Completed", or the file not written and not skipped by choice), so
// that file is rebuilt whole.
// A skipped output and a cancelled run's untouched sources are not failures.
QStringList failedSources(const Log &log);

// The list in the form the import sheet reads: one absolute path per line,
// UTF-8, each line ended by "\n". A path holding a line break cannot be
// written so; it is left out and added to *left (when given).
QByteArray importListText(const QStringList &paths, QStringList *left = nullptr);

} // namespace quillon
