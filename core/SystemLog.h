#pragma once
#include <QString>
#include <QStringList>

#include <exception>

namespace quillon {

// Writes one "Error in ..." line to syslog(3) and to stderr. Thread-safe.
void logError(const QString &line);

// The same at warning level: something was wrong with an input but the work
// went on and lost nothing. Thread-safe.
void logWarning(const QString &line);

// The reason of a failure as the "Error in ..." lines give it; null for an
// exception that is no std::exception.
QString exceptionReason(const std::exception *e);

// Test hook: while capturing, every logged line is also kept in memory.
void startCapturingLog();
QStringList capturedLog();
void stopCapturingLog();

} // namespace quillon
