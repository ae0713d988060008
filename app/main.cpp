#include "app/QuillonAppDelegate.h"
#include "core/AppFolders.h"
#include "windows/AppImages.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A terminate request (logout, kill) ends the program the way Quit does, so
// the recent folders and settings are saved and a run is cancelled cleanly.
int g_signalPipe[2] = {-1, -1};

void onTerminateSignal(int)
{
    const char byte = 1;
    if (::write(g_signalPipe[0], &byte, 1) < 0) {
        // Nothing can be done inside a signal handler.
    }
}

void quitOnTerminateSignals(QApplication &app, quillon::QuillonAppDelegate &delegate)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier, &delegate] {
        notifier->setEnabled(false);
        char byte = 0;
        if (::read(g_signalPipe[1], &byte, 1) < 0) {
            // The request stands either way.
        }
        delegate.applicationShouldTerminate();
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminateSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

} // namespace

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
    quitOnTerminateSignals(app, delegate);
    QTimer::singleShot(0, &delegate, &quillon::QuillonAppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
