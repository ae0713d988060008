#include "core/RetryList.h"

#include "core/Process.h"

#include <QSet>

namespace quillon {

QStringList failedSources(const Log &log)
{
    QStringList paths;
    QSet<QString> seen;
    auto add = [&](const QString &path) {
        if (!path.isEmpty() && !seen.contains(path)) {
            seen.insert(path);
            paths.append(path);
        }
    };
    for (const LogFilesPtr &file : log.files) {
        if (file->status == Process::kSkippedExisting || file->status == Process::kSkippedInRun)
            continue;
        // A retry rebuilds the file from the sources listed, replacing it: a
        // file that lost anything lists all its sources, or the retry would
        // make it of the lost ones alone.
        bool lost = file->status != QLatin1String("Completed");
        for (const LogFilePtr &page : file->logFiles)
            lost = lost || page->status != QLatin1String("Completed");
        if (lost)
            for (const LogFilePtr &page : file->logFiles)
                add(page->sourceFile);
    }
    return paths;
}

QByteArray importListText(const QStringList &paths, QStringList *left)
{
    QByteArray text;
    for (const QString &path : paths) {
        if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'))) {
            if (left)
                left->append(path);
            continue;
        }
        text += path.toUtf8();
        text += '\n';
    }
    return text;
}

} // namespace quillon
