#include "core/CommitQueue.h"

#include "core/SafeOutputFile.h"

#include <algorithm>
#include <chrono>
#include <map>

#include <cstdio>

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace quillon {

namespace {
constexpr size_t kGatherFiles = 32;
constexpr std::chrono::milliseconds kGatherTime{10};
} // namespace

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
    const auto now = std::chrono::steady_clock::now();
    m_lastGap = now - m_lastPush;
    m_lastPush = now;
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
            // Where the disk is quick and files come thick and fast, each would
            // otherwise make a batch (and a flush) of its own: others get a
            // moment to join it. A file that came alone goes at once.
            if (m_lastGap < kGatherTime) {
                const size_t enough = std::min(kGatherFiles, m_capacity);
                m_changed.wait_for(lock, kGatherTime, [&] { return m_closing || m_queue.size() >= enough; });
            }
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

namespace {

// syncfs() reports write-back errors from Linux 5.8 on.
bool syncfsReportsErrors()
{
    static const bool reports = [] {
        struct utsname u;
        int major = 0, minor = 0;
        return ::uname(&u) == 0 && std::sscanf(u.release, "%d.%d", &major, &minor) == 2
            && (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
}

// Local file systems whose syncfs writes every file's data and the journal.
bool trustedFileSystem(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (quint32(fs.f_type)) {
    case 0xEF53u:     // ext2/3/4
    case 0x58465342u: // XFS
    case 0x9123683Eu: // Btrfs
    case 0x01021994u: // tmpfs
        return true;
    default:
        return false;
    }
}

} // namespace

void CommitQueue::flushTogether(std::vector<Entry> &batch)
{
    if (!syncfsReportsErrors())
        return;
    // Per file system: the folder descriptor opened first, and its files.
    struct Device {
        int folder = -1;
        quint64 order = 0;
        std::vector<Job *> jobs;
    };
    std::map<dev_t, Device> devices;
    for (const Entry &e : batch) {
        struct stat st;
        const int folder = e.job->folderHandle();
        if (e.job->fileHandle() < 0 || folder < 0 || ::fstat(folder, &st) != 0)
            continue;
        Device &d = devices[st.st_dev];
        if (d.folder < 0 || e.job->openOrder() < d.order) {
            d.folder = folder;
            d.order = e.job->openOrder();
        }
        d.jobs.push_back(e.job.get());
    }
    for (auto &[dev, d] : devices) {
        if (d.jobs.size() < 2 || !trustedFileSystem(d.folder))
            continue;
        if (::syncfs(d.folder) == 0)
            for (Job *job : d.jobs)
                job->setFlushed();
    }
}

void CommitQueue::commitBatch(std::vector<Entry> &batch)
{
    std::stable_sort(batch.begin(), batch.end(), [](const Entry &a, const Entry &b) { return a.order < b.order; });
    if (batch.size() > 1)
        flushTogether(batch);
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
