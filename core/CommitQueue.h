#pragma once
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

// Names finished output files on a thread of its own, in batches, so the
// threads that decode and code never wait for the disk. Whatever arrived
// while the previous batch was on its way to disk forms the next batch: its
// files are flushed together (one syncfs, then each file's own fdatasync,
// which then finds nothing left to write and still reports that file's
// errors), named in the order given, and each folder that got a name is
// flushed once before any file of the batch is settled. So a file is never
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

    const size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Entry> m_queue;
    size_t m_inBatch = 0; // jobs taken by the thread, not yet settled
    bool m_closing = false;
    std::thread m_thread;
};

} // namespace quillon
