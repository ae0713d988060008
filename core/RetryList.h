#pragma once
#include "core/Log.h"

#include <QByteArray>
#include <QStringList>

namespace quillon {

// The sources a run lost, in the order the log first names them, each once:
// every page record not "Completed" names one, and an output file that was
// not written (not "Completed", not skipped by choice) loses all its sources.
// A skipped output and a cancelled run's untouched sources are not failures.
QStringList failedSources(const Log &log);

// The list in the form the import sheet reads: one absolute path per line,
// UTF-8, each line ended by "\n". A path holding a line break cannot be
// written so; it is left out and added to *left (when given).
QByteArray importListText(const QStringList &paths, QStringList *left = nullptr);

} // namespace quillon
