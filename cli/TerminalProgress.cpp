#include "cli/TerminalProgress.h"

#include "core/Process.h"

#include <QFileInfo>

#include <cstdio>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wchar.h>

namespace quillon {

namespace {
// Never more often than this: a terminal is slow, and nobody reads faster.
constexpr int kRedrawMsecs = 100;

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7f && c < 0xa0); }

int columnsOf(char32_t c)
{
    if (c < 0x7f)
        return 1;
    const int w = ::wcwidth(wchar_t(c));
    return w < 0 ? 1 : w;
}

QString ellipsis()
{
    static const bool utf8 = QByteArray(::nl_langinfo(CODESET)) == "UTF-8";
    return utf8 ? QStringLiteral("\u2026") : QStringLiteral("...");
}
} // namespace

bool parseProgressMode(const QString &text, ProgressMode *mode)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("bar"))
        *mode = ProgressMode::Bar;
    else if (t == QLatin1String("lines"))
        *mode = ProgressMode::Lines;
    else if (t == QLatin1String("none"))
        *mode = ProgressMode::None;
    else
        return false;
    return true;
}

ProgressMode defaultProgressMode()
{
    return ::isatty(STDERR_FILENO) ? ProgressMode::Bar : ProgressMode::Lines;
}

int terminalColumns()
{
    // Asked at every redraw: a resized window is followed without SIGWINCH.
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}

int displayColumns(const QString &text)
{
    int columns = 0;
    for (char32_t c : text.toUcs4())
        columns += columnsOf(c);
    return columns;
}

QString elideMiddle(const QString &text, int columns)
{
    const QList<uint> chars = text.toUcs4();
    int total = 0;
    for (uint c : chars)
        total += columnsOf(c);
    if (total <= columns)
        return text;
    const QString dots = ellipsis();
    const int room = columns - displayColumns(dots);
    if (room <= 0)
        return dots.left(qMax(0, columns));
    // The end of a name tells files apart as often as its start.
    int headRoom = (room + 1) / 2;
    int tailRoom = room - headRoom;
    qsizetype head = 0;
    while (head < chars.size() && columnsOf(chars.at(head)) <= headRoom)
        headRoom -= columnsOf(chars.at(head++));
    qsizetype tail = chars.size();
    tailRoom += headRoom; // what a wide character at the cut left over
    while (tail > head && columnsOf(chars.at(tail - 1)) <= tailRoom)
        tailRoom -= columnsOf(chars.at(--tail));
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), head) + dots
        + QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + tail), chars.size() - tail);
}

QString printableName(const QString &name)
{
    QList<uint> chars = name.toUcs4();
    bool changed = false;
    for (uint &c : chars) {
        if (isControl(c)) {
            c = '?';
            changed = true;
        }
    }
    return changed ? QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), chars.size()) : name;
}

TerminalProgress::TerminalProgress(ProgressMode mode, Process &process, int totalSources, QObject *parent)
    : QObject(parent)
    , m_mode(mode)
    , m_process(process)
    , m_total(totalSources)
{
    m_ansi = qEnvironmentVariable("TERM") != QLatin1String("dumb");
    m_estimate.reset(process.sourceBytesTotal());
    m_timer.setInterval(kRedrawMsecs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // A source begun just now may have drawn it already.
        if (m_sinceDraw.isValid() && m_sinceDraw.elapsed() < kRedrawMsecs - kRedrawMsecs / 4)
            return;
        draw();
    });
    // Queued from the run's threads: everything a line names comes with the signal.
    connect(&process, &Process::sourceBegun, this, &TerminalProgress::begun);
}

TerminalProgress::~TerminalProgress() { finish(); }

void TerminalProgress::start()
{
    if (m_mode == ProgressMode::None)
        return;
    m_active = true;
    m_clock.start();
    if (m_mode == ProgressMode::Bar) {
        setStderrStatus(this);
        m_timer.start();
    }
}

void TerminalProgress::finish()
{
    if (!m_active)
        return;
    m_active = false;
    m_timer.stop();
    if (m_mode == ProgressMode::Bar) {
        StderrLock lock;
        clear();
        m_line.clear();
    }
    setStderrStatus(nullptr);
}

void TerminalProgress::begun(int index, int total, const QString &source, const QString &output)
{
    if (!m_active)
        return;
    m_total = total;
    m_name = printableName(QFileInfo(source).fileName());
    if (m_mode == ProgressMode::Bar) {
        if (!m_sinceDraw.isValid() || m_sinceDraw.elapsed() >= kRedrawMsecs)
            draw();
        return;
    }
    // Parseable: the pair and nothing else (the bar is for people).
    const QString line = QStringLiteral("[%1/%2] %3 -> %4").arg(index).arg(total).arg(m_name, printableName(output));
    writeStderrLine(line.toUtf8());
}

QString TerminalProgress::barText(int columns)
{
    const qint64 now = m_clock.elapsed();
    const int done = m_process.totalFileProcessed();
    m_estimate.update(m_process.sourceBytesProcessed(), done, now);
    const QString total = QString::number(m_total);
    QString text = QStringLiteral("%1/%2 %3%").arg(done, int(total.size())).arg(total).arg(m_estimate.percent(done, m_total), 3);
    const QString rate = throughputText(m_estimate.bytesPerSecond());
    const QString left = timeLeftText(m_estimate.msecsLeft(now));
    QString figures = text;
    if (!rate.isEmpty())
        figures += QStringLiteral("  ") + rate;
    if (!left.isEmpty())
        figures += QStringLiteral("  ") + left + QStringLiteral(" left");
    // The last column stays free: a line that fills it wraps on some terminals.
    const int room = columns - 1;
    if (displayColumns(figures) <= room)
        text = figures;
    const int nameRoom = room - displayColumns(text) - 2;
    // A name cut to a few letters tells nothing.
    if (!m_name.isEmpty() && nameRoom >= qMin(8, displayColumns(m_name)))
        text += QStringLiteral("  ") + elideMiddle(m_name, nameRoom);
    return elideMiddle(text, qMax(0, room));
}

void TerminalProgress::draw()
{
    if (!m_active)
        return;
    m_sinceDraw.start();
    const QByteArray text = barText(terminalColumns()).toUtf8();
    StderrLock lock;
    if (m_shown && text == m_line)
        return;
    const int columns = displayColumns(QString::fromUtf8(text));
    QByteArray bytes = '\r' + text;
    if (m_ansi)
        bytes += "\x1b[K";
    else if (m_shown && m_lineColumns > columns)
        bytes += QByteArray(m_lineColumns - columns, ' ');
    write(bytes);
    m_line = text;
    m_lineColumns = columns;
    m_shown = true;
}

void TerminalProgress::clear()
{
    if (!m_shown)
        return;
    write(m_ansi ? QByteArray("\r\x1b[K") : '\r' + QByteArray(m_lineColumns, ' ') + '\r');
    m_shown = false;
}

void TerminalProgress::restore()
{
    if (m_shown || m_line.isEmpty())
        return;
    write('\r' + m_line);
    m_shown = true;
}

void TerminalProgress::write(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace quillon
