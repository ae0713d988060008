#include "core/ImportList.h"

#include <QDir>
#include <QRegularExpression>
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
        QString absolute = QDir::isAbsolutePath(line) ? line : current.absoluteFilePath(line);
        // "//name/..." is "/name/..." here, not a host of a network address (which
        // may not even be a valid host name).
        if (absolute.startsWith(QLatin1String("//")))
            absolute = QLatin1Char('/') + absolute.mid(absolute.indexOf(QRegularExpression(QStringLiteral("[^/]"))));
        const QUrl url = QUrl::fromLocalFile(absolute);
        if (!url.isValid() || !url.isLocalFile())
            continue;
        if (!seen.contains(url)) {
            seen.insert(url);
            files.append(url);
        }
    }
    return files;
}

} // namespace quillon
