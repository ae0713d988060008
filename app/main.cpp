#include "app/QuillonAppDelegate.h"
#include "app/SingleInstance.h"
#include "app/UiLanguage.h"
#include "core/AppFolders.h"
#include "windows/AppImages.h"

#include <QApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

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

// The files and folders named on the command line ("Open With" passes paths,
// a file:// URI is taken too), made absolute: another start may take them.
// Missing ones are reported and left out; false for --help and --version.
bool commandLinePaths(const QStringList &arguments, QStringList *paths)
{
    const QString program = QFileInfo(arguments.value(0)).fileName();
    bool options = true;
    for (const QString &arg : arguments.mid(1)) {
        if (options && arg == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (options && (arg == QLatin1String("-h") || arg == QLatin1String("--help"))) {
            std::printf("Usage: %s [FILE or FOLDER]...\nAdds the files, and the images of the folders, to the list of the running window.\n",
                        qPrintable(program));
            return false;
        }
        if (options && (arg == QLatin1String("-v") || arg == QLatin1String("--version"))) {
            std::printf("%s %s\n", qPrintable(program), QUILLON_VERSION);
            return false;
        }
        if (options && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            std::fprintf(stderr, "%s: unknown option %s ignored\n", qPrintable(program), qPrintable(arg));
            continue;
        }
        const QUrl url(arg);
        const QString path = url.isLocalFile() ? url.toLocalFile() : arg;
        const QFileInfo info(path);
        if (!info.exists()) {
            std::fprintf(stderr, "%s: %s: no such file or folder\n", qPrintable(program), qPrintable(path));
            continue;
        }
        *paths << info.absoluteFilePath();
    }
    return true;
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
    // The window in the user's language (QUILLON_LANG, LANGUAGE, the locale).
    const quillon::UiLanguage language;

    QStringList paths;
    if (!commandLinePaths(QCoreApplication::arguments(), &paths))
        return 0;
    // A window of this edition already open takes the paths and comes forward.
    quillon::SingleInstance instance(quillon::SingleInstance::defaultName(QUILLON_EDITION));
    switch (instance.start(paths)) {
    case quillon::SingleInstance::HandedOver:
        return 0;
    case quillon::SingleInstance::Busy:
        return 1; // never a second window beside a busy one
    case quillon::SingleInstance::Primary:
    case quillon::SingleInstance::Alone:
        break;
    }

    quillon::QuillonAppDelegate delegate;
    // Requests can come while the agreement is asked: they wait for the window.
    QObject::connect(&instance, &quillon::SingleInstance::activationRequested, &delegate, &quillon::QuillonAppDelegate::reopen);
    delegate.openFiles(paths);
    if (!delegate.awakeFromNib())
        return 0; // the licence agreement was declined
    quitOnTerminateSignals(app, delegate);
    QTimer::singleShot(0, &delegate, &quillon::QuillonAppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
