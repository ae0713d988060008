#include "core/MemoryBudget.h"

#include <algorithm>
#include <unistd.h>

namespace quillon {

MemoryBudget::MemoryBudget(quint64 limit)
    : m_limit(std::max<quint64>(limit, 1))
{
}

void MemoryBudget::acquire(quint64 bytes)
{
    std::unique_lock lock(m_mutex);
    m_freed.wait(lock, [&] { return fits(bytes); });
    m_held += bytes;
    m_peak = std::max(m_peak, m_held);
}

bool MemoryBudget::tryAcquire(quint64 bytes)
{
    std::lock_guard lock(m_mutex);
    if (!fits(bytes))
        return false;
    m_held += bytes;
    m_peak = std::max(m_peak, m_held);
    return true;
}

void MemoryBudget::release(quint64 bytes) noexcept
{
    {
        std::lock_guard lock(m_mutex);
        m_held -= std::min(bytes, m_held);
    }
    m_freed.notify_all();
}

quint64 MemoryBudget::peak() const
{
    std::lock_guard lock(m_mutex);
    return m_peak;
}

quint64 MemoryBudget::defaultLimit()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const quint64 physical = pages > 0 && pageSize > 0 ? quint64(pages) * quint64(pageSize) : 0;
    return std::max<quint64>(physical / 4, quint64(256) << 20);
}

} // namespace quillon
