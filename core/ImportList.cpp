#include "core/ImportList.h"

#include <QDir>
#include <QSet>

namespace quillon {

QList<QUrl> importedPaths(const QString &text, const QStringList &acceptedTypes, const QString &currentFolder)
{
    QList<QUrl> files;
    if (text.isEmpty())
        return files;
    QSet<QUrl> seen;
    const QDir current(currentFolder);
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString last = line.section(QLatin1Char('/'), -1);
        const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
        if (dot <= 0)
            continue;
        if (!acceptedTypes.contains(last.mid(dot + 1).toUpper()))
            continue;
        const QString absolute = QDir::isAbsolutePath(line) ? line : current.absoluteFilePath(line);
        const QUrl url = QUrl::fromLocalFile(absolute);
        if (!seen.contains(url)) {
            seen.insert(url);
            files.append(url);
        }
    }
    return files;
}

} // namespace quillon
