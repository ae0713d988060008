#include "app/DesktopIntegration.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QSet>

namespace quillon {
namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");
const QString kPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kOpenAction = QStringLiteral("open");
const QString kDefaultAction = QStringLiteral("default");

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

// Asks the file manager without waiting for it: asking the bus first whether
// one is there would block the window, and starting one can take a while.
// When the call fails (none there, none can be started), the files' folders
// are opened instead.
bool busCall(const QString &method, const QStringList &uris, const std::function<bool(const QUrl &)> &open)
{
    QStringList paths;
    for (const QString &uri : uris)
        paths << QUrl(uri).toLocalFile();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return openFolders(paths, open);
    QDBusMessage msg = QDBusMessage::createMethodCall(kService, kPath, kService, method);
    msg << uris << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(msg, 10000));
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

// The notifications this program has open, and what their actions do. The
// server tells every client of every action, so ids are matched here.
class NotificationActions : public QObject {
    Q_OBJECT
public:
    static NotificationActions *instance()
    {
        static QPointer<NotificationActions> actions;
        if (!actions)
            actions = new NotificationActions(QCoreApplication::instance());
        return actions;
    }

    void add(uint id, const DesktopNotification &notification) { m_open.insert(id, notification); }

public slots:
    void actionInvoked(uint id, const QString &key)
    {
        const DesktopNotification n = m_open.value(id);
        if (key == kOpenAction && n.onAction)
            n.onAction();
        else if (key == kDefaultAction && n.onActivate)
            n.onActivate();
    }
    void notificationClosed(uint id, uint) { m_open.remove(id); }

private:
    explicit NotificationActions(QObject *parent)
        : QObject(parent)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        // QtDBus connects bus signals by slot signature only.
        bus.connect(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString)));
        bus.connect(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("NotificationClosed"), this,
                    SLOT(notificationClosed(uint, uint)));
    }

    QHash<uint, DesktopNotification> m_open;
};

bool busNotify(const DesktopNotification &notification)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    NotificationActions *actions = NotificationActions::instance();
    QStringList keys;
    if (notification.onActivate)
        keys << kDefaultAction << QCoreApplication::translate("DesktopIntegration", "Show");
    if (!notification.actionLabel.isEmpty())
        keys << kOpenAction << notification.actionLabel;
    QVariantMap hints;
    const QString entry = QGuiApplication::desktopFileName();
    if (!entry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), entry);
    hints.insert(QStringLiteral("category"), QStringLiteral("transfer.complete"));
    QDBusMessage msg = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("Notify"));
    msg << QGuiApplication::applicationDisplayName() << uint(0) << QStringLiteral("quillon-converter")
        << notification.summary << notification.body << keys << hints << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(msg, 10000), actions);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, actions, [watcher, actions, notification] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (!reply.isError())
            actions->add(reply.value(), notification);
        watcher->deleteLater();
    });
    return true;
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
    d.notify = busNotify;
    return d;
}

DesktopIntegration DesktopIntegration::system()
{
    const auto open = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    return system([open](const QString &method, const QStringList &uris) { return busCall(method, uris, open); });
}

} // namespace quillon

#include "DesktopIntegration.moc"
