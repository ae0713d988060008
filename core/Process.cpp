#include "core/Process.h"

#include "core/AppFolders.h"
#include "core/CommitQueue.h"
#include "core/MemoryBudget.h"
#include "core/SafeOutputFile.h"
#include "core/Settings.h"
#include "core/SystemLog.h"
#include "core/WorkPool.h"
#include "core/image/ImageSource.h"
#include "core/image/Metadata.h"
#include "core/image/TiffWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>
#include <QUrl>

#include <tiff.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <set>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

ProcessOwner::~ProcessOwner() = default;

namespace {

QString reason(const std::exception &e) { return exceptionReason(&e); }

QString lastComponent(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// Paths as the file system names them, so two spellings of one file compare equal.
QString canonicalPath(const QString &path)
{
    const QFileInfo fi(path);
    const QString canonical = fi.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString dir = QFileInfo(fi.absolutePath()).canonicalFilePath();
    return dir.isEmpty() ? fi.absoluteFilePath() : dir + QLatin1Char('/') + fi.fileName();
}

// Anything standing under the name, a dangling link included.
bool pathTaken(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// What one output file writes and reads: two in work at once must not touch
// each other's files, or the result would depend on which finished first.
struct FileFootprint {
    QString target;
    std::set<QString> sources;

    FileFootprint(const OutputFile &out, const std::function<QString(const QString &, bool)> &key)
        : target(key(out.filename, true))
    {
        for (const FileItemPtr &item : out.fileItems)
            sources.insert(key(item->path(), false));
    }
    bool clashesWith(const FileFootprint &other) const
    {
        return target == other.target || sources.count(other.target) || other.sources.count(target);
    }
};

// Whether names that differ in case only name one file in `folder` (vfat,
// exFAT, CIFS, casefolded ext4): a probe name is looked up in the other case.
bool namesFoldCase(const QString &folder)
{
    const QByteArray dir = QFile::encodeName(folder);
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        return false;
    bool folds = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QByteArray probe = ".qc-case" + QByteArray::number(quint64(::getpid())) + "-" + QByteArray::number(attempt) + ".tmp";
        const int fd = ::openat(dfd, probe.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        struct stat mine;
        struct stat other;
        folds = ::fstat(fd, &mine) == 0 && ::fstatat(dfd, probe.toUpper().constData(), &other, 0) == 0
            && mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
        ::close(fd);
        ::unlinkat(dfd, probe.constData(), 0);
        break;
    }
    ::close(dfd);
    return folds;
}

// A test seam: QUILLON_FAIL_ALLOC=NAME makes every allocation for a source
// of that file name fail, as if memory had run out.
void allocationFor(const QString &path)
{
    if (qEnvironmentVariableIsSet("QUILLON_FAIL_ALLOC") && lastComponent(path) == qEnvironmentVariable("QUILLON_FAIL_ALLOC"))
        throw std::bad_alloc();
}

std::unique_ptr<image::ImageSource> openSource(const QString &path, QString *error)
{
    allocationFor(path);
    return image::ImageSource::open(path, error);
}

// Holds a decoded page's bytes against the run's budget until dropped.
class PageReservation {
public:
    PageReservation(MemoryBudget *budget, quint64 bytes) : m_budget(budget), m_bytes(bytes) {}
    ~PageReservation() { m_budget->release(m_bytes); }
    PageReservation(const PageReservation &) = delete;
    PageReservation &operator=(const PageReservation &) = delete;

private:
    MemoryBudget *m_budget;
    quint64 m_bytes;
};

} // namespace

// The newest label not yet shown; one delivery is queued at a time.
struct Process::LabelSlot {
    QMutex mutex;
    QString text;
    bool queued = false;
};

QString timeTakenString(const QDateTime &from, const QDateTime &to)
{
    if (!from.isValid() || !to.isValid())
        return QString();
    qint64 secs = from.secsTo(to);
    if (secs < 0)
        secs = -secs;
    const qint64 h = secs / 3600;
    const qint64 m = (secs % 3600) / 60;
    const qint64 s = secs % 60;
    QString text;
    if (h > 0)
        text += QCoreApplication::translate("Process", "%1 hr(s) ").arg(h);
    if (m > 0)
        text += QCoreApplication::translate("Process", "%1 min(s) ").arg(m);
    if (s > 0)
        text += QCoreApplication::translate("Process", "%1 sec(s) ").arg(s);
    return text;
}

int Process::compressionTagFor(image::Compression compression)
{
    return image::compressionTag(compression);
}

QString timeTakenLine(const QString &taken, int done, int total)
{
    return QCoreApplication::translate("Process", "Total Time Taken : %1 %2/%3").arg(taken, QString::number(done), QString::number(total));
}

QString inProcessText() { return QCoreApplication::translate("Process", "In Process..."); }

int Process::compressionTagFor(int index)
{
    switch (index) {
    case CcittGroup3Compression:
        return COMPRESSION_CCITTFAX3;
    case CcittGroup4Compression:
        return COMPRESSION_CCITTFAX4;
    case LzwCompression:
        return COMPRESSION_LZW;
    case PackBitsCompression:
        return COMPRESSION_PACKBITS;
    default:
        return 1;
    }
}

Process::Process(QObject *parent)
    : QObject(parent)
    , m_timeTaken(inProcessText())
    , m_label(std::make_shared<LabelSlot>())
{
}

Process::~Process()
{
    if (m_thread) {
        m_isCombining = false;
        try {
            waitForFinished();
        } catch (...) {
            // Something the owner's event loop ran threw; the run must still be waited for.
            m_thread->wait();
        }
        delete m_thread;
    }
}

void Process::setOwner(ProcessOwner *owner, QObject *context)
{
    m_owner = owner;
    m_ownerContext = context;
}

void Process::applyPlan(const OutputPlan &plan)
{
    outputFiles = plan.outputFiles;
    qint64 bytes = 0;
    for (const OutputFile &out : std::as_const(outputFiles))
        for (const FileItemPtr &item : out.fileItems) {
            item->measureSize();
            bytes += std::max<qint64>(item->size(), 1);
        }
    m_sourceBytesTotal = bytes;
    setTotalFileSelected(plan.totalFileSelected);
}

void Process::setIsCombining(bool v)
{
    if (m_isCombining.exchange(v) != v)
        emit isCombiningChanged();
}

void Process::setTotalFileSelected(int v)
{
    if (m_totalFileSelected.exchange(v) != v)
        emit totalFileSelectedChanged();
}

QString Process::fileInProcess() const
{
    QMutexLocker lock(&m_textMutex);
    return m_fileInProcess;
}

QString Process::outputFileInProcess() const
{
    QMutexLocker lock(&m_textMutex);
    return m_outputFileInProcess;
}

QString Process::timeTaken() const
{
    QMutexLocker lock(&m_textMutex);
    return m_timeTaken;
}

QString Process::message() const
{
    QMutexLocker lock(&m_textMutex);
    return m_message;
}

void Process::setText(QString &field, const QString &value, void (Process::*signal)())
{
    {
        QMutexLocker lock(&m_textMutex);
        if (field == value)
            return;
        field = value;
    }
    emit(this->*signal)();
}

void Process::callOwner(const std::function<void(ProcessOwner *)> &call)
{
    ProcessOwner *owner = m_owner;
    QObject *context = m_ownerContext.data();
    if (!owner)
        return;
    if (!context || context->thread() == QThread::currentThread()) {
        call(owner);
        return;
    }
    // Never waited for: the run must not go at the pace of the owner's paints.
    QMetaObject::invokeMethod(context, [owner, call] { call(owner); }, Qt::QueuedConnection);
}

void Process::sendTimeTakenLabel()
{
    const QString text = timeTakenLine(timeTaken(), int(m_totalFileProcessed), int(outputFiles.size()));
    ProcessOwner *owner = m_owner;
    QObject *context = m_ownerContext.data();
    if (!owner)
        return;
    if (!context || context->thread() == QThread::currentThread()) {
        owner->updateTimeTakenLabel(text);
        return;
    }
    // The slot outlives this run object: a delivery may come after it is gone.
    const std::shared_ptr<LabelSlot> slot = m_label;
    {
        QMutexLocker lock(&slot->mutex);
        slot->text = text;
        if (slot->queued)
            return;
        slot->queued = true;
    }
    QMetaObject::invokeMethod(context, [owner, slot] {
        QString newest;
        {
            QMutexLocker lock(&slot->mutex);
            newest = std::exchange(slot->text, QString());
            slot->queued = false;
        }
        owner->updateTimeTakenLabel(newest);
    }, Qt::QueuedConnection);
}

void Process::startInBackground()
{
    if (m_thread)
        return;
    takeOptions();
    m_thread = QThread::create([this] { start(); });
    m_thread->setObjectName(QStringLiteral("conversion"));
    m_thread->start();
}

bool Process::isRunningInBackground() const { return m_thread && m_thread->isRunning(); }

bool Process::waitForFinished(int msecs)
{
    if (!m_thread)
        return true;
    QDeadlineTimer deadline(msecs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(msecs));
    while (!m_thread->wait(QDeadlineTimer(20))) {
        // The run may be waiting for its owner on this very thread.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (deadline.hasExpired())
            return false;
    }
    // The run publishes its results (log, counts) with this flag; reading it
    // makes them ours in a way the thread sanitizer can see, not only Qt's join.
    (void)m_isCompleted.load(std::memory_order_acquire);
    return true;
}

void Process::stop()
{
    try {
        setIsCombining(false);
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (Process=>stop) : %1").arg(reason(e)));
    }
}

void Process::takeOptions()
{
    Options o;
    if (settings) {
        o.compression = compressionTagFor(settings->compression());
        o.bilevel = settings->bilevelOptions();
        o.coding = settings->codingOptions();
        o.keepMetadata = settings->isKeepMetadata();
        o.dpi = settings->outputDpi();
        o.existing = settings->existingFilePolicy();
        o.openFolderAfterConversion = settings->isOpenFolderAfterConversion();
        o.settingsOutputFolder = settings->outputFolderPath();
    }
    m_options = o;
}

void Process::start()
{
    try {
        // A background run has its copy already, taken on the starting thread.
        if (!m_thread)
            takeOptions();
        run();
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (Process=>start) : %1").arg(reason(e)));
        m_isCompleted = true;
        emit isCompletedChanged();
        emit finished();
    }
}

void Process::run()
{
    m_isCompleted = false;
    m_failed = false;
    m_log.startTime = QDateTime::currentDateTime();
    setMessage(QString());
    m_wasCancelled = false;
    const int compression = m_options.compression;
    {
        std::lock_guard guard(m_namesMutex);
        m_claimedNames.clear();
    }
    {
        std::lock_guard guard(m_foldersMutex);
        m_caseFolding.clear();
    }

    try {
        dispatch(compression);
    } catch (const std::exception &e) {
        m_failed = true;
        logError(QStringLiteral("Error in (Process=>start) : %1").arg(reason(e)));
    }

    m_log.endTime = QDateTime::currentDateTime();
    m_log.save(logsFolder);

    const bool cancelled = !m_isCombining;
    if (m_failed)
        setMessage(QCoreApplication::translate("Process", "%1 unable able to create some of the files!\r\nPlease check log for more information.")
                       .arg(getAppTitle(QString())));
    else if (cancelled)
        setMessage(QCoreApplication::translate("Process", "Process cancelled!"));
    else if (outputFiles.size() == m_totalFileCreated)
        setMessage(QCoreApplication::translate("Process", "All files created successfully."));
    else
        setMessage(QCoreApplication::translate("Process", "Total %n files created successfully.", nullptr, int(m_totalFileCreated)));
    m_wasCancelled = cancelled && !m_failed;

    setTimeTaken(timeTakenString(m_log.startTime, m_log.endTime));
    setOutputFileInProcess(QString());
    setIsCombining(false);
    sendTimeTakenLabel();

    if (m_options.openFolderAfterConversion && m_totalFileCreated > 0) {
        const QString folder = edition() == 1 ? m_options.settingsOutputFolder : outputFolder;
        callOwner([folder](ProcessOwner *o) { o->openOutputFolder(folder); });
    }
    m_isCompleted = true;
    emit isCompletedChanged();
    emit finished();
}

// A file whose pages are all written, waiting on the commit queue to be
// flushed and named; its record is filled in when it is settled.
class Process::FinishedFile final : public CommitQueue::Job {
public:
    FinishedFile(Process *p, std::unique_ptr<image::TiffWriter> writer, std::shared_ptr<LogFiles> record,
                 QString filename, QString plannedName, int gathered, std::function<void()> &settled)
        : m_p(p), m_writer(std::move(writer)), m_record(std::move(record)), m_filename(std::move(filename)),
          m_plannedName(std::move(plannedName)), m_gathered(gathered), m_settled(std::exchange(settled, nullptr))
    {
    }
    ~FinishedFile() override
    {
        if (m_settled)
            m_settled();
    }
    // On the writer's thread: runs its last page callbacks, which may still
    // change pageError.
    void finish(const QString &pageError)
    {
        m_finished = m_gathered > 0 && m_writer->finish(&m_error);
        m_pageError = pageError;
    }
    int fileHandle() const override { return m_finished ? m_writer->fileHandle() : -1; }
    int folderHandle() const override { return m_writer->folderHandle(); }
    quint64 openOrder() const override { return m_writer->openOrder(); }
    void setFlushed() noexcept override { m_writer->setFlushed(); }
    bool flush() noexcept override
    {
        try {
            m_finished = m_finished && m_writer->flush(&m_error);
        } catch (...) {
            m_finished = false;
        }
        return m_finished;
    }
    QString name() noexcept override
    {
        try {
            if (!m_finished)
                return QString();
            m_committed = m_writer->commit(&m_error, false);
            // The name was free when chosen; something took it since.
            while (!m_committed && m_writer->targetExists() && m_p->m_options.existing == ExistingFilePolicy::KeepBoth) {
                QString ignored;
                m_filename = m_p->claimName(m_plannedName, &ignored);
                m_writer->setTargetPath(m_filename);
                m_record->filename = lastComponent(m_filename);
                m_committed = m_writer->commit(&m_error, false);
            }
            return m_committed ? QFileInfo(m_filename).absolutePath() : QString();
        } catch (...) {
            m_committed = false;
            m_p->m_failed = true;
            return QString();
        }
    }
    void settle(const QString &folderError) noexcept override
    {
        try {
            if (m_committed && !folderError.isEmpty()) {
                // Named, but the name may not survive a power cut: not a success.
                m_committed = false;
                m_error = folderError;
            }
            if (m_committed) {
                m_record->status = QStringLiteral("Completed");
                m_record->sha256 = m_writer->sha256();
                ++m_p->m_totalFileCreated;
                emit m_p->totalFileCreatedChanged();
            } else if (m_writer->targetExists()) {
                m_record->status = kSkippedExisting;
                ++m_p->m_totalFileSkipped;
                m_writer->abort();
            } else {
                if (m_gathered > 0) {
                    m_record->status = QStringLiteral("Unable to save file!");
                    if (m_error != m_pageError)
                        logError(QStringLiteral("Unable to save file! : %1 (%2)").arg(m_filename, m_error));
                } else {
                    m_record->status = QStringLiteral("No Pages!");
                }
                m_writer->abort();
            }
        } catch (...) {
            m_p->m_failed = true;
        }
        // The writer's descriptors go before the file counts as done.
        m_writer.reset();
        std::exchange(m_settled, nullptr)();
    }

private:
    Process *m_p;
    std::unique_ptr<image::TiffWriter> m_writer;
    std::shared_ptr<LogFiles> m_record;
    QString m_filename;
    QString m_plannedName;
    int m_gathered;
    std::function<void()> m_settled;
    QString m_pageError;
    QString m_error;
    bool m_finished = false;
    bool m_committed = false;
};

void Process::dispatch(int compression)
{
    auto begin = [this](const OutputFile &out) {
        auto record = std::make_shared<LogFiles>();
        record->filename = lastComponent(out.filename);
        record->targetPath = folderOf(out.filename);
        m_log.files.append(record);
        setOutputFileInProcess(record->filename);
        return record;
    };

    // Names are decided here, in plan order, so workers change nothing of them.
    auto decide = [this](const OutputFile &planned, QString *skipped) {
        prepareOutputFile(planned);
        OutputFile out = planned;
        out.filename = claimName(planned.filename, skipped);
        return out;
    };

    // Where each output's sources start among the plan's source items.
    std::vector<int> firstSource;
    firstSource.reserve(size_t(outputFiles.size()));
    int sources = 0;
    for (const OutputFile &out : std::as_const(outputFiles)) {
        firstSource.push_back(sources + 1);
        sources += int(out.fileItems.size());
    }
    m_sourceItemCount = sources;

    MemoryBudget budget(memoryBudget ? memoryBudget : MemoryBudget::defaultLimit());
    m_budget = &budget;
    struct Detach {
        Process *p;
        MemoryBudget &b;
        ~Detach()
        {
            p->m_peakPageBytes = b.peak();
            p->m_budget = nullptr;
        }
    } detach{this, budget};

    struct AttachCommits {
        Process *p;
        CommitQueue &q;
        ~AttachCommits() { p->m_commits = nullptr; }
    };
    const auto key = [this](const QString &path, bool probe) { return clashKey(path, probe); };

    if (jobs <= 1) {
        // Files waiting to be named: a later file that would read or replace
        // one of them waits until it is named.
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::unique_ptr<FileFootprint>> naming; // null once settled
        CommitQueue commits;
        AttachCommits attach{this, commits};
        m_commits = &commits;
        for (qsizetype i = 0; i < outputFiles.size(); ++i) {
            const OutputFile &planned = outputFiles.at(i);
            if (!m_isCombining)
                break;
            if (!planned.refusal.isEmpty()) {
                refuseOutputFile(planned, begin(planned));
                sendTimeTakenLabel();
                continue;
            }
            QString skipped;
            const OutputFile out = decide(planned, &skipped);
            if (skipped.isEmpty()) {
                auto footprint = std::make_unique<FileFootprint>(out, key);
                size_t slot = 0;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] {
                        for (const auto &other : naming)
                            if (other && other->clashesWith(*footprint))
                                return false;
                        return true;
                    });
                    slot = naming.size();
                    naming.push_back(std::move(footprint));
                }
                auto settled = [&mutex, &changed, &naming, slot]() noexcept {
                    std::lock_guard guard(mutex);
                    naming[slot].reset();
                    changed.notify_all();
                };
                buildOutputFile(out, planned.filename, begin(out), compression, nullptr, firstSource[size_t(i)], settled);
            } else {
                skipOutputFile(out, begin(out), skipped);
            }
            sendTimeTakenLabel();
            setFileInProcess(QString());
        }
        commits.close();
        return;
    }

    // Files are begun in plan order (so the log keeps it), up to `jobs` at a
    // time; the owner hears of each finished file from this thread, as it
    // would without workers.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<FileFootprint>> inWork; // null once named (or failed)
    int finished = 0;  // not yet reported to the owner
    int running = 0;   // being built
    int unsettled = 0; // begun, not yet named
    // Outlives the pool, whose jobs hand it their files; goes before what its jobs' ends touch.
    CommitQueue commits;
    AttachCommits attach{this, commits};
    m_commits = &commits;
    WorkPool pool(jobs, [this](std::exception_ptr error) {
        m_failed = true;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception &e) {
            logError(QStringLiteral("Error in (Process=>start) : %1").arg(reason(e)));
        } catch (...) {
            logError(QStringLiteral("Error in (Process=>start) : unknown error"));
        }
    });

    auto reportFinished = [&](std::unique_lock<std::mutex> &lock) {
        while (finished > 0) {
            --finished;
            const bool idle = running == 0;
            lock.unlock();
            sendTimeTakenLabel();
            if (idle)
                setFileInProcess(QString());
            lock.lock();
        }
    };

    {
        std::unique_lock lock(mutex);
        for (qsizetype i = 0; i < outputFiles.size(); ++i) {
            const OutputFile &planned = outputFiles.at(i);
            if (!m_isCombining)
                break;
            lock.unlock();
            if (!planned.refusal.isEmpty()) {
                refuseOutputFile(planned, begin(planned));
                sendTimeTakenLabel();
                lock.lock();
                continue;
            }
            QString skipped;
            const OutputFile out = decide(planned, &skipped);
            if (!skipped.isEmpty()) {
                skipOutputFile(out, begin(out), skipped);
                sendTimeTakenLabel();
                lock.lock();
                continue;
            }
            auto footprint = std::make_unique<FileFootprint>(out, key);
            lock.lock();
            auto mayBegin = [&] {
                if (running >= jobs)
                    return false;
                for (const auto &other : inWork)
                    if (other && other->clashesWith(*footprint))
                        return false;
                return true;
            };
            for (;;) {
                reportFinished(lock);
                if (!m_isCombining || mayBegin())
                    break;
                changed.wait(lock);
            }
            if (!m_isCombining)
                break;
            const size_t slot = inWork.size();
            inWork.push_back(std::move(footprint));
            ++running;
            ++unsettled;
            lock.unlock();
            // Counted off by the job, however it ends; a job never submitted is counted off here.
            auto built = [&mutex, &changed, &running]() noexcept {
                std::lock_guard guard(mutex);
                --running;
                changed.notify_all();
            };
            auto settled = [&mutex, &changed, &inWork, &finished, &unsettled, slot]() noexcept {
                std::lock_guard guard(mutex);
                inWork[slot].reset();
                --unsettled;
                ++finished;
                changed.notify_all();
            };
            try {
                const std::shared_ptr<LogFiles> record = begin(out);
                const int first = firstSource[size_t(i)];
                pool.submitJob([&, built, settled, record, out, first, name = planned.filename] {
                    struct Built {
                        decltype(built) f;
                        ~Built() { f(); }
                    } done{built};
                    buildOutputFile(out, name, record, compression, &pool, first, settled);
                });
            } catch (...) {
                built();
                settled();
                throw;
            }
            lock.lock();
        }
        while (running > 0 || unsettled > 0 || finished > 0) {
            reportFinished(lock);
            if (running > 0 || unsettled > 0)
                changed.wait(lock);
        }
    }
}

QString Process::clashKey(const QString &path, bool probe)
{
    const QString canonical = canonicalPath(path);
    const QString folder = folderOf(canonical);
    bool folds = false;
    {
        std::lock_guard guard(m_foldersMutex);
        const auto known = m_caseFolding.find(folder);
        if (known != m_caseFolding.end()) {
            folds = known->second;
        } else if (probe) {
            // Only output folders are probed: a source folder is never written to.
            folds = namesFoldCase(folder);
            m_caseFolding.emplace(folder, folds);
        }
    }
    return folds ? folder + QLatin1Char('/') + lastComponent(canonical).toCaseFolded() : canonical;
}

QString Process::claimName(const QString &planned, QString *skipped)
{
    if (m_options.existing == ExistingFilePolicy::Replace)
        return planned;
    std::lock_guard guard(m_namesMutex);
    const bool inRun = m_claimedNames.count(clashKey(planned, true)) > 0;
    if (!inRun && !pathTaken(planned)) {
        m_claimedNames.insert(clashKey(planned, true));
        return planned;
    }
    if (m_options.existing == ExistingFilePolicy::Skip) {
        *skipped = inRun ? kSkippedInRun : kSkippedExisting;
        return planned;
    }
    const QString base = planned.endsWith(QLatin1String(".tiff")) ? planned.chopped(5) : planned;
    for (int n = 2;; ++n) {
        const QString name = QStringLiteral("%1 (%2).tiff").arg(base, QString::number(n));
        const QString key = clashKey(name, true);
        if (!m_claimedNames.count(key) && !pathTaken(name)) {
            m_claimedNames.insert(key);
            return name;
        }
    }
}

void Process::skipOutputFile(const OutputFile &out, const std::shared_ptr<LogFiles> &record, const QString &status)
{
    record->status = status;
    for (const FileItemPtr &item : out.fileItems) {
        m_sourceBytesProcessed += std::max<qint64>(item->size(), 1);
        ++m_totalFileProcessed;
    }
    ++m_totalFileSkipped;
    emit totalFileProcessedChanged();
}

void Process::refuseOutputFile(const OutputFile &out, const std::shared_ptr<LogFiles> &record)
{
    record->status = out.refusal;
    for (const FileItemPtr &item : out.fileItems) {
        auto rec = std::make_shared<LogFile>();
        rec->sourceFile = item->path();
        rec->sourcePageNo = 1;
        rec->status = out.refusal;
        record->logFiles.append(rec);
        m_sourceBytesProcessed += std::max<qint64>(item->size(), 1);
        ++m_totalFileProcessed;
    }
    emit totalFileProcessedChanged();
}

void Process::prepareOutputFile(const OutputFile &out)
{
    for (const FileItemPtr &item : out.fileItems)
        item->countPages();
    const QString folder = folderOf(out.filename);
    if (!folder.isEmpty() && folder != QDir::cleanPath(outputFolder) && !QDir().mkpath(folder))
        // The writer fails in it and the file's record says so.
        logError(QStringLiteral("Unable to save file! : cannot create the folder %1").arg(folder));
}

void Process::buildOutputFile(const OutputFile &out, const QString &plannedName, const std::shared_ptr<LogFiles> &record,
                              int compression, WorkPool *pool, int firstSource, std::function<void()> settled) noexcept
{
    // Not handed to the commit queue: settled here, however this ends.
    struct Settle {
        std::function<void()> &f;
        ~Settle()
        {
            if (f)
                f();
        }
    } settle{settled};
    try {
        writeOutputFile(out, plannedName, record, compression, pool, firstSource, settled);
        return;
    } catch (const std::exception &e) {
        try {
            m_failed = true;
            record->status = reason(e);
            logError(QStringLiteral("Error in (Process=>start) : %1").arg(record->status));
        } catch (...) {
        }
    } catch (...) {
        m_failed = true;
    }
}

void Process::writeOutputFile(const OutputFile &out, const QString &plannedName, const std::shared_ptr<LogFiles> &record,
                              int compression, WorkPool *pool, int firstSource, std::function<void()> &settled)
{
    // BigTIFF only when the decoded pages could pass what classic TIFF can address.
    bool bigTiff = false;
    if (out.fileItems.size() > 1 || (out.fileItems.size() == 1 && out.fileItems.first()->pages() > 1)) {
        quint64 total = 0;
        for (const FileItemPtr &item : out.fileItems) {
            QString ignored;
            std::unique_ptr<image::ImageSource> src;
            try {
                src = openSource(item->path(), &ignored);
            } catch (const std::bad_alloc &) {
                // The source's own turn reports it.
            }
            if (!src)
                continue;
            if (item->isMultiPageFile()) {
                for (int n : getPageRanges(item.get())) {
                    if (n <= src->pageCount())
                        total += src->decodedSize(n - 1);
                }
            } else {
                total += src->decodedSize(std::max(0, src->pageCount() - 1));
            }
            if (total > bigTiffThreshold) {
                bigTiff = true;
                break;
            }
        }
    }

    int gathered = 0; // pages handed to the writer, written or not
    QString pageError; // already in the system log; the commit would repeat it
    // Declared after what its page callbacks use: it may still call them when destroyed.
    auto ownWriter = std::make_unique<image::TiffWriter>(out.filename, compression, bigTiff, pool);
    image::TiffWriter &writer = *ownWriter;
    writer.setBilevelOptions(m_options.bilevel);
    writer.setChecksum(checksums);
    writer.setCodingOptions(m_options.coding);
    // Keep both and Skip never replace a file, not even one made meanwhile.
    writer.setReplaceExisting(m_options.existing == ExistingFilePolicy::Replace);
    image::ReadOptions readOptions{compression};
    readOptions.keepMetadata = m_options.keepMetadata;
    readOptions.pool = pool;

    // A page's decoded bytes count against the run's budget from before it is
    // decoded until the writer is done with it. Waiting, this file holds none:
    // its queued page is finished first, so waiters never wait on each other.
    auto reserve = [&](quint64 bytes) {
        if (!m_budget)
            return std::shared_ptr<PageReservation>();
        if (!m_budget->tryAcquire(bytes)) {
            writer.finishQueued();
            m_budget->acquire(bytes);
        }
        return std::make_shared<PageReservation>(m_budget, bytes);
    };

    // The record is filled in when the writer has written the page (with a
    // pool, after the next page has been handed over).
    auto addPage = [&](image::Page &page, const std::shared_ptr<LogFile> &rec, std::shared_ptr<PageReservation> held) {
        ++gathered;
        if (m_options.dpi > 0) {
            page.xResolution = page.yResolution = float(m_options.dpi);
            page.resolutionUnit = 2; // inch
        }
        if (m_options.keepMetadata) {
            // Damaged metadata never costs the pixels: the block is left out.
            for (const QString &why : image::checkMetadata(&page))
                logWarning(QStringLiteral("Warning in (readPage) : %1: %2").arg(rec->sourceFile, why));
        } else {
            page.exif.clear();
            page.xmp.clear();
            page.iptc.clear();
        }
        writer.queuePage(std::move(page), [&out, &pageError, rec, held](bool ok, int pageNumber, const QString &error) {
            if (ok) {
                rec->targetPageNo = pageNumber;
                rec->status = QStringLiteral("Completed");
            } else {
                rec->targetPageNo = 0;
                rec->status = QStringLiteral("Unable to save file!");
                if (error != pageError)
                    logError(QStringLiteral("Unable to save file! : %1 (%2)").arg(out.filename, error));
                pageError = error;
            }
        });
    };

    const int totalSources = m_sourceItemCount;
    int index = firstSource;
    for (const FileItemPtr &item : out.fileItems) {
        if (!m_isCombining)
            break;
        setFileInProcess(item->name());
        emit sourceBegun(index++, totalSources, item->path(), record->filename);
        if (item->isMultiPageFile()) {
            std::shared_ptr<LogFile> rec;
            try {
                QString error;
                auto src = openSource(item->path(), &error);
                if (!src) {
                    // Recorded, unlike a silent skip, so the log tells why the source gave nothing.
                    rec = std::make_shared<LogFile>();
                    rec->sourceFile = item->path();
                    rec->status = QStringLiteral("Unable to load image!");
                    record->logFiles.append(rec);
                    logError(QStringLiteral("Unable to load image! : %1 (%2)").arg(item->path(), error));
                } else {
                    src->setReadOptions(readOptions);
                    for (int n : getPageRanges(item.get())) {
                        rec = std::make_shared<LogFile>();
                        record->logFiles.append(rec);
                        rec->sourceFile = item->path();
                        rec->sourcePageNo = n;
                        image::Page page;
                        std::shared_ptr<PageReservation> held;
                        if (n <= src->pageCount())
                            held = reserve(src->decodedSize(n - 1));
                        if (n > src->pageCount() || !src->readPage(n - 1, &page, &error)) {
                            rec->targetPageNo = 0;
                            rec->status = QStringLiteral("Unable to load page!");
                            if (n <= src->pageCount())
                                logError(QStringLiteral("Unable to load page! : %1 page %2 (%3)").arg(item->path(), QString::number(n), error));
                            continue;
                        }
                        addPage(page, rec, std::move(held));
                    }
                }
            } catch (const std::exception &e) {
                // The rest of this source is skipped; the run goes on.
                if (!rec) {
                    rec = std::make_shared<LogFile>();
                    rec->sourceFile = item->path();
                    record->logFiles.append(rec);
                }
                if (rec->status.isEmpty())
                    rec->status = reason(e);
                logError(QStringLiteral("Error in (Process=>start) : %1").arg(reason(e)));
            }
        } else {
            auto rec = std::make_shared<LogFile>();
            record->logFiles.append(rec);
            rec->sourceFile = item->path();
            rec->sourcePageNo = 1;
            try {
                QString error;
                auto src = openSource(item->path(), &error);
                if (src)
                    src->setReadOptions(readOptions);
                image::Page page;
                std::shared_ptr<PageReservation> held;
                if (src && src->pageCount() >= 1)
                    held = reserve(src->decodedSize(src->pageCount() - 1));
                // A single image is its file's last one (a multi-page TIFF under
                // another name gives its last page).
                if (!src || src->pageCount() < 1 || !src->readPage(src->pageCount() - 1, &page, &error)) {
                    rec->targetPageNo = 0;
                    rec->status = QStringLiteral("Unable to load image!");
                    logError(QStringLiteral("Unable to load image! : %1 (%2)").arg(item->path(), error));
                } else {
                    addPage(page, rec, std::move(held));
                }
            } catch (const std::exception &e) {
                rec->targetPageNo = 0;
                rec->status = reason(e);
                logError(QStringLiteral("Error in (Process=>start) : %1").arg(rec->status));
            }
        }
        m_sourceBytesProcessed += std::max<qint64>(item->size(), 1);
        ++m_totalFileProcessed;
        emit totalFileProcessedChanged();
        if (!m_isCombining)
            break;
    }

    record->pages += gathered;
    setOutputFileInProcess(QCoreApplication::translate("Process", "Writing File On Disk..."));
    auto finished = std::make_unique<FinishedFile>(this, std::move(ownWriter), record, out.filename, plannedName, gathered, settled);
    finished->finish(pageError);
    if (m_commits) {
        m_commits->push(firstSource, std::move(finished));
        return;
    }
    QString folderError;
    const QString folder = finished->fileHandle() < 0 || finished->flush() ? finished->name() : QString();
    if (!folder.isEmpty())
        SafeOutputFile::syncFolder(folder, &folderError);
    finished->settle(folderError);
}

bool setUpRun(Process &process, const std::function<bool(OutputPlanner &)> &feed, Settings &settings,
              const QString &outputFolder, int jobs, const PlanScope &scope)
{
    // Never a group size below 1: the planner divides by it.
    if (settings.groupMultiPageTIFFCount() < 1)
        settings.setGroupMultiPageTIFFCount(2);
    OutputPlanner planner(settings, outputFolder, scope);
    if (!feed(planner))
        return false;
    process.settings = &settings;
    process.outputFolder = outputFolder;
    process.jobs = jobs;
    process.setIsCombining(true);
    process.applyPlan(planner.finish());
    return true;
}

void setUpRun(Process &process, const QList<FileItemPtr> &files, Settings &settings, const QString &outputFolder, int jobs)
{
    setUpRun(process, [&files](OutputPlanner &planner) {
        for (const FileItemPtr &f : files)
            planner.add(f);
        return true;
    }, settings, outputFolder, jobs, PlanScope());
}

} // namespace quillon
