#include "core/CommitQueue.h"

#include "core/SafeOutputFile.h"

#include <algorithm>
#include <map>

#include <unistd.h>

namespace quillon {

CommitQueue::Job::~Job() = default;

CommitQueue::CommitQueue(int capacity)
    : m_capacity(size_t(std::max(1, capacity)))
{
    m_thread = std::thread([this] { loop(); });
}

CommitQueue::~CommitQueue()
{
    close();
}

void CommitQueue::push(long long order, std::unique_ptr<Job> job)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() + m_inBatch < m_capacity; });
    m_queue.push_back({order, std::move(job)});
    m_changed.notify_all();
}

void CommitQueue::close()
{
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void CommitQueue::loop()
{
    for (;;) {
        std::vector<Entry> batch;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            batch.swap(m_queue);
            m_inBatch = batch.size();
        }
        commitBatch(batch);
        batch.clear(); // the jobs' own ends (their writers close) before room is made
        std::lock_guard lock(m_mutex);
        m_inBatch = 0;
        m_changed.notify_all();
    }
}

void CommitQueue::commitBatch(std::vector<Entry> &batch)
{
    std::stable_sort(batch.begin(), batch.end(), [](const Entry &a, const Entry &b) { return a.order < b.order; });
    // One pass over the file system for them all; each file's own flush below
    // is what counts (syncfs cannot tell which file an error hit).
    if (batch.size() > 1) {
        for (const Entry &e : batch) {
            if (e.job->fileHandle() >= 0) {
                ::syncfs(e.job->fileHandle());
                break;
            }
        }
    }
    std::vector<QString> folders(batch.size());
    std::map<QString, QString> folderErrors;
    for (size_t i = 0; i < batch.size(); ++i) {
        Job &job = *batch[i].job;
        if (job.fileHandle() < 0 || job.flush())
            folders[i] = job.name();
        if (!folders[i].isEmpty())
            folderErrors.emplace(folders[i], QString());
    }
    for (auto &[folder, error] : folderErrors)
        SafeOutputFile::syncFolder(folder, &error);
    for (size_t i = 0; i < batch.size(); ++i)
        batch[i].job->settle(folders[i].isEmpty() ? QString() : folderErrors[folders[i]]);
}

} // namespace quillon
