#include "core/image/ImageSource.h"

#include "core/image/CodecSources.h"
#include "core/image/FormatSniffer.h"
#include "core/image/QtImageSource.h"
#include "core/image/TiffSource.h"

#include <QFile>
#include <QFileInfo>

namespace quillon::image {

using namespace detail;

std::unique_ptr<ImageSource> ImageSource::open(const QString &path, QString *error)
{
    QString ignored;
    QString &why = error ? *error : ignored;
    const QFileInfo fi(path);
    if (!fi.exists()) {
        why = QStringLiteral("file not found");
        return nullptr;
    }
    if (!fi.isFile()) {
        why = QStringLiteral("not a file");
        return nullptr;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        why = f.errorString();
        return nullptr;
    }
    const QByteArray head = f.read(32);
    f.close();
    if (head.isEmpty()) {
        why = QStringLiteral("empty file");
        return nullptr;
    }
    const FileFormat format = sniffFormat(head);
    switch (format) {
    case FileFormat::Tiff:
        return openTiffSource(path, &why);
    case FileFormat::Png:
    case FileFormat::Jpeg:
    case FileFormat::Bmp:
    case FileFormat::Gif:
        return openQtSource(path, format, &why);
    case FileFormat::Heif:
        return openHeifSource(path, &why);
    case FileFormat::Webp:
        return openWebpSource(path, &why);
    case FileFormat::Jxl:
        return openJxlSource(path, &why);
    case FileFormat::Unknown:
        break;
    }
    why = QStringLiteral("not a BMP, JPEG, PNG, GIF, TIFF, HEIF, AVIF, WebP or JPEG XL image");
    return nullptr;
}

int countImages(const QString &path)
{
    switch (sniffFile(path)) {
    case FileFormat::Tiff:
        return countTiffDirectories(path);
    case FileFormat::Gif: {
        // Frames read whole before a damaged tail still count.
        HeaderInfo info;
        QString ignored;
        readHeader(path, FileFormat::Gif, &info, &ignored, true);
        return info.gifFrames;
    }
    case FileFormat::Png:
    case FileFormat::Jpeg:
    case FileFormat::Bmp:
        return 1;
    case FileFormat::Heif:
        return countHeifImages(path);
    case FileFormat::Webp:
        return countWebpFrames(path);
    case FileFormat::Jxl:
        return countJxlFrames(path);
    case FileFormat::Unknown:
        break;
    }
    return 0;
}

} // namespace quillon::image
