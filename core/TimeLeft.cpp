#include "core/TimeLeft.h"

#include <QCoreApplication>

#include <cmath>

namespace quillon {

void TimeLeftEstimate::reset(qint64 totalBytes)
{
    *this = TimeLeftEstimate();
    m_total = qMax<qint64>(0, totalBytes);
}

void TimeLeftEstimate::update(qint64 bytesDone, int filesDone, qint64 msecs)
{
    if (bytesDone == m_bytesDone && filesDone == m_filesDone)
        return; // nothing new: keep counting down from the last sample
    m_bytesDone = qBound<qint64>(0, bytesDone, m_total);
    m_filesDone = filesDone;
    m_sampleAt = msecs;
    // One finished file and a measurable time, or the guess is noise.
    if (filesDone < 1 || msecs <= 0 || m_bytesDone <= 0 || m_total <= 0) {
        m_leftAtSample = -1;
        return;
    }
    const double rate = double(m_bytesDone) / double(msecs);
    m_leftAtSample = qint64(std::llround(double(m_total - m_bytesDone) / rate));
}

qint64 TimeLeftEstimate::msecsLeft(qint64 msecs) const
{
    if (m_leftAtSample < 0)
        return -1;
    return qMax<qint64>(0, m_leftAtSample - qMax<qint64>(0, msecs - m_sampleAt));
}

double TimeLeftEstimate::bytesPerSecond() const
{
    return m_leftAtSample < 0 ? 0.0 : double(m_bytesDone) * 1000.0 / double(m_sampleAt);
}

double TimeLeftEstimate::filesPerSecond() const
{
    return m_leftAtSample < 0 ? 0.0 : double(m_filesDone) * 1000.0 / double(m_sampleAt);
}

int TimeLeftEstimate::percent(int filesDone, int filesTotal) const
{
    if (m_total > 0)
        return int(m_bytesDone * 100 / m_total);
    return filesTotal > 0 ? qBound(0, filesDone * 100 / filesTotal, 100) : 0;
}

QString timeLeftText(qint64 msecs)
{
    if (msecs < 0)
        return QString();
    const qint64 seconds = (msecs + 999) / 1000;
    if (seconds < 5)
        return QCoreApplication::translate("TimeLeft", "less than 5 s");
    // Coarser steps the longer it is: the estimate is no better than that.
    if (seconds < 60)
        return QCoreApplication::translate("TimeLeft", "about %1 s").arg(seconds < 20 ? seconds : (seconds + 4) / 5 * 5);
    const qint64 minutes = seconds / 60;
    const qint64 tens = seconds % 60 / 10 * 10;
    if (minutes < 10 && tens > 0)
        return QCoreApplication::translate("TimeLeft", "about %1 min %2 s").arg(minutes).arg(tens);
    if (minutes < 60)
        return QCoreApplication::translate("TimeLeft", "about %1 min").arg(minutes);
    return QCoreApplication::translate("TimeLeft", "about %1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

QString throughputText(double bytesPerSecond)
{
    if (!(bytesPerSecond > 0))
        return QString();
    if (bytesPerSecond >= 1024.0 * 1024.0)
        return QCoreApplication::translate("TimeLeft", "%1 MB/s").arg(bytesPerSecond / (1024.0 * 1024.0), 0, 'f', 1);
    return QCoreApplication::translate("TimeLeft", "%1 KB/s").arg(qMax(1.0, std::round(bytesPerSecond / 1024.0)), 0, 'f', 0);
}

} // namespace quillon
