// The import of a pasted or read list of paths.
#include "core/ImportList.h"

#include <QSet>

#include <cstdlib>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QStringList types = QStringLiteral("BMP,JPG,JPEG,PNG,GIF,TIF,TIFF").split(QLatin1Char(','));
    const QList<QUrl> urls = importedPaths(text, types, QStringLiteral("/base/folder"));
    if (urls.size() > text.count(QLatin1Char('\n')) + 1)
        abort(); // at most one path a line
    QSet<QUrl> seen;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile() || seen.contains(url))
            abort();
        seen.insert(url);
    }
    return 0;
}
