#pragma once
#include "core/SystemLog.h"
#include "core/TimeLeft.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace quillon {

class Process;

enum class ProgressMode { Bar, Lines, None };

// bar | lines | none; false for anything else.
bool parseProgressMode(const QString &text, ProgressMode *mode);
// What --progress is when not given: the bar when stderr is a terminal.
ProgressMode defaultProgressMode();

// Columns of the terminal on stderr (COLUMNS, else 80, when it tells none).
int terminalColumns();
// How many columns `text` takes on a terminal.
int displayColumns(const QString &text);
// `text` in at most `columns` columns, cut in the middle.
QString elideMiddle(const QString &text, int columns);
// Control characters as "?": a name must not move the cursor or break a line.
QString printableName(const QString &name);

// The run's progress on stderr. Lines: one line per source as it is begun.
// Bar: one line redrawn in place at most ten times a second, from what the
// run reports (sourceBegun, queued here) and its counters (read on a timer),
// so the run never waits for the terminal; logged lines clear it and bring
// it back (StderrStatus). Main thread, except clear() and restore().
class TerminalProgress : public QObject, public StderrStatus {
    Q_OBJECT
public:
    TerminalProgress(ProgressMode mode, Process &process, int totalSources, QObject *parent = nullptr);
    ~TerminalProgress() override;

    // Right before the run starts: the clock of the rate and the time left.
    void start();
    // Takes the bar away for good: what follows prints on a clean line.
    void finish();

    // Under StderrLock, on the thread writing a line.
    void clear() override;
    void restore() override;

private:
    void begun(int index, int total, const QString &source, const QString &output);
    void draw();
    QString barText(int columns);
    void write(const QByteArray &bytes);

    ProgressMode m_mode;
    Process &m_process;
    int m_total;
    bool m_active = false;
    bool m_ansi = true;     // the terminal clears to the end of the line
    QString m_name;         // the source begun most recently
    QElapsedTimer m_clock;  // since the run started
    QElapsedTimer m_sinceDraw;
    TimeLeftEstimate m_estimate;
    QTimer m_timer;
    // Under StderrLock:
    QByteArray m_line;      // the bar as last drawn
    int m_lineColumns = 0;
    bool m_shown = false;   // it stands on the terminal now
};

} // namespace quillon
