#include "windows/AppWindows.h"

#include "core/SystemLog.h"
#include "windows/AboutWindowController.h"
#include "windows/EULAWindowController.h"

#include <QCoreApplication>
#include <QWidget>

#include <exception>

namespace quillon {
namespace {

QPointer<AboutWindowController> g_about;
QPointer<EULAWindowController> g_eula;


} // namespace

AboutWindowController *aboutAction(QWidget *mainWindow)
{
    try {
        delete g_about.data();
        // Without a window it belongs to the application, not to nobody.
        g_about = new AboutWindowController(mainWindow ? static_cast<QObject *>(mainWindow) : QCoreApplication::instance());
        g_about->showWindow(mainWindow);
        return g_about;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in showAbout : %1").arg(exceptionReason(&e)));
    } catch (...) {
        logError(QStringLiteral("Error in showAbout : %1").arg(exceptionReason(nullptr)));
    }
    return nullptr;
}

EULAWindowController *showLicenseAgreement(QWidget *mainWindow)
{
    try {
        delete g_eula.data();
        g_eula = new EULAWindowController(mainWindow ? static_cast<QObject *>(mainWindow) : QCoreApplication::instance());
        g_eula->setIsHideLicenseButtons(true);
        g_eula->showWindow(mainWindow);
        return g_eula;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in showEULA : %1").arg(exceptionReason(&e)));
    } catch (...) {
        logError(QStringLiteral("Error in showEULA : %1").arg(exceptionReason(nullptr)));
    }
    return nullptr;
}

bool runLicenseAgreement()
{
    try {
        delete g_eula.data();
        EULAWindowController controller;
        g_eula = &controller;
        const int result = controller.showWindow(nullptr);
        return result == EULAWindowController::Agreed;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in showEULA : %1").arg(exceptionReason(&e)));
    } catch (...) {
        logError(QStringLiteral("Error in showEULA : %1").arg(exceptionReason(nullptr)));
    }
    return false;
}

} // namespace quillon
