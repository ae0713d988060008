#pragma once
#include "core/SelectionRange.h"

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <memory>

namespace quillon {

class FileItem;
using FileItemPtr = std::shared_ptr<FileItem>;

// One source image of the file list. Made on the file-adding thread (opening
// the file once to count its pages); read and edited on the main thread after.
// Size and page count are fixed when the item is made (or, for a deferred
// item, when first measured); the dates are read from the file system each
// time they are asked for.
class FileItem {
public:
    // Nothing for an empty or non-file URL. A file that does not exist still
    // makes an item (size 0, 0 pages).
    static FileItemPtr initWithURL(const QUrl &url);
    // An item for a local path that touches no file yet: size and pages stay
    // 0 until measureSize() and countPages() (a run of thousands of machines
    // must not stat what another machine converts). Null for an empty path.
    static FileItemPtr deferred(const QString &localPath);
    // Each reads the file once, the first time; nothing for other items. Not
    // thread-safe: call from the thread that plans or runs.
    void measureSize();
    void countPages();

    bool isSelected = true;

    const QUrl &filePath() const { return m_filePath; }
    void setFilePath(const QUrl &url);
    QString path() const { return m_path; } // local path of filePath

    int pages() const { return m_pages; }
    qint64 size() const { return m_size; } // allocated bytes on disk (64-bit: large files keep their size)

    const SelectionRange &selection() const { return m_selection; }
    SelectionRange &selection() { return m_selection; }
    void setSelection(const SelectionRange &s) { m_selection = s; }

    QString name() const;
    QString location() const;
    QString type() const;
    // TIF and TIFF files may hold many pages and carry a page selection.
    bool isMultiPageFile() const;
    QString sizeInKB() const;
    QDateTime dateModified() const;
    QDateTime dateCreated() const;
    QDateTime dateAccessed() const;
    QString combineMethod() const { return m_selection.description(); }

    // Value of a file-list column (key in any letter case); empty text for an unknown key.
    QVariant displayField(const QString &key) const;

    bool isEqual(const FileItem *other) const;

    static QString sizeText(qint64 bytes);
    static QString dateText(const QDateTime &date);

private:
    QUrl m_filePath;
    QString m_path;
    int m_pages = 0;
    qint64 m_size = 0;
    bool m_sizeDeferred = false;
    bool m_pagesDeferred = false;
    SelectionRange m_selection;
};

// Number of images in the file without decoding them; 0 when it is no image.
int getTiffPageCount(const QUrl &url);

} // namespace quillon
