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
        // A file that was not written takes its converted pages with it.
        const bool written = file->status == QLatin1String("Completed");
        for (const LogFilePtr &page : file->logFiles)
            if (!written || page->status != QLatin1String("Completed"))
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
