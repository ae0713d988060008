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

// A line that stays at the foot of stderr and is redrawn in place (the
// command line's progress bar). While one is set, every line written through
// writeStderrLine (so every logged line) first has it cleared and then
// restored, under one lock; its owner draws it under that lock (StderrLock),
// so no line ever lands in the middle of it. Called on any thread.
class StderrStatus {
public:
    virtual ~StderrStatus();
    virtual void clear() = 0;
    virtual void restore() = 0;
};
// Not owned; null removes it. Set before the run starts, removed after it ends.
void setStderrStatus(StderrStatus *status);

// Holds the lock of stderr's lines while it lives.
class StderrLock {
public:
    StderrLock();
    ~StderrLock();
    StderrLock(const StderrLock &) = delete;
    StderrLock &operator=(const StderrLock &) = delete;
};

// Writes `line` and a line break to stderr, clearing the status line first.
void writeStderrLine(const QByteArray &line);

// Test hook: while capturing, every logged line is also kept in memory.
void startCapturingLog();
QStringList capturedLog();
void stopCapturingLog();

} // namespace quillon
