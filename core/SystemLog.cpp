#include "core/SystemLog.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <new>
#include <syslog.h>

namespace quillon {
namespace {
QMutex g_mutex;
bool g_capturing = false;
QStringList g_captured;
bool g_opened = false;
QByteArray g_ident; // openlog keeps the pointer, so it must outlive the call
// Its own lock: a status drawn on one thread must not wait for syslog().
QMutex g_stderrMutex;
StderrStatus *g_status = nullptr;

void writeLocked(const QByteArray &line)
{
    if (g_status)
        g_status->clear();
    // One write: what others print to stderr unlocked cannot split the line.
    const QByteArray text = line + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
    if (g_status)
        g_status->restore();
}
} // namespace

StderrStatus::~StderrStatus() = default;

void setStderrStatus(StderrStatus *status)
{
    QMutexLocker lock(&g_stderrMutex);
    g_status = status;
}

StderrLock::StderrLock() { g_stderrMutex.lock(); }
StderrLock::~StderrLock() { g_stderrMutex.unlock(); }

void writeStderrLine(const QByteArray &line)
{
    QMutexLocker lock(&g_stderrMutex);
    writeLocked(line);
}

namespace {

void logLine(int priority, const QString &line)
{
    const QByteArray utf8 = line.toUtf8();
    QMutexLocker lock(&g_mutex);
    if (!g_opened) {
        g_ident = QCoreApplication::applicationName().toUtf8();
        if (g_ident.isEmpty())
            g_ident = "quillon";
        openlog(g_ident.constData(), LOG_PID, LOG_USER);
        g_opened = true;
    }
    syslog(priority, "%s", utf8.constData());
    if (g_capturing)
        g_captured.append(line);
    writeStderrLine(utf8);
}

} // namespace

void logError(const QString &line)
{
    logLine(LOG_ERR, line);
}

void logWarning(const QString &line)
{
    logLine(LOG_WARNING, line);
}

void startCapturingLog()
{
    QMutexLocker lock(&g_mutex);
    g_capturing = true;
    g_captured.clear();
}

QStringList capturedLog()
{
    QMutexLocker lock(&g_mutex);
    return g_captured;
}

void stopCapturingLog()
{
    QMutexLocker lock(&g_mutex);
    g_capturing = false;
    g_captured.clear();
}

QString exceptionReason(const std::exception *e)
{
    if (!e)
        return QStringLiteral("unknown exception");
    if (dynamic_cast<const std::bad_alloc *>(e))
        return QStringLiteral("Not enough memory.");
    return QString::fromLocal8Bit(e->what());
}

} // namespace quillon
