#pragma once
#include <QStringList>
#include <QUrl>

#include <functional>

namespace quillon {

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

    // The real desktop: QDesktopServices for opening; the freedesktop
    // org.freedesktop.FileManager1 D-Bus service for showing files, falling back
    // to opening the files' folders when no file manager answers.
    static DesktopIntegration system();
};

} // namespace quillon
