#include "windows/HelpDocument.h"

#include "core/SystemLog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace quillon {

QString helpDocumentName(int edition)
{
    return edition == 1 ? QStringLiteral("MACQuillon1.pdf") : QStringLiteral("MACQuillon2.pdf");
}

QStringList helpDocumentFolders()
{
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir, QDir::cleanPath(dir + QStringLiteral("/../share/quillon-converter"))};
}

QString helpDocumentPath(int edition, const QStringList &folders)
{
    const QString name = helpDocumentName(edition);
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        const QFileInfo info(QDir(folder).filePath(name));
        if (info.isFile() && info.isReadable())
            return info.absoluteFilePath();
    }
    return QString();
}

bool helpAction(int edition, const HyperlinkButton::UrlOpener &opener, const QStringList &folders)
{
    const QString path = helpDocumentPath(edition, folders);
    if (path.isEmpty()) {
        logError(QStringLiteral("Error in [helpAction:] : The help document %1 was not found in %2.")
                     .arg(helpDocumentName(edition), folders.join(QStringLiteral(", "))));
        return false;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const bool opened = opener ? opener(url) : QDesktopServices::openUrl(url);
    if (!opened)
        logError(QStringLiteral("Error in [helpAction:] : No application could open %1.").arg(path));
    return opened;
}

} // namespace quillon
