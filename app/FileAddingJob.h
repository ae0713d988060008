#pragma once
#include "app/Arguments.h"
#include "app/RecentFolders.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>

class QMimeData;
class QSettings;
class QThread;
class QTimer;

namespace quillon {

class FileSystemHelper;
class OpenPanel;
class WindowHost;

// Adding files: the Add Files and Add Folder panels, drops on the list,
// paths from other starts (waiting while a job, a run or a dialog has the
// window), the recent folders and their popup, and the one file-adding job
// at a time, whose work (FileSystemHelper) runs on the thread "file-adding".
// The job's items reach the file list on the main thread when the thread
// finishes; started() and finished() tell the window.
class FileAddingJob : public QObject {
    Q_OBJECT
public:
    explicit FileAddingJob(WindowHost &host);
    // A job still working is stopped and waited for.
    ~FileAddingJob() override;

    bool isLoading() const { return m_loadThread != nullptr; }
    // Stops the job at its next file or folder entry; what it made is kept.
    void cancel() { m_keepRunning = false; }

    void addFiles();
    void addFolder();
    void openPanelDidEnd(OpenPanel *panel, int returnCode);
    bool validateDrop(const QMimeData *data, QObject *source) const;
    bool acceptDrop(const QMimeData *data);
    // Paths given on a command line ("Open With"), added as a drop adds them.
    void openFiles(const QStringList &paths);
    void addPendingPaths();
    // Starts a job on its own thread (false while one runs).
    bool loadURLs(const Arguments &arguments);

    RecentFolders &recentFolders() { return m_recentFolders; }
    void restoreRecentFolders(QSettings *store);
    void addRecentItem(const QStringList &paths);
    // Fills the popup from the recent folders.
    void loadRecentFolders();
    // A folder picked in the popup replaces the list with its files.
    void recentFolderChanged(int index);

signals:
    void started();
    // The job's files are in the list.
    void finished();

private:
    // The Add Files or Add Folder panel; its choice goes to a job.
    void openAddPanel(const QString &name, const QString &title, bool files, bool directories, const QString &message);
    bool addLikeDrop(const QList<QUrl> &dropped);
    void replaceList(const QList<QUrl> &urls);
    void updateLoadingProgress();
    void finishLoad();

    WindowHost &m_host;
    RecentFolders m_recentFolders;
    QStringList m_pendingPaths; // from other starts, waiting for the window
    std::atomic<bool> m_keepRunning{false};
    std::unique_ptr<FileSystemHelper> m_loadJob;
    QThread *m_loadThread = nullptr;
    QDateTime m_loadStart;
    QTimer *m_loadProgressTimer = nullptr;
};

} // namespace quillon
