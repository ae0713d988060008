#include "app/FileSystemHelper.h"

#include "core/FolderScan.h"
#include "core/SystemLog.h"

#include <QFileInfo>

#include <algorithm>
#include <exception>

namespace quillon {

FileSystemHelper::FileSystemHelper(const std::atomic<bool> *keepRunning, QSet<QString> knownUrls)
    : m_keepRunning(keepRunning)
    , m_known(std::move(knownUrls))
{
}

QString FileSystemHelper::urlKey(const QUrl &url)
{
    // FileItem::initWithURL keeps the fully encoded form; equality compares its text.
    return QUrl(url.toString(QUrl::FullyEncoded)).toString();
}

QList<FileItemPtr> FileSystemHelper::takeItems()
{
    m_count = 0;
    return std::exchange(m_items, {});
}

void FileSystemHelper::addURL(const QUrl &url)
{
    const QString key = urlKey(url);
    if (m_known.contains(key))
        return;
    FileItemPtr item = FileItem::initWithURL(url);
    if (!item)
        return;
    m_known.insert(key);
    m_items.append(item);
    m_count.fetch_add(1, std::memory_order_relaxed);
}

void FileSystemHelper::loadURLs(const Arguments &arguments)
{
    try {
        if (arguments.isFolders)
            addFolderToList(arguments.urls, arguments.isIncludeSubdirectories);
        else
            addFilesToList(arguments.urls);
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (loadURLs:) : %1").arg(exceptionReason(&e)));
    } catch (...) {
        logError(QStringLiteral("Error in (loadURLs:) : %1").arg(exceptionReason(nullptr)));
    }
}

bool FileSystemHelper::addFolderToList(const QList<QUrl> &urls, bool includeSubdirectories)
{
    const qsizetype before = m_items.size();
    try {
        for (const QUrl &url : urls) {
            if (!keepGoing())
                break;
            const QString path = url.toLocalFile();
            const QFileInfo info(path);
            if (!info.isDir()) {
                if (isAllowedFileType(path))
                    addURL(url);
                continue;
            }
            // The walk itself is cheap and cancellable; the names are put in
            // counting order before the costly part, opening every file.
            QStringList found;
            scanFolder(info.absoluteFilePath(), includeSubdirectories, [this] { return keepGoing(); },
                       [&found](const QString &f) { found.append(f); });
            std::sort(found.begin(), found.end(), naturalLess);
            for (const QString &f : std::as_const(found)) {
                if (!keepGoing())
                    break;
                addURL(QUrl::fromLocalFile(f));
            }
        }
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (addFolderToList:) : %1").arg(exceptionReason(&e)));
    } catch (...) {
        logError(QStringLiteral("Error in (addFolderToList:) : %1").arg(exceptionReason(nullptr)));
    }
    return m_items.size() != before;
}

bool FileSystemHelper::addFilesToList(const QList<QUrl> &urls)
{
    const qsizetype before = m_items.size();
    try {
        for (const QUrl &url : urls) {
            if (!keepGoing())
                break;
            addURL(url);
        }
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (addFilesToList:) : %1").arg(exceptionReason(&e)));
    } catch (...) {
        logError(QStringLiteral("Error in (addFilesToList:) : %1").arg(exceptionReason(nullptr)));
    }
    return m_items.size() != before;
}

} // namespace quillon
