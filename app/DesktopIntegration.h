#pragma once
#include <QStringList>
#include <QUrl>

#include <functional>

namespace quillon {

// A desktop notification with one action besides clicking it.
struct DesktopNotification {
    QString summary;
    QString body;
    QString actionLabel;              // the action's button; none when empty
    std::function<void()> onAction;   // its button was chosen
    std::function<void()> onActivate; // the notification itself was clicked
};

// What the window asks of the desktop: opening files, folders and web pages,
// showing files in the file manager and their properties. Each function
// answers whether the request was handed over. Tests replace them so that no
// real application is started.
struct DesktopIntegration {
    std::function<bool(const QUrl &)> openUrl;
    // Shows the files selected in the file manager.
    std::function<bool(const QStringList &paths)> showItems;
    // Opens the file manager's properties window of the files.
    std::function<bool(const QStringList &paths)> showItemProperties;
    // Shows a notification; the callbacks run on the main thread later.
    std::function<bool(const DesktopNotification &)> notify;

    // The real desktop: QDesktopServices for opening; the freedesktop
    // org.freedesktop.FileManager1 D-Bus service for showing files, falling back
    // to opening the files' folders when no file manager answers; the
    // org.freedesktop.Notifications service for notifications. No D-Bus call
    // waits for its answer.
    static DesktopIntegration system();

    // One call of the file manager's D-Bus interface: the method and the
    // files' URIs; false when it could not be made.
    using FileManagerCall = std::function<bool(const QString &method, const QStringList &uris)>;
    // The real desktop's forms, with the file manager reached through `call`
    // (tests record what would be sent; the URIs travel as D-Bus arguments,
    // so no character of a file name can change the request).
    static DesktopIntegration system(FileManagerCall call);
};

} // namespace quillon
