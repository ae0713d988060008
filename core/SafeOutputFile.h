#pragma once
#include <QByteArray>
#include <QString>

namespace quillon {

// A file written in full before any name shows it. open() makes an unnamed file
// (O_TMPFILE) in the target's folder; where the file system refuses that, a
// hidden ".qc-XXXXXXXXXX.tmp" of fixed length (so any legal target name works).
// commit() flushes the data to disk (fdatasync), names the file relative to
// the folder opened at open(), and flushes the folder, so a crash or power cut
// never leaves a torn file under a visible name nor loses a name reported made.
//
// A process killed while writing leaves nothing with an unnamed file. A hidden
// temporary is held under flock() while its writer lives; open() removes, at
// most every kStaleSweepSeconds per folder, those of the same user whose lock
// is free and which were last written kStaleAgeSeconds ago or more: a live
// writer's file stays young, as every write moves its modification time. Where
// the file system offers no locks (ENOLCK, EOPNOTSUPP: NFS without a lock
// daemon, some FUSE mounts) the file is written without one and only the age
// protects it; where locks are local to one host, the age keeps another
// host's sweep off it. Any other lock failure drops the file and reports it.
// QUILLON_NO_O_TMPFILE=1 forces hidden temporaries and QUILLON_FLOCK_ERROR=
// ENOLCK|EOPNOTSUPP|EIO|... makes every flock() fail so (for tests). Not
// thread-safe; the sweep bookkeeping is.
class SafeOutputFile {
public:
    explicit SafeOutputFile(const QString &target);
    ~SafeOutputFile(); // discard()
    SafeOutputFile(const SafeOutputFile &) = delete;
    SafeOutputFile &operator=(const SafeOutputFile &) = delete;

    // Creates the file for writing; false with a reason when the folder takes none.
    bool open(QString *error);
    // The open file (owned here; give others a dup), -1 when not open.
    int handle() const { return m_fd; }
    bool isUnnamed() const { return m_unnamed; }
    // Writes all of `data` at the current position; false on any short write.
    bool write(const QByteArray &data);

    // Flushes the data to disk once; later calls (and commit) skip it.
    bool flush(QString *error);
    // For flushing many files with one syncfs: the folder's descriptor, opened
    // before the file was created (so a syncfs through it reports every
    // write-back error of the file system since), and the place of open()
    // among all opens of this process.
    int folderHandle() const { return m_dirFd; }
    quint64 openOrder() const { return m_openOrder; }
    // The caller has put this file's data on disk by other means (a syncfs
    // that reported no error); commit then skips its own flush.
    void setFlushed() { m_flushed = m_fd >= 0; }

    // Flushes and gives the file the name `path` (in the same folder as the
    // target; the target when empty). replace: over what stands there;
    // otherwise fails with EEXIST in *errorCode when the name is taken, the file
    // staying open for another name. On success the file is closed.
    // flushFolder false: the folder is left unflushed, and the name is not
    // safe until the caller has flushed it (syncFolder) — for naming many
    // files in one folder with one flush.
    bool commit(QString *error, int *errorCode = nullptr, const QString &path = QString(), bool replace = true,
                bool flushFolder = true);

    // Flushes a folder's names to disk; false with the reason.
    static bool syncFolder(const QString &folder, QString *error);

    // Closes and removes the unfinished file.
    void discard();

    // Removes hidden temporaries of this kind in `folder` whose writer is gone.
    // Returns how many were removed.
    static int removeStaleTemporaries(const QString &folder);
    static constexpr int kStaleSweepSeconds = 10;
    // An hour: far beyond the longest pause between two writes of a live
    // writer (one page's decoding and coding), short enough that a crashed
    // writer's litter goes the same day.
    static constexpr int kStaleAgeSeconds = 3600;
    // "\.qc-[0-9a-z]{10}\.tmp"
    static bool isTemporaryName(const QString &fileName);

private:
    bool openNamed(QString *error);
    bool flushOnce(int *err);
    void closeFolder();

    QString m_target;
    QByteArray m_folder;  // the target's folder, as opened
    int m_dirFd = -1;     // names are made relative to it
    QByteArray m_tempName; // hidden temporary in m_dirFd (or the interim name of an unnamed file)
    int m_fd = -1;
    bool m_unnamed = false;
    bool m_flushed = false;
    quint64 m_openOrder = 0;
};

} // namespace quillon
