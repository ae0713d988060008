#include "cli/CliRunner.h"

#include "core/AppFolders.h"
#include "core/SystemLog.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {
std::atomic<bool> g_interrupted{false};
void onInterrupt(int) { g_interrupted = true; }

// Qt's warnings (an image plugin's, say) take the way the logged lines take,
// so they never land in the middle of the progress bar.
void toStderr(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    quillon::writeStderrLine(qFormatLogMessage(type, context, message).toUtf8());
    if (type == QtFatalMsg)
        std::abort();
}
} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(toStderr);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-convert"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvanta"));
    quillon::setEdition(2);

    QTextStream out(stdout);
    QTextStream err(stderr);

    quillon::CliOptions options;
    QString error;
    QString help;
    bool helpShown = false;
    if (!quillon::parseCommandLine(QCoreApplication::arguments(), &options, &error, &help, &helpShown)) {
        err << "quillon-convert: " << error << "\nTry 'quillon-convert --help' for more information.\n";
        return 2;
    }
    if (helpShown) {
        out << help;
        return 0;
    }

    quillon::CliRunner runner(options, out, err);

    // Ctrl-C works like the Cancel button: the file under work is finished and the log saved.
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &runner, [&runner] {
        if (g_interrupted)
            runner.cancel();
    });
    poll.start(50);

    return runner.run();
}
