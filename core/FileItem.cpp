#include "core/FileItem.h"

#include "core/image/ImageSource.h"

#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <sys/stat.h>

namespace quillon {

FileItemPtr FileItem::initWithURL(const QUrl &url)
{
    if (url.isEmpty() || !url.isLocalFile())
        return nullptr;
    auto item = std::make_shared<FileItem>();
    item->setFilePath(QUrl(url.toString(QUrl::FullyEncoded)));
    return item;
}

FileItemPtr FileItem::deferred(const QString &localPath)
{
    if (localPath.isEmpty())
        return nullptr;
    auto item = std::make_shared<FileItem>();
    item->m_filePath = QUrl::fromLocalFile(localPath);
    item->m_path = localPath;
    item->m_sizeDeferred = true;
    item->m_pagesDeferred = true;
    return item;
}

void FileItem::setFilePath(const QUrl &url)
{
    m_filePath = url;
    m_path = url.toLocalFile();
    m_sizeDeferred = true;
    m_pagesDeferred = true;
    measureSize();
    countPages();
}

void FileItem::measureSize()
{
    if (!m_sizeDeferred)
        return;
    m_sizeDeferred = false;
    m_size = 0;
    struct stat st {};
    if (!m_path.isEmpty() && ::stat(QFile::encodeName(m_path).constData(), &st) == 0)
        m_size = qint64(st.st_blocks) * 512;
}

void FileItem::countPages()
{
    if (!m_pagesDeferred)
        return;
    m_pagesDeferred = false;
    m_pages = getTiffPageCount(m_filePath);
}

namespace {
// The path without trailing separators, and where its last component starts.
std::pair<QString, qsizetype> splitPath(QString p)
{
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return {p, p.lastIndexOf(QLatin1Char('/'))};
}
} // namespace

QString FileItem::name() const
{
    if (m_path.isEmpty())
        return QString();
    const auto [p, slash] = splitPath(m_path);
    return slash < 0 ? p : p.mid(slash + 1);
}

QString FileItem::location() const
{
    if (m_path.isEmpty())
        return QString();
    const auto [p, slash] = splitPath(m_path);
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : p.left(slash);
}

bool FileItem::isMultiPageFile() const
{
    // TIFF and the HEIF family, whose top-level images are pages.
    static const QStringList types = QStringLiteral("TIF,TIFF,HEIC,HEIF,HIF,AVIF").split(QLatin1Char(','));
    return types.contains(type().toUpper());
}

QString FileItem::type() const
{
    const QString n = name();
    const qsizetype dot = n.lastIndexOf(QLatin1Char('.'));
    // A leading dot names a hidden file, not an extension.
    if (dot <= 0 || dot == n.size() - 1)
        return QString();
    return n.mid(dot + 1);
}

QString FileItem::sizeText(qint64 bytes)
{
    static const char *const units[] = {"B", "KB", "MB", "GB", "TB", "PB", "EB"};
    float v = float(bytes);
    int i = 0;
    while (v > 1000.0f && i < 6) {
        v = v / 1000.0f;
        ++i;
    }
    if (i <= 1)
        return QStringLiteral("%1 KB").arg(qint64(std::roundf(float(bytes) / 1000.0f)));
    const QString unit = QLatin1String(units[i]);
    const QString formatted = QString::asprintf("%4.1f", double(v));
    const QStringList pieces = QString(formatted).replace(QLatin1Char('.'), QLatin1Char('/')).split(QLatin1Char('/'));
    if (pieces.size() == 2 && pieces.at(1).toInt() == 0)
        return pieces.at(0) + QLatin1Char(' ') + unit;
    return formatted + QLatin1Char(' ') + unit;
}

QString FileItem::sizeInKB() const { return sizeText(m_size); }

QDateTime FileItem::dateModified() const
{
    if (m_path.isEmpty())
        return {};
    const QFileInfo info(m_path);
    return info.exists() ? info.lastModified() : QDateTime();
}

QDateTime FileItem::dateCreated() const
{
    if (m_path.isEmpty())
        return {};
    const QFileInfo info(m_path);
    if (!info.exists())
        return {};
    // Not every file system records a birth time; then there is no date to show
    // (the status-change time would pass for one and mislead).
    return info.birthTime();
}

QDateTime FileItem::dateAccessed() const
{
    if (m_path.isEmpty())
        return {};
    const QFileInfo info(m_path);
    return info.exists() ? info.lastRead() : QDateTime();
}

QString FileItem::dateText(const QDateTime &date)
{
    if (!date.isValid())
        return QString();
    return QLocale().toString(date.toLocalTime(), QStringLiteral("dd-MMM-yyyy h:mm AP"));
}

QVariant FileItem::displayField(const QString &key) const
{
    const QString k = key.toUpper();
    if (k == QLatin1String("ISSELECTED"))
        return isSelected;
    if (k == QLatin1String("NAME"))
        return name();
    if (k == QLatin1String("PAGES"))
        return m_pages;
    if (k == QLatin1String("SELECTION"))
        return m_selection.description();
    if (k == QLatin1String("SIZEINKB"))
        return sizeInKB();
    if (k == QLatin1String("TYPE"))
        return type();
    if (k == QLatin1String("DATEMODIFIED"))
        return dateText(dateModified());
    if (k == QLatin1String("DATECREATED"))
        return dateText(dateCreated());
    if (k == QLatin1String("DATEACCESSED"))
        return dateText(dateAccessed());
    if (k == QLatin1String("LOCATION"))
        return location();
    return QString();
}

bool FileItem::isEqual(const FileItem *other) const
{
    if (other == this)
        return true;
    if (!other)
        return false;
    return m_filePath.toString() == other->m_filePath.toString();
}

int getTiffPageCount(const QUrl &url)
{
    if (url.isEmpty() || !url.isLocalFile())
        return 0;
    return image::countImages(url.toLocalFile());
}

} // namespace quillon
