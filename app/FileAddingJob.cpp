#include "app/FileAddingJob.h"

#include "app/AppGuard.h"
#include "app/EditionWindow.h"
#include "app/FileListController.h"
#include "app/FileSystemHelper.h"
#include "app/OpenPanel.h"
#include "app/WindowHost.h"
#include "app/WindowLook.h"
#include "core/FolderScan.h"
#include "core/Process.h"

#include "ui_MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace quillon {

FileAddingJob::FileAddingJob(WindowHost &host)
    : m_host(host)
{
    m_loadProgressTimer = new QTimer(this);
    m_loadProgressTimer->setInterval(150);
    connect(m_loadProgressTimer, &QTimer::timeout, this, &FileAddingJob::updateLoadingProgress);
    // A dialog closing gives the window back: paths from other starts that
    // waited for it are added now.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
        if (!m_pendingPaths.isEmpty())
            QTimer::singleShot(0, this, &FileAddingJob::addPendingPaths);
    });
}

FileAddingJob::~FileAddingJob()
{
    if (m_loadThread) {
        m_keepRunning = false;
        m_loadThread->wait();
        delete m_loadThread;
        m_loadThread = nullptr;
    }
}

void FileAddingJob::openAddPanel(const QString &name, const QString &title, bool files, bool directories, const QString &message)
{
    m_host.endEditing();
    auto *panel = new OpenPanel(m_host.window());
    panel->setObjectName(name);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowTitle(title);
    panel->setCanChooseFiles(files);
    panel->setCanChooseDirectories(directories);
    panel->setResolvesAliases(true);
    panel->setAllowsMultipleSelection(true);
    panel->setMessage(message);
    panel->setAllowedFileTypes(allowedFileTypes());
    connect(panel, &QDialog::finished, this, [this, panel](int result) { openPanelDidEnd(panel, result); });
    panel->open();
}

void FileAddingJob::addFiles()
{
    guarded("Error in (addFiles:) : %1", [&] {
        openAddPanel(QStringLiteral("addFilesPanel"), tr("Add Files"), true, m_host.edition().addFilesTakesFolders() && m_host.inculdeSubfolders(),
                     tr("Select Image or TIFF File(s):"));
    });
}

void FileAddingJob::addFolder()
{
    guarded("Error in (addFolder:) : %1", [&] {
        openAddPanel(QStringLiteral("addFolderPanel"), tr("Add Folder"), false, true,
                     tr("Select folder(s) contains Image or TIFF File(s):"));
    });
}

void FileAddingJob::openPanelDidEnd(OpenPanel *panel, int returnCode)
{
    guarded("Error in (openPanelDidEnd:returnCode:contextInfo:) : %1", [&] {
        if (!panel || returnCode != QDialog::Accepted)
            return;
        QStringList folders;
        for (const QString &path : panel->chosenPaths()) {
            if (QFileInfo(path).isDir())
                folders << path;
        }
        if (m_host.edition().keepsRecentFolders())
            addRecentItem(folders);
        loadURLs(Arguments{panel->chosenURLs(), panel->canChooseDirectories(), m_host.inculdeSubfolders()});
    });
}

bool FileAddingJob::validateDrop(const QMimeData *data, QObject *source) const
{
    CustomTableView *table = m_host.ui()->mainTableView;
    if (source && (source == table || source == table->viewport()))
        return false;
    if (!data || !data->hasUrls())
        return false;
    // One job at a time; the list is disabled meanwhile anyway.
    return !isLoading() && m_host.commandState().viewEnabled;
}

bool FileAddingJob::acceptDrop(const QMimeData *data)
{
    guarded("Error in (acceptDrop:) : %1", [&] {
        if (!data || !data->hasUrls() || isLoading())
            return;
        addLikeDrop(data->urls());
    });
    // The files arrive through the job, never through the drop itself.
    return false;
}

void FileAddingJob::openFiles(const QStringList &paths)
{
    m_pendingPaths << paths;
    addPendingPaths();
}

void FileAddingJob::addPendingPaths()
{
    // A dialog of the window may still hand over its own files (the import
    // sheet); a job started behind it would make it lose them.
    const CommandState &state = m_host.commandState();
    if (m_pendingPaths.isEmpty() || !m_host.isAwake() || m_host.isQuitting() || isLoading() || state.running || !state.viewEnabled
        || QApplication::activeModalWidget())
        return;
    QList<QUrl> urls;
    for (const QString &path : std::exchange(m_pendingPaths, {}))
        urls << QUrl::fromLocalFile(path);
    guarded("Error in (openFiles:) : %1", [&] { addLikeDrop(urls); });
}

bool FileAddingJob::addLikeDrop(const QList<QUrl> &dropped)
{
    m_host.endEditing();
    QList<QUrl> urls;
    QStringList folders;
    for (const QUrl &url : dropped) {
        // Only file names count; web addresses and the like are not files.
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        urls << QUrl::fromLocalFile(path);
        if (QFileInfo(path).isDir())
            folders << path;
    }
    if (urls.isEmpty())
        return false;
    if (m_host.edition().keepsRecentFolders())
        addRecentItem(folders);
    m_host.edition().dropBegins();
    return loadURLs(Arguments{urls, true, m_host.inculdeSubfolders()});
}

bool FileAddingJob::loadURLs(const Arguments &arguments)
{
    if (m_loadThread)
        return false;
    m_loadStart = QDateTime::currentDateTime();
    m_keepRunning = true;
    m_host.resetView(false);
    m_host.setBusy(true);
    m_host.updateTimeTakenLabel(timeTakenLine(inProcessText(), 0, 0));

    QSet<QString> known;
    const QList<FileItemPtr> &files = m_host.fileList().files();
    known.reserve(files.size());
    for (const FileItemPtr &item : files)
        known.insert(item->filePath().toString());
    m_loadJob = std::make_unique<FileSystemHelper>(&m_keepRunning, std::move(known));
    FileSystemHelper *job = m_loadJob.get();
    m_loadThread = QThread::create([job, arguments] { job->loadURLs(arguments); });
    m_loadThread->setObjectName(QStringLiteral("file-adding"));
    connect(m_loadThread, &QThread::finished, this, &FileAddingJob::finishLoad);
    Ui::MainWindow *ui = m_host.ui();
    ui->cancelBtn->setVisible(true);
    ui->loadingLabel->setText(tr("Reading files..."));
    ui->loadingLabel->setVisible(true);
    m_loadProgressTimer->start();
    m_loadThread->start();
    emit started();
    return true;
}

void FileAddingJob::updateLoadingProgress()
{
    if (m_loadJob)
        m_host.ui()->loadingLabel->setText(tr("Reading files... %L1").arg(m_loadJob->itemCount()));
}

void FileAddingJob::finishLoad()
{
    if (!m_loadThread)
        return;
    m_host.edition().loadEnded();
    m_loadThread->wait();
    delete m_loadThread;
    m_loadThread = nullptr;
    m_loadProgressTimer->stop();
    QList<FileItemPtr> items = m_loadJob ? m_loadJob->takeItems() : QList<FileItemPtr>();
    m_loadJob.reset();

    guarded("Error in (loadURLs:) : %1", [&] { m_host.fileList().appendNew(std::move(items)); });
    Ui::MainWindow *ui = m_host.ui();
    ui->cancelBtn->setVisible(false);
    ui->loadingLabel->setVisible(false);
    m_host.setBusy(false);
    m_host.resetView(true);
    m_host.updateTimeTakenLabel(timeTakenLine(timeTakenString(m_loadStart, QDateTime::currentDateTime()), 0, 0));
    emit finished();
    // Paths that came while this job ran are a job of their own.
    if (!m_pendingPaths.isEmpty())
        QTimer::singleShot(0, this, &FileAddingJob::addPendingPaths);
}

// ---- recent folders ----

void FileAddingJob::restoreRecentFolders(QSettings *store)
{
    m_recentFolders.restore(store);
    loadRecentFolders();
}

void FileAddingJob::addRecentItem(const QStringList &paths)
{
    m_recentFolders.add(paths);
    loadRecentFolders();
}

void FileAddingJob::loadRecentFolders()
{
    m_recentFolders.sort();
    QComboBox *popup = m_host.ui()->recentFoldersPopup;
    const QSignalBlocker block(popup);
    popup->clear();
    popup->addItem(tr("Recent Folders..."));
    const QIcon folderIcon = resourceIcon(QStringLiteral("recent-folder"));
    for (const RecentItem &item : m_recentFolders.items()) {
        popup->addItem(folderIcon, item.itemPath);
        popup->setItemData(popup->count() - 1, item.itemPath, Qt::ToolTipRole);
    }
    popup->setCurrentIndex(0);
}

void FileAddingJob::replaceList(const QList<QUrl> &urls)
{
    m_host.fileList().clear();
    m_host.resetView(true);
    m_host.fileList().updateTotalLabel();
    loadURLs(Arguments{urls, true, m_host.inculdeSubfolders()});
}

void FileAddingJob::recentFolderChanged(int index)
{
    guarded("Error in recentFolderChanged : %1", [&] {
        QComboBox *popup = m_host.ui()->recentFoldersPopup;
        if (index < 1 || index >= popup->count())
            return;
        const QString title = popup->itemText(index);
        const QList<RecentItem> &items = m_recentFolders.items();
        const bool known = std::any_of(items.cbegin(), items.cend(), [&](const RecentItem &r) { return r.itemPath == title; });
        if (!known)
            return;
        const QString path = title;
        const QFileInfo info(path);
        if (info.isDir() && info.isReadable() && QDir(path).isReadable()) {
            m_recentFolders.touch(path);
            loadRecentFolders();
            popup->setCurrentIndex(popup->findText(path));
            replaceList({QUrl::fromLocalFile(path)});
            return;
        }
        // Moved, deleted or no longer readable: let the user pick the folder again.
        m_host.endEditing();
        auto *panel = new OpenPanel(m_host.window());
        panel->setObjectName(QStringLiteral("chooseFoldersPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setWindowTitle(tr("Choose folder(s):"));
        panel->setMessage(tr("Choose folder(s):"));
        panel->setCanChooseFiles(false);
        panel->setCanChooseDirectories(true);
        panel->setCanCreateDirectories(false);
        panel->setAllowsMultipleSelection(true);
        panel->setResolvesAliases(false);
        // The folder itself is gone; start in the nearest folder that is still there.
        QString start = path;
        while (!start.isEmpty() && !QFileInfo(start).isDir() && start != QDir::rootPath())
            start = QFileInfo(start).absolutePath();
        panel->setDirectory(start);
        connect(panel, &QDialog::finished, this, [this, panel, path](int result) {
            guarded("Error in recentFolderChanged : %1", [&] {
                QComboBox *popup = m_host.ui()->recentFoldersPopup;
                if (result != QDialog::Accepted || panel->chosenPaths().isEmpty()) {
                    popup->setCurrentIndex(0);
                    return;
                }
                m_recentFolders.touch(path);
                const QStringList chosen = panel->chosenPaths();
                addRecentItem(chosen);
                popup->setCurrentIndex(popup->findText(chosen.first()));
                replaceList(panel->chosenURLs());
            });
        });
        panel->open();
    });
}

} // namespace quillon
