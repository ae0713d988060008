#pragma once
#include <QString>
#include <QStringList>

namespace quillon {

// Writes one "Error in ..." line to syslog(3) and to stderr. Thread-safe.
void logError(const QString &line);

// Test hook: while capturing, every logged line is also kept in memory.
void startCapturingLog();
QStringList capturedLog();
void stopCapturingLog();

} // namespace quillon
