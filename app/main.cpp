#include "app/QuillonAppDelegate.h"
#include "core/AppFolders.h"
#include "windows/AppImages.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvanta"));
    QApplication::setApplicationName(QStringLiteral("QuillonConverter%1").arg(QUILLON_EDITION));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon Converter"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    // Matches the installed menu entry, so desktops show its icon and name.
    QGuiApplication::setDesktopFileName(QUILLON_EDITION == 1 ? QStringLiteral("quillon-converter1") : QStringLiteral("quillon-converter"));
    QApplication::setWindowIcon(quillon::applicationIcon());
    quillon::setEdition(QUILLON_EDITION);

    quillon::QuillonAppDelegate delegate;
    if (!delegate.awakeFromNib())
        return 0; // the licence agreement was declined
    QTimer::singleShot(0, &delegate, &quillon::QuillonAppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
