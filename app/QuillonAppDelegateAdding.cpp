// QuillonAppDelegate: adding files through the panels and drops, and the
// file-adding job (its work is FileSystemHelper, on a thread of its own).
#include "app/QuillonAppDelegate.h"

#include "app/AppGuard.h"
#include "app/FileListModel.h"
#include "app/FileSystemHelper.h"
#include "app/OpenPanel.h"
#include "core/FolderScan.h"

#include "ui_MainWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QMimeData>
#include <QThread>
#include <QTimer>

namespace quillon {

void QuillonAppDelegate::addFiles()
{
    guarded("Error in (addFiles:) : %1", [&] {
        endEditing();
        auto *panel = new OpenPanel(m_window.get());
        panel->setObjectName(QStringLiteral("addFilesPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setWindowTitle(tr("Add Files"));
        panel->setCanChooseFiles(true);
        panel->setCanChooseDirectories(m_edition->addFilesTakesFolders() && inculdeSubfolders());
        panel->setResolvesAliases(true);
        panel->setAllowsMultipleSelection(true);
        panel->setMessage(QStringLiteral("Select Image or TIFF File(s):"));
        panel->setAllowedFileTypes(allowedFileTypes());
        connect(panel, &QDialog::finished, this, [this, panel](int result) { openPanelDidEnd(panel, result); });
        panel->open();
    });
}

void QuillonAppDelegate::addFolder()
{
    guarded("Error in (addFolder:) : %1", [&] {
        endEditing();
        auto *panel = new OpenPanel(m_window.get());
        panel->setObjectName(QStringLiteral("addFolderPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setWindowTitle(tr("Add Folder"));
        panel->setCanChooseFiles(false);
        panel->setCanChooseDirectories(true);
        panel->setResolvesAliases(true);
        panel->setAllowsMultipleSelection(true);
        panel->setMessage(QStringLiteral("Select folder(s) contains Image or TIFF File(s):"));
        panel->setAllowedFileTypes(allowedFileTypes());
        connect(panel, &QDialog::finished, this, [this, panel](int result) { openPanelDidEnd(panel, result); });
        panel->open();
    });
}

void QuillonAppDelegate::openPanelDidEnd(OpenPanel *panel, int returnCode)
{
    guarded("Error in (openPanelDidEnd:returnCode:contextInfo:) : %1", [&] {
        if (!panel || returnCode != QDialog::Accepted)
            return;
        QStringList folders;
        for (const QString &path : panel->chosenPaths()) {
            if (QFileInfo(path).isDir())
                folders << path;
        }
        if (m_edition->keepsRecentFolders())
            addRecentItem(folders);
        loadURLs(Arguments{panel->chosenURLs(), panel->canChooseDirectories(), inculdeSubfolders()});
    });
}

bool QuillonAppDelegate::validateDrop(const QMimeData *data, QObject *source)
{
    CustomTableView *table = m_ui->mainTableView;
    if (source && (source == table || source == table->viewport()))
        return false;
    if (!data || !data->hasUrls())
        return false;
    // One job at a time; the list is disabled meanwhile anyway.
    return !isLoading() && m_commands.viewEnabled;
}

bool QuillonAppDelegate::acceptDrop(const QMimeData *data)
{
    guarded("Error in (acceptDrop:) : %1", [&] {
        if (!data || !data->hasUrls() || isLoading())
            return;
        addLikeDrop(data->urls());
    });
    // The files arrive through the job, never through the drop itself.
    return false;
}

void QuillonAppDelegate::openFiles(const QStringList &paths)
{
    m_pendingPaths << paths;
    addPendingPaths();
}

void QuillonAppDelegate::addPendingPaths()
{
    // A dialog of the window may still hand over its own files (the import
    // sheet); a job started behind it would make it lose them.
    if (m_pendingPaths.isEmpty() || !m_awake || m_quitting || isLoading() || m_commands.running || !m_commands.viewEnabled
        || QApplication::activeModalWidget())
        return;
    QList<QUrl> urls;
    for (const QString &path : std::exchange(m_pendingPaths, {}))
        urls << QUrl::fromLocalFile(path);
    guarded("Error in (openFiles:) : %1", [&] { addLikeDrop(urls); });
}

bool QuillonAppDelegate::addLikeDrop(const QList<QUrl> &dropped)
{
    endEditing();
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
    if (m_edition->keepsRecentFolders())
        addRecentItem(folders);
    m_edition->dropBegins();
    return loadURLs(Arguments{urls, true, inculdeSubfolders()});
}

bool QuillonAppDelegate::loadURLs(const Arguments &arguments)
{
    if (m_loadThread)
        return false;
    m_loadStart = QDateTime::currentDateTime();
    resetView(false);
    startProcess();
    updateTimeTakenLabel(QStringLiteral("Total Time Taken : %1 %2/%3").arg(QStringLiteral("In Process...")).arg(0).arg(0));

    QSet<QString> known;
    known.reserve(m_files.size());
    for (const FileItemPtr &item : std::as_const(m_files))
        known.insert(item->filePath().toString());
    m_loadJob = std::make_unique<FileSystemHelper>(&m_isProcessing, std::move(known));
    FileSystemHelper *job = m_loadJob.get();
    m_loadThread = QThread::create([job, arguments] { job->loadURLs(arguments); });
    m_loadThread->setObjectName(QStringLiteral("file-adding"));
    connect(m_loadThread, &QThread::finished, this, &QuillonAppDelegate::finishLoad);
    m_ui->cancelBtn->setVisible(true);
    m_ui->loadingLabel->setText(tr("Reading files..."));
    m_ui->loadingLabel->setVisible(true);
    m_loadProgressTimer->start();
    m_loadThread->start();
    return true;
}

void QuillonAppDelegate::updateLoadingProgress()
{
    if (m_loadJob)
        m_ui->loadingLabel->setText(tr("Reading files... %L1").arg(m_loadJob->itemCount()));
}

void QuillonAppDelegate::finishLoad()
{
    if (!m_loadThread)
        return;
    m_edition->loadEnded();
    m_loadThread->wait();
    delete m_loadThread;
    m_loadThread = nullptr;
    m_loadProgressTimer->stop();
    QList<FileItemPtr> items = m_loadJob ? m_loadJob->takeItems() : QList<FileItemPtr>();
    m_loadJob.reset();

    guarded("Error in (loadURLs:) : %1", [&] {
        // The list can't have changed meanwhile (the window was disabled), but
        // an item is never listed twice whatever happened.
        QSet<QString> known;
        known.reserve(m_files.size());
        for (const FileItemPtr &item : std::as_const(m_files))
            known.insert(item->filePath().toString());
        items.removeIf([&known](const FileItemPtr &item) {
            const QString key = item->filePath().toString();
            if (known.contains(key))
                return true;
            known.insert(key);
            return false;
        });
        if (!items.isEmpty()) {
            m_model->appendItems(items);
            m_model->sortBySortDescriptors();
        }
    });
    m_ui->cancelBtn->setVisible(false);
    m_ui->loadingLabel->setVisible(false);
    stopProcess();
    resetView(true);
    updateTimeTakenLabel(QStringLiteral("Total Time Taken : %1 %2/%3")
                             .arg(timeTakenString(m_loadStart, QDateTime::currentDateTime()))
                             .arg(0)
                             .arg(0));
    emit loadFinished();
    // Paths that came while this job ran are a job of their own.
    if (!m_pendingPaths.isEmpty())
        QTimer::singleShot(0, this, &QuillonAppDelegate::addPendingPaths);
}

} // namespace quillon
