#include "core/FolderScan.h"

#include <QDirIterator>
#include <QFileInfo>

namespace quillon {

// Formats added later, read through their own libraries: any letter case.
const QStringList &laterFileTypes()
{
    static const QStringList types = QStringLiteral("heic,heif,hif,avif,webp,jxl").split(QLatin1Char(','));
    return types;
}

const QStringList &allowedFileTypes()
{
    static const QStringList types = [] {
        QStringList t = QStringLiteral("bmp,BMP,jpg,JPG,jpeg,JPEG,png,PNG,gif,GIF,tif,TIF,tiff,TIFF").split(QLatin1Char(','));
        for (const QString &later : laterFileTypes())
            t << later << later.toUpper();
        return t;
    }();
    return types;
}

bool isAllowedFileType(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) // no dot, or only the dot of a hidden name
        return false;
    const QString ext = path.mid(dot + 1);
    return allowedFileTypes().contains(ext) || laterFileTypes().contains(ext.toLower());
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

namespace {
bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// -1, 0 or 1: digit runs compare by value, other runs ignoring case. Done by
// hand because collators in the C locale give up numeric ordering.
int naturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a.at(i)) && isDigit(b.at(j))) {
            qsizetype ie = i, je = j;
            while (ie < a.size() && isDigit(a.at(ie)))
                ++ie;
            while (je < b.size() && isDigit(b.at(je)))
                ++je;
            qsizetype is = i, js = j; // skip leading zeros for the value
            while (is < ie - 1 && a.at(is) == QLatin1Char('0'))
                ++is;
            while (js < je - 1 && b.at(js) == QLatin1Char('0'))
                ++js;
            const qsizetype la = ie - is, lb = je - js;
            if (la != lb)
                return la < lb ? -1 : 1;
            const int c = QStringView(a).mid(is, la).compare(QStringView(b).mid(js, lb));
            if (c != 0)
                return c < 0 ? -1 : 1;
            i = ie;
            j = je;
            continue;
        }
        const QChar ca = a.at(i).toCaseFolded();
        const QChar cb = b.at(j).toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}
} // namespace

bool naturalLess(const QString &a, const QString &b)
{
    const int r = naturalCompare(a, b);
    if (r != 0)
        return r < 0;
    return a < b; // a stable order for names equal but for case or leading zeros
}

} // namespace quillon
