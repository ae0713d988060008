#include "core/FolderScan.h"

#include <QCollator>
#include <QDirIterator>
#include <QFileInfo>

namespace quillon {

const QStringList &allowedFileTypes()
{
    static const QStringList types = QStringLiteral("bmp,BMP,jpg,JPG,jpeg,JPEG,png,PNG,gif,GIF,tif,TIF,tiff,TIFF").split(QLatin1Char(','));
    return types;
}

bool isAllowedFileType(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) // no dot, or only the dot of a hidden name
        return false;
    return allowedFileTypes().contains(path.mid(dot + 1));
}

void scanFolder(const QString &folder, bool includeSubdirectories,
                const std::function<bool()> &keepGoing,
                const std::function<void(const QString &)> &add)
{
    // Without QDir::Hidden the iterator neither lists nor descends into dot-entries.
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    includeSubdirectories ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (true) {
        if (keepGoing && !keepGoing())
            return;
        if (!it.hasNext())
            return;
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir())
            continue;
        if (isAllowedFileType(info.filePath()))
            add(info.filePath());
    }
}

bool naturalLess(const QString &a, const QString &b)
{
    thread_local QCollator collator = [] {
        QCollator c;
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    const int r = collator.compare(a, b);
    if (r != 0)
        return r < 0;
    return a < b; // stable tie-break for names equal but for case
}

} // namespace quillon
