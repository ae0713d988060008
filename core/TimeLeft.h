#pragma once
#include <QString>
#include <QtGlobal>

namespace quillon {

// The time a run has left, estimated from the source bytes done so far
// (Process::sourceBytesProcessed / sourceBytesTotal) and the time they took.
// Unknown until the first file is done; between samples the estimate counts
// down with the clock. Any thread, one owner.
class TimeLeftEstimate {
public:
    // A new run over `totalBytes` of sources.
    void reset(qint64 totalBytes);
    // Progress when `msecs` had passed since the run started.
    void update(qint64 bytesDone, int filesDone, qint64 msecs);
    // Milliseconds left at `msecs` since the start, or -1 when unknown.
    qint64 msecsLeft(qint64 msecs) const;
    // Source bytes and files per second so far; 0 when unknown.
    double bytesPerSecond() const;
    double filesPerSecond() const;
    // Percent of the bytes done (of the files when no sizes are known).
    int percent(int filesDone, int filesTotal) const;

private:
    qint64 m_total = 0;
    qint64 m_bytesDone = 0;
    int m_filesDone = 0;
    qint64 m_sampleAt = 0;
    qint64 m_leftAtSample = -1;
};

// "about 2 min 10 s", "about 40 s", "less than 5 s"; empty for a negative time.
QString timeLeftText(qint64 msecs);
// "3.4 MB/s", "820 KB/s"; empty for 0.
QString throughputText(double bytesPerSecond);

} // namespace quillon
