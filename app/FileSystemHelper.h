#pragma once
#include "app/Arguments.h"
#include "core/FileItem.h"

#include <QList>
#include <QSet>
#include <QString>

#include <atomic>

namespace quillon {

// One file-adding job: turns the URLs of an Arguments record into file items,
// scanning folders when asked. Runs on a worker thread and touches nothing of
// the window: the items it makes are collected here and appended to the list
// by the window on the main thread when the job is done.
//
// The job stops at the next file or folder entry once `keepRunning` (the
// window's isProcessing flag) reads false; the items made until then are kept.
// A URL whose text is in `knownUrls` (the list's items when the job started,
// then every item made) is skipped without opening the file.
class FileSystemHelper {
public:
    FileSystemHelper(const std::atomic<bool> *keepRunning, QSet<QString> knownUrls);

    // Worker thread. Never throws; failures are written to the system log.
    void loadURLs(const Arguments &arguments);
    // Both return true when they made at least one new item.
    bool addFolderToList(const QList<QUrl> &urls, bool includeSubdirectories);
    bool addFilesToList(const QList<QUrl> &urls);

    // How many items were made so far (any thread).
    int itemCount() const { return m_count.load(std::memory_order_relaxed); }
    // After the job: the new items in the order they were made.
    QList<FileItemPtr> takeItems();

    // The text an item made from url compares by (FileItem equality).
    static QString urlKey(const QUrl &url);

private:
    bool keepGoing() const { return !m_keepRunning || m_keepRunning->load(std::memory_order_relaxed); }
    void addURL(const QUrl &url);

    const std::atomic<bool> *m_keepRunning;
    QSet<QString> m_known;
    QList<FileItemPtr> m_items;
    std::atomic<int> m_count{0};
};

} // namespace quillon
