#pragma once
#include "core/Log.h"
#include "core/OutputPlan.h"
#include "core/Settings.h"
#include "core/image/Bilevel.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

class QThread;

namespace quillon {

class CommitQueue;
class MemoryBudget;
class WorkPool;

// What a run needs from whoever started it (the main window or the CLI).
// Both calls arrive on the thread of the owner's context object. The run
// never waits for them: a label that finds the previous one not yet shown
// replaces it, so an owner slower than the run sees the newest text, and
// always the last one.
class ProcessOwner {
public:
    virtual ~ProcessOwner();
    virtual void updateTimeTakenLabel(const QString &text) = 0;
    // Called after a run that created files, when the settings ask for it.
    // The CLI declines by doing nothing.
    virtual void openOutputFolder(const QString &path) = 0;
};

// One conversion run. The planner fills outputFiles, settings, outputFolder and
// totalFileSelected and sets isCombining; start() then builds every output file
// in order. start() is synchronous (usable without an event loop);
// startInBackground() runs it on a thread of its own. With jobs above 1 the
// output files are built on a pool of that many workers, several at once,
// while the log keeps the plan's order and the owner is still called from the
// run's thread only. Properties are safe to read from any thread; their change
// signals are emitted on the run's or the workers' threads.
class Process : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isCombining READ isCombining WRITE setIsCombining NOTIFY isCombiningChanged)
    Q_PROPERTY(bool isCompleted READ isCompleted NOTIFY isCompletedChanged)
    Q_PROPERTY(int totalFileSelected READ totalFileSelected WRITE setTotalFileSelected NOTIFY totalFileSelectedChanged)
    Q_PROPERTY(int totalFileProcessed READ totalFileProcessed NOTIFY totalFileProcessedChanged)
    Q_PROPERTY(int totalFileCreated READ totalFileCreated NOTIFY totalFileCreatedChanged)
    Q_PROPERTY(QString fileInProcess READ fileInProcess NOTIFY fileInProcessChanged)
    Q_PROPERTY(QString outputFileInProcess READ outputFileInProcess NOTIFY outputFileInProcessChanged)
    Q_PROPERTY(QString timeTaken READ timeTaken NOTIFY timeTakenChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(qint64 sourceBytesProcessed READ sourceBytesProcessed NOTIFY totalFileProcessedChanged)

public:
    explicit Process(QObject *parent = nullptr);
    // Cancels and waits for a background run (processing queued owner calls meanwhile).
    ~Process() override;

    // owner is called through `context` (an object of the owner's thread); both not owned.
    void setOwner(ProcessOwner *owner, QObject *context);

    // Fills the plan (outputFiles, totalFileSelected).
    void applyPlan(const OutputPlan &plan);

    bool isCombining() const { return m_isCombining; }
    void setIsCombining(bool v);
    bool isCompleted() const { return m_isCompleted; }
    int totalFileSelected() const { return m_totalFileSelected; }
    void setTotalFileSelected(int v);
    int totalFileProcessed() const { return m_totalFileProcessed; }
    int totalFileCreated() const { return m_totalFileCreated; }
    // Output files not made because their name was taken and the settings
    // say Skip (their sources count as processed).
    int totalFileSkipped() const { return m_totalFileSkipped; }
    // Sizes on disk of the planned source items, and of those processed so far
    // (for estimating the time left). An item that feeds several outputs counts each time.
    qint64 sourceBytesTotal() const { return m_sourceBytesTotal; }
    qint64 sourceBytesProcessed() const { return m_sourceBytesProcessed; }
    QString fileInProcess() const;
    QString outputFileInProcess() const;
    QString timeTaken() const;
    QString message() const;

    Log &log() { return m_log; }
    const Log &log() const { return m_log; }
    QList<OutputFile> outputFiles;
    // Read once, on the thread that starts the run (start() or
    // startInBackground()): the run works on that copy, never on the live record.
    QPointer<Settings> settings;
    QString outputFolder;
    // Where the log is saved; the application's Logs folder when empty.
    QString logsFolder;
    // Outputs whose decoded pages may pass this many bytes are written as BigTIFF.
    quint64 bigTiffThreshold = quint64(3800) << 20;
    // Workers: output files in work at once, and threads coding the strips of
    // a page. 1 builds one file after another on the run's thread.
    int jobs = 1;
    // Each created file's record gets the SHA-256 of the file as written.
    bool checksums = false;
    // Decoded pages held at once, in bytes, over all workers (0: a quarter of
    // the physical memory). A page larger than this is converted alone.
    quint64 memoryBudget = 0;
    // The most decoded page bytes the last run held at once.
    quint64 peakPageBytes() const { return m_peakPageBytes; }

    void start();
    void startInBackground();
    void stop();
    bool isRunningInBackground() const;
    // Waits for a background run, keeping the caller's event loop turning so the
    // run's calls to its owner are delivered. True when the run has ended.
    bool waitForFinished(int msecs = -1);

    // True once a run ended because it was cancelled (and nothing failed).
    bool wasCancelled() const { return m_wasCancelled; }

    // Statuses of an output file left out by the Skip choice: the name stands
    // in the folder, or an earlier output of this run has it.
    static inline const QString kSkippedExisting = QStringLiteral("Skipped: file exists");
    static inline const QString kSkippedInRun = QStringLiteral("Skipped: name used earlier in this run");

    // The TIFF Compression tag for a compression index.
    static int compressionTagFor(int tiffCompressionIndex);
    static int compressionTagFor(image::Compression compression);

signals:
    void isCombiningChanged();
    void isCompletedChanged();
    void totalFileSelectedChanged();
    void totalFileProcessedChanged();
    void totalFileCreatedChanged();
    void fileInProcessChanged();
    void outputFileInProcessChanged();
    void timeTakenChanged();
    void messageChanged();
    // A source item is begun: its place among the plan's source items
    // (1-based; an item feeding several outputs counts each time), their
    // number, its path and the name of the output it goes to. From the
    // thread building that output; several may be in work at once.
    void sourceBegun(int index, int total, const QString &source, const QString &output);
    // Emitted on the run's thread after isCompleted became true.
    void finished();

private:
    // What the run takes from the settings, copied when it starts.
    struct Options {
        int compression = 1;
        image::BilevelOptions bilevel;
        image::CodingOptions coding;
        bool keepMetadata = false;
        int dpi = 0; // 0 keeps each source's resolution
        ExistingFilePolicy existing = ExistingFilePolicy::Replace;
        bool openFolderAfterConversion = false;
        QString settingsOutputFolder;
    };
    void takeOptions();
    void run();
    void dispatch(int compression);
    class FinishedFile;
    // Never throws: what goes wrong ends this output file with a status.
    // `settled` runs once the file is named or has failed (on the commit
    // queue's thread when the file got that far, else before this returns).
    void buildOutputFile(const OutputFile &out, const QString &plannedName, const std::shared_ptr<LogFiles> &record,
                         int compression, WorkPool *pool, int firstSource, std::function<void()> settled) noexcept;
    void writeOutputFile(const OutputFile &out, const QString &plannedName, const std::shared_ptr<LogFiles> &record,
                         int compression, WorkPool *pool, int firstSource, std::function<void()> &settled);
    // The key under which two paths that may name one file compare equal;
    // probe: the path's folder may be tested for names that fold case.
    QString clashKey(const QString &path, bool probe);
    // The name an output gets by the existing-file choice, decided in plan
    // order; *skipped gets a status when the output is not to be made.
    QString claimName(const QString &planned, QString *skipped);
    void skipOutputFile(const OutputFile &out, const std::shared_ptr<LogFiles> &record, const QString &status);
    // An output the plan refused: each of its sources is lost with the refusal.
    void refuseOutputFile(const OutputFile &out, const std::shared_ptr<LogFiles> &record);
    // Done in plan order on the run's thread before a file is begun: pages
    // counted (items made without), its folder below the output folder made.
    void prepareOutputFile(const OutputFile &out);
    void setText(QString &field, const QString &value, void (Process::*signal)());
    void setFileInProcess(const QString &v) { setText(m_fileInProcess, v, &Process::fileInProcessChanged); }
    void setOutputFileInProcess(const QString &v) { setText(m_outputFileInProcess, v, &Process::outputFileInProcessChanged); }
    void setTimeTaken(const QString &v) { setText(m_timeTaken, v, &Process::timeTakenChanged); }
    void setMessage(const QString &v) { setText(m_message, v, &Process::messageChanged); }
    void callOwner(const std::function<void(ProcessOwner *)> &call);
    void sendTimeTakenLabel();
    struct LabelSlot;

    std::atomic<bool> m_isCombining{false};
    std::atomic<bool> m_isCompleted{false};
    std::atomic<int> m_totalFileSelected{1};
    std::atomic<int> m_totalFileProcessed{0};
    std::atomic<int> m_totalFileCreated{0};
    std::atomic<int> m_totalFileSkipped{0};
    std::atomic<qint64> m_sourceBytesTotal{0};
    std::atomic<qint64> m_sourceBytesProcessed{0};
    mutable QMutex m_textMutex;
    QString m_fileInProcess;
    QString m_outputFileInProcess;
    QString m_timeTaken;
    QString m_message;
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_wasCancelled{false};
    Options m_options;
    std::mutex m_namesMutex;
    std::set<QString> m_claimedNames; // clash keys of this run's outputs
    std::mutex m_foldersMutex;
    std::map<QString, bool> m_caseFolding; // folder -> names differing in case only name one file
    MemoryBudget *m_budget = nullptr; // while a run builds files
    CommitQueue *m_commits = nullptr; // while a run builds files
    std::atomic<quint64> m_peakPageBytes{0};
    int m_sourceItemCount = 0; // set before any file is begun
    std::shared_ptr<LabelSlot> m_label;
    Log m_log;
    ProcessOwner *m_owner = nullptr;
    QPointer<QObject> m_ownerContext;
    QThread *m_thread = nullptr;
};

// "1 hr(s) 2 min(s) 3 sec(s) " style duration; pieces of 0 are left out, and
// a missing date gives the empty text.
QString timeTakenString(const QDateTime &from, const QDateTime &to);

// The time line the owner is sent: "Total Time Taken : <taken> <done>/<total>".
// This text, the duration's pieces, the run's final message and its file in
// process are in the installed translator's language (the window installs
// one, the command line none); the log's statuses never are.
QString timeTakenLine(const QString &taken, int done, int total);
// The time taken before a run or a load has ended: "In Process...".
QString inProcessText();

// Readies `process` to convert the checked items of `files` by `settings`
// into `outputFolder` with `jobs` workers: the plan, and the settings it
// copies at start. The one set-up of a run, for the window and the command
// line. A group size below 1 is first set to 2 in `settings`.
void setUpRun(Process &process, const QList<FileItemPtr> &files, Settings &settings, const QString &outputFolder, int jobs);
// The same for a plan fed item by item (a list of millions, a part of a
// batch): `feed` hands the items to the planner; false from it sets up nothing.
bool setUpRun(Process &process, const std::function<bool(OutputPlanner &)> &feed, Settings &settings,
              const QString &outputFolder, int jobs, const PlanScope &scope);

} // namespace quillon
