#include "core/AppFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>

namespace quillon {
namespace {
std::atomic<int> g_edition{2};
}

void setEdition(int e) { g_edition = (e == 1) ? 1 : 2; }
int edition() { return g_edition; }

QString getAppPath()
{
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    if (dirs.isEmpty())
        return QString();
    const QString program = edition() == 1 ? QStringLiteral("QuillonConverter1") : QStringLiteral("QuillonConverter2");
    return QDir::cleanPath(dirs.first() + QStringLiteral("/Orvanta/") + program);
}

bool createApplicationUsersFolder(const QString &subPath, QString *error)
{
    const QString base = getAppPath();
    // Without a support folder the path stays relative, as callers expect.
    const QString path = base.isEmpty() ? subPath
        : subPath.isEmpty()             ? base
                                        : QDir::cleanPath(base + QLatin1Char('/') + subPath);
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (info.exists() && info.isDir())
        return true;
    if (info.exists()) {
        if (error)
            *error = QStringLiteral("A file with the name \u201c%1\u201d already exists.").arg(path);
        return false;
    }
    if (!QDir().mkpath(path)) {
        if (error)
            *error = QStringLiteral("You don\u2019t have permission to create the folder \u201c%1\u201d.").arg(path);
        return false;
    }
    return true;
}

QString getAppTitle(const QString &suffix)
{
    return QStringLiteral("Quillon Converter") + suffix;
}

} // namespace quillon
