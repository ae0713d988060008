#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

// A fixed set of worker threads for one conversion run. Two kinds of work:
// long jobs (one output file each) and short tasks (one strip each). Idle
// workers take tasks before jobs. A thread waiting for its tasks runs queued
// tasks itself instead of sleeping, so waiting never deadlocks the pool and
// never idles a core; it never picks up a job while waiting. What a job or
// a task throws goes to the error handler (on the thread that ran it); a
// task that throws still counts as done.
class WorkPool {
public:
    using ErrorHandler = std::function<void(std::exception_ptr)>;

    // A set of tasks to wait for together. Not copyable; lives until waited for.
    class Group {
    public:
        Group() = default;
        Group(const Group &) = delete;
        Group &operator=(const Group &) = delete;

    private:
        friend class WorkPool;
        std::size_t pending = 0;
    };

    explicit WorkPool(int threads, ErrorHandler onError = {});
    // Runs what is queued to its end, then joins the threads.
    ~WorkPool();
    WorkPool(const WorkPool &) = delete;
    WorkPool &operator=(const WorkPool &) = delete;

    int threadCount() const { return int(m_threads.size()); }
    // Jobs and tasks that ended by throwing.
    int failures() const;

    void submitJob(std::function<void()> job);
    void submitTask(Group &group, std::function<void()> task);
    // Returns when every task of the group has run; runs queued tasks meanwhile.
    void wait(Group &group);

private:
    struct Task {
        Group *group;
        std::function<void()> fn;
    };
    void workerLoop();
    void runTask(Task &task, std::unique_lock<std::mutex> &lock);
    void report(std::exception_ptr error) noexcept;

    ErrorHandler m_onError;
    int m_failures = 0; // under m_mutex
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;      // workers: work arrived or stop
    std::condition_variable m_taskDone;  // waiters: a task finished
    std::deque<Task> m_tasks;
    std::deque<std::function<void()>> m_jobs;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace quillon
