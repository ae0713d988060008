#pragma once
#include <QPointer>

class QWidget;

// The main window's entry points to the About and agreement windows. Each keeps
// one current controller: a new call drops the previous one (closing its window)
// before the new window is shown. Failures are caught and logged as
// "Error in showAbout : ..." / "Error in showEULA : ...". Main thread only.
namespace quillon {

class AboutWindowController;
class EULAWindowController;

// About, as a sheet on mainWindow (application-modal when mainWindow is null).
// The controller is a child of mainWindow (or of the application); null after a
// failure.
AboutWindowController *aboutAction(QWidget *mainWindow);

// The agreement in viewing mode (Close only), as a sheet on mainWindow.
EULAWindowController *showLicenseAgreement(QWidget *mainWindow);

// The first-start agreement: acceptance mode, application-modal, before the main
// window is shown. true = the user agreed (record it and go on); false = not
// agreed (refused, which also asks the application to quit, or the window could
// not be shown): start-up should stop.
bool runLicenseAgreement();

} // namespace quillon
