#pragma once
#include <QtGlobal>

#include <condition_variable>
#include <mutex>

namespace quillon {

// Bounds the decoded pages a run holds at once, by their size. acquire()
// waits until the bytes fit; a request larger than the whole budget is let
// through alone (nothing else held), so no page is ever refused and nothing
// waits for ever as long as each holder releases what it holds before it
// waits for more. Thread-safe.
class MemoryBudget {
public:
    explicit MemoryBudget(quint64 limit);

    void acquire(quint64 bytes);
    // Like acquire, but false instead of waiting.
    bool tryAcquire(quint64 bytes);
    void release(quint64 bytes) noexcept;

    quint64 limit() const { return m_limit; }
    // The most held at one time.
    quint64 peak() const;

    // The default budget: a quarter of the physical memory, at least 256 MiB.
    static quint64 defaultLimit();

private:
    bool fits(quint64 bytes) const { return m_held == 0 || m_held + bytes <= m_limit; }

    const quint64 m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_freed;
    quint64 m_held = 0;
    quint64 m_peak = 0;
};

} // namespace quillon
