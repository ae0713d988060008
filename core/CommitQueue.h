#pragma once
#include <QString>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

// Names finished output files on a thread of its own, in batches, so the
// threads that decode and code never wait for the disk. Whatever arrived
// while the previous batch was on its way to disk forms the next batch (when
// files come less than 10 ms apart, after a wait of up to 10 ms for more): its
// files are flushed together, named in the order given, and each folder that
// got a name is flushed once before any file of the batch is settled.
// The flush is one syncfs per file system, through the folder descriptor
// the batch's first-opened file took before it was created: since Linux
// 5.8 that reports every write-back error of the file system after that
// moment, so a clean result covers each file of the batch there. Where
// that cannot be trusted (an older kernel, a file system other than ext4,
// XFS, Btrfs or tmpfs, or any error) each file's own fdatasync decides. So a file is never
// named before its data is on disk, and never reported made before its name
// is. push() waits only while `capacity` files wait (each holds descriptors).
class CommitQueue {
public:
    // One finished file. Called on the queue's thread, in this order, never
    // concurrently; none of them may throw.
    class Job {
    public:
        virtual ~Job();
        // The file's descriptor for the batch flush; -1 when there is nothing to flush.
        virtual int fileHandle() const = 0;
        // Its folder's descriptor, opened before the file (SafeOutputFile::folderHandle).
        virtual int folderHandle() const = 0;
        // Which of two files was created first (SafeOutputFile::openOrder).
        virtual quint64 openOrder() const = 0;
        // A syncfs covered the file: flush() need not write it again.
        virtual void setFlushed() noexcept = 0;
        // Puts the file's data on disk; false: the job failed (and keeps why).
        virtual bool flush() noexcept = 0;
        // Names a flushed file; returns the folder whose flush makes the name
        // safe, empty when nothing was named.
        virtual QString name() noexcept = 0;
        // The end: folderError is empty when the folder's flush went well.
        virtual void settle(const QString &folderError) noexcept = 0;
    };

    explicit CommitQueue(int capacity = 64);
    ~CommitQueue(); // close()
    CommitQueue(const CommitQueue &) = delete;
    CommitQueue &operator=(const CommitQueue &) = delete;

    // Hands a finished file over; `order` sorts a batch (plan order).
    void push(long long order, std::unique_ptr<Job> job);
    // Settles every job handed over, then ends the thread.
    void close();

private:
    struct Entry {
        long long order;
        std::unique_ptr<Job> job;
    };
    void loop();
    void commitBatch(std::vector<Entry> &batch);
    static void flushTogether(std::vector<Entry> &batch);

    const size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Entry> m_queue;
    size_t m_inBatch = 0; // jobs taken by the thread, not yet settled
    bool m_closing = false;
    // How long before the last file the one before it came.
    std::chrono::steady_clock::time_point m_lastPush;
    std::chrono::steady_clock::duration m_lastGap = std::chrono::steady_clock::duration::max();
    std::thread m_thread;
};

} // namespace quillon
