#include "core/WorkPool.h"

namespace quillon {

WorkPool::WorkPool(int threads, ErrorHandler onError)
    : m_onError(std::move(onError))
{
    const int n = threads < 1 ? 1 : threads;
    m_threads.reserve(size_t(n));
    try {
        for (int i = 0; i < n; ++i)
            m_threads.emplace_back([this] { workerLoop(); });
    } catch (...) {
        // Fewer threads than asked still run everything; none at all cannot.
        if (m_threads.empty())
            throw;
    }
}

WorkPool::~WorkPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread &t : m_threads) {
        try {
            t.join();
        } catch (...) {
        }
    }
}

int WorkPool::failures() const
{
    std::lock_guard lock(m_mutex);
    return m_failures;
}

void WorkPool::report(std::exception_ptr error) noexcept
{
    {
        std::lock_guard lock(m_mutex);
        ++m_failures;
    }
    if (!m_onError)
        return;
    try {
        m_onError(error);
    } catch (...) {
    }
}

void WorkPool::submitJob(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void WorkPool::submitTask(Group &group, std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        // Counted only once queued: a task that never made it must not be waited for.
        m_tasks.push_back(Task{&group, std::move(task)});
        ++group.pending;
    }
    m_wake.notify_one();
    m_taskDone.notify_all(); // a waiting thread may take it
}

void WorkPool::runTask(Task &task, std::unique_lock<std::mutex> &lock)
{
    lock.unlock();
    try {
        task.fn();
    } catch (...) {
        report(std::current_exception());
    }
    task.fn = nullptr;
    lock.lock();
    --task.group->pending;
    m_taskDone.notify_all();
}

void WorkPool::wait(Group &group)
{
    std::unique_lock lock(m_mutex);
    while (group.pending > 0) {
        if (!m_tasks.empty()) {
            Task task = std::move(m_tasks.front());
            m_tasks.pop_front();
            runTask(task, lock);
        } else {
            m_taskDone.wait(lock);
        }
    }
}

void WorkPool::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty() || !m_jobs.empty(); });
        if (!m_tasks.empty()) {
            Task task = std::move(m_tasks.front());
            m_tasks.pop_front();
            runTask(task, lock);
        } else if (!m_jobs.empty()) {
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            try {
                job();
            } catch (...) {
                report(std::current_exception());
            }
            job = nullptr;
            lock.lock();
        } else if (m_stop) {
            return;
        }
    }
}

} // namespace quillon
