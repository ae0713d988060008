#include "core/SafeOutputFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

constexpr int kRandomLength = 10;

QByteArray randomTemporaryName()
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    QByteArray name(".qc-");
    for (int i = 0; i < kRandomLength; ++i)
        name.append(digits[QRandomGenerator::global()->bounded(36)]);
    return name + ".tmp";
}

QByteArray procPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
}

struct FileId {
    dev_t dev;
    ino_t ino;
    friend bool operator==(const FileId &a, const FileId &b) { return a.dev == b.dev && a.ino == b.ino; }
};
size_t qHash(const FileId &id, size_t seed = 0)
{
    return qHashMulti(seed, quint64(id.dev), quint64(id.ino));
}

// Across threads: when the sweep last ran per folder, and the temporaries this
// process holds (a lock emulated per process, as on NFS, would not keep our own
// sweep off them).
struct Registry {
    QMutex mutex;
    QHash<QByteArray, QElapsedTimer> swept;
    QSet<FileId> ours;
};
Registry &registry()
{
    static Registry r;
    return r;
}

void registerOurs(int fd, bool add)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return;
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    if (add)
        r.ours.insert({st.st_dev, st.st_ino});
    else
        r.ours.remove({st.st_dev, st.st_ino});
}

bool sweepDue(const QByteArray &dir)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    QElapsedTimer &last = r.swept[dir];
    if (last.isValid() && last.elapsed() < SafeOutputFile::kStaleSweepSeconds * 1000)
        return false;
    last.start();
    return true;
}

// Names without replacing: a hard link fails on a taken name. File systems
// without hard links get an exclusive rename instead.
int linkNoReplace(int fromDir, const QByteArray &from, int toDir, const QByteArray &to)
{
    if (::linkat(fromDir, from.constData(), toDir, to.constData(), 0) == 0) {
        ::unlinkat(fromDir, from.constData(), 0);
        return 0;
    }
    const int err = errno;
    if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS)
        return err;
    if (::renameat2(fromDir, from.constData(), toDir, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    return errno;
}

// flock(), or the failure QUILLON_FLOCK_ERROR names (a test seam).
int lockFile(int fd, int operation)
{
    const int forced = [] {
        if (!qEnvironmentVariableIsSet("QUILLON_FLOCK_ERROR"))
            return 0;
        const QByteArray name = qgetenv("QUILLON_FLOCK_ERROR");
        if (name == "ENOLCK")
            return ENOLCK;
        if (name == "EOPNOTSUPP")
            return EOPNOTSUPP;
        if (name == "EIO")
            return EIO;
        if (name == "EBADF")
            return EBADF;
        return name.isEmpty() ? 0 : EINVAL;
    }();
    if (forced) {
        errno = forced;
        return -1;
    }
    return ::flock(fd, operation);
}

// The file system keeps no locks: writing goes on without one.
bool noLocksHere(int err)
{
    return err == ENOLCK || err == EOPNOTSUPP || err == ENOTSUP;
}

// A folder holding a new name is flushed, or a power cut can take the name.
int syncFolderFd(int dirFd)
{
    if (::fsync(dirFd) == 0)
        return 0;
    const int err = errno;
    // Some file systems cannot flush a folder at all; there is nothing more to do.
    return err == EINVAL || err == EROFS || err == ENOTSUP ? 0 : err;
}

QByteArray baseName(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QByteArray folderName(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

SafeOutputFile::SafeOutputFile(const QString &target)
    : m_target(target)
{
}

SafeOutputFile::~SafeOutputFile()
{
    discard();
}

bool SafeOutputFile::isTemporaryName(const QString &fileName)
{
    if (fileName.size() != 4 + kRandomLength + 4 || !fileName.startsWith(QLatin1String(".qc-"))
        || !fileName.endsWith(QLatin1String(".tmp")))
        return false;
    for (int i = 4; i < 4 + kRandomLength; ++i) {
        const QChar c = fileName.at(i);
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))))
            return false;
    }
    return true;
}

int SafeOutputFile::removeStaleTemporaries(const QString &folder)
{
    DIR *d = ::opendir(QFile::encodeName(folder).constData());
    if (!d)
        return 0;
    const int dfd = ::dirfd(d);
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent *entry = ::readdir(d)) {
        if (!isTemporaryName(QFile::decodeName(entry->d_name)))
            continue;
        // Read-write: over NFS an exclusive lock needs a file open for writing.
        const int fd = ::openat(dfd, entry->d_name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        bool stale = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
            && now - st.st_mtime >= kStaleAgeSeconds;
        if (stale) {
            Registry &r = registry();
            QMutexLocker lock(&r.mutex);
            stale = !r.ours.contains({st.st_dev, st.st_ino});
        }
        // A living writer holds its lock; getting it means the writer is gone.
        // Without locks at all, the age alone tells.
        if (stale && (lockFile(fd, LOCK_EX | LOCK_NB) == 0 || noLocksHere(errno))) {
            struct stat now;
            // The name must still be the file locked, not a new one made since.
            if (::fstatat(dfd, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev
                && now.st_ino == st.st_ino && ::unlinkat(dfd, entry->d_name, 0) == 0)
                ++removed;
        }
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

void SafeOutputFile::closeFolder()
{
    if (m_dirFd >= 0)
        ::close(m_dirFd);
    m_dirFd = -1;
}

bool SafeOutputFile::open(QString *error)
{
    discard();
    const QString dir = QFileInfo(m_target).absolutePath();
    m_folder = QFile::encodeName(dir);
    auto failed = [&](int err) {
        closeFolder();
        if (error)
            *error = QStringLiteral("cannot create a file in %1: %2").arg(QDir::toNativeSeparators(dir), systemError(err));
        return false;
    };
    static std::atomic<quint64> opens{0};
    m_openOrder = ++opens;
    m_dirFd = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_dirFd < 0)
        return failed(errno);
    if (sweepDue(m_folder))
        removeStaleTemporaries(dir);

    if (!qEnvironmentVariableIsSet("QUILLON_NO_O_TMPFILE")) {
        const int fd = ::openat(m_dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        // Naming it later goes through /proc (linkat with AT_EMPTY_PATH needs a privilege).
        if (fd >= 0 && ::access(procPath(fd).constData(), F_OK) == 0) {
            // Unnamed, it cannot be swept; the lock matters once it gets an interim name.
            if (lockFile(fd, LOCK_EX | LOCK_NB) != 0 && !noLocksHere(errno)) {
                const int err = errno;
                ::close(fd);
                return failed(err);
            }
            m_fd = fd;
            m_unnamed = true;
            registerOurs(fd, true);
            return true;
        }
        if (fd >= 0)
            ::close(fd);
    }
    if (openNamed(error))
        return true;
    closeFolder();
    return false;
}

bool SafeOutputFile::openNamed(QString *error)
{
    int err = 0;
    // Ten random letters and digits hardly ever meet a taken name; a few
    // attempts are plenty, and every failure other than that one is final.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const QByteArray name = randomTemporaryName();
        const int fd = ::openat(m_dirFd, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            err = errno;
            if (err == EEXIST)
                continue;
            break;
        }
        if (lockFile(fd, LOCK_EX | LOCK_NB) != 0 && !noLocksHere(errno)) {
            // Our own file: removed before its name could be taken for another's.
            err = errno;
            ::unlinkat(m_dirFd, name.constData(), 0);
            ::close(fd);
            break;
        }
        // Another sweep (one without the age rule) may have taken the new file
        // for a stale one between its creation and the lock.
        struct stat mine;
        struct stat named;
        if (::fstat(fd, &mine) != 0 || ::fstatat(m_dirFd, name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0
            || mine.st_dev != named.st_dev || mine.st_ino != named.st_ino) {
            ::close(fd);
            err = EEXIST;
            continue;
        }
        m_fd = fd;
        m_tempName = name;
        m_unnamed = false;
        registerOurs(fd, true);
        return true;
    }
    if (error)
        *error = QStringLiteral("cannot create a file in %1: %2")
                     .arg(QDir::toNativeSeparators(QFile::decodeName(m_folder)), systemError(err));
    return false;
}

bool SafeOutputFile::flushOnce(int *err)
{
    if (m_flushed)
        return true;
    if (::fdatasync(m_fd) != 0) {
        *err = errno;
        return false;
    }
    m_flushed = true;
    return true;
}

bool SafeOutputFile::flush(QString *error)
{
    int err = EBADF;
    if (m_fd >= 0 && flushOnce(&err))
        return true;
    if (error)
        *error = QStringLiteral("cannot save %1: %2").arg(QDir::toNativeSeparators(m_target), systemError(err));
    return false;
}

bool SafeOutputFile::syncFolder(const QString &folder, QString *error)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int err = fd < 0 ? errno : syncFolderFd(fd);
    if (fd >= 0)
        ::close(fd);
    if (err == 0)
        return true;
    if (error)
        *error = QStringLiteral("cannot save in %1: %2").arg(QDir::toNativeSeparators(folder), systemError(err));
    return false;
}

bool SafeOutputFile::write(const QByteArray &data)
{
    qsizetype done = 0;
    while (m_fd >= 0 && done < data.size()) {
        const ssize_t n = ::write(m_fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return done == data.size();
}

bool SafeOutputFile::commit(QString *error, int *errorCode, const QString &path, bool replace, bool flushFolder)
{
    const QString destination = path.isEmpty() ? m_target : path;
    const QByteArray destPath = QFile::encodeName(QFileInfo(destination).absoluteFilePath());
    const QByteArray dest = baseName(destPath);
    int err = 0;
    auto failed = [&](int code) {
        if (errorCode)
            *errorCode = code;
        if (error)
            *error = QStringLiteral("cannot save %1: %2").arg(QDir::toNativeSeparators(destination), systemError(code));
        return false;
    };
    if (m_fd < 0 || m_dirFd < 0)
        return failed(EBADF);
    if (folderName(destPath) != m_folder) {
        struct stat opened;
        struct stat named;
        if (::fstat(m_dirFd, &opened) != 0 || ::stat(folderName(destPath).constData(), &named) != 0
            || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
            return failed(EXDEV);
    }
    if (!flushOnce(&err))
        return failed(err);

    if (m_unnamed) {
        const QByteArray proc = procPath(m_fd);
        if (::linkat(AT_FDCWD, proc.constData(), m_dirFd, dest.constData(), AT_SYMLINK_FOLLOW) != 0) {
            err = errno;
            if (!replace || err != EEXIST)
                return failed(err);
            // Taken: a hidden name first, then an atomic rename over the target.
            for (int attempt = 0; attempt < 4 && m_tempName.isEmpty(); ++attempt) {
                const QByteArray interim = randomTemporaryName();
                if (::linkat(AT_FDCWD, proc.constData(), m_dirFd, interim.constData(), AT_SYMLINK_FOLLOW) == 0)
                    m_tempName = interim;
                else if ((err = errno) != EEXIST)
                    return failed(err);
            }
            if (m_tempName.isEmpty())
                return failed(err);
            if (::renameat(m_dirFd, m_tempName.constData(), m_dirFd, dest.constData()) != 0) {
                err = errno;
                ::unlinkat(m_dirFd, m_tempName.constData(), 0);
                m_tempName.clear();
                return failed(err);
            }
        }
    } else if (replace) {
        if (::renameat(m_dirFd, m_tempName.constData(), m_dirFd, dest.constData()) != 0)
            return failed(errno);
    } else if ((err = linkNoReplace(m_dirFd, m_tempName, m_dirFd, dest)) != 0) {
        return failed(err);
    }
    m_tempName.clear();
    registerOurs(m_fd, false);
    ::close(m_fd);
    m_fd = -1;
    err = flushFolder ? syncFolderFd(m_dirFd) : 0;
    closeFolder();
    // Named, but the name may not survive a power cut: not a success.
    if (err != 0)
        return failed(err);
    return true;
}

void SafeOutputFile::discard()
{
    // Removed while still locked: once the lock is gone the name may be reused.
    if (!m_tempName.isEmpty() && m_dirFd >= 0)
        ::unlinkat(m_dirFd, m_tempName.constData(), 0);
    m_tempName.clear();
    if (m_fd >= 0) {
        registerOurs(m_fd, false);
        ::close(m_fd);
        m_fd = -1;
    }
    closeFolder();
    m_unnamed = false;
    m_flushed = false;
}

} // namespace quillon
