#include "app/DesktopIntegration.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QSet>

namespace quillon {
namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");
const QString kPath = QStringLiteral("/org/freedesktop/FileManager1");

bool openFolders(const QStringList &paths, const std::function<bool(const QUrl &)> &open)
{
    QSet<QString> seen;
    bool any = false;
    for (const QString &p : paths) {
        const QString folder = QFileInfo(p).absolutePath();
        if (seen.contains(folder))
            continue;
        seen.insert(folder);
        any = open(QUrl::fromLocalFile(folder)) || any;
    }
    return any;
}

// Asks the file manager without waiting for it (starting one can take a
// while); when the call fails, the files' folders are opened instead.
bool busCall(const QString &method, const QStringList &uris, const std::function<bool(const QUrl &)> &open)
{
    QStringList paths;
    for (const QString &uri : uris)
        paths << QUrl(uri).toLocalFile();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const bool available = bus.isConnected() && bus.interface()
        && (bus.interface()->isServiceRegistered(kService).value() || bus.interface()->activatableServiceNames().value().contains(kService));
    if (!available)
        return openFolders(paths, open);
    QDBusMessage msg = QDBusMessage::createMethodCall(kService, kPath, kService, method);
    msg << uris << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(msg, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, paths, open] {
        if (watcher->isError())
            openFolders(paths, open);
        watcher->deleteLater();
    });
    return true;
}

QStringList fileUris(const QStringList &paths)
{
    QStringList uris;
    for (const QString &p : paths)
        uris << QUrl::fromLocalFile(p).toString(QUrl::FullyEncoded);
    return uris;
}

} // namespace

DesktopIntegration DesktopIntegration::system(FileManagerCall call)
{
    DesktopIntegration d;
    d.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    d.showItems = [call](const QStringList &paths) { return !paths.isEmpty() && call(QStringLiteral("ShowItems"), fileUris(paths)); };
    d.showItemProperties = [call](const QStringList &paths) {
        return !paths.isEmpty() && call(QStringLiteral("ShowItemProperties"), fileUris(paths));
    };
    return d;
}

DesktopIntegration DesktopIntegration::system()
{
    const auto open = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    return system([open](const QString &method, const QStringList &uris) { return busCall(method, uris, open); });
}

} // namespace quillon
