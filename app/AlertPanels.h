#pragma once
#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

// Alerts shown as sheets (window-modal message boxes) on a window. The message
// text is the title, the informative text the message. Main thread only.
namespace quillon {

// Return codes, by button position (default button first).
enum AlertReturn { AlertFirstButtonReturn = 1000, AlertSecondButtonReturn = 1001, AlertThirdButtonReturn = 1002 };

// Critical style, one OK button. Blocks (running a local event loop) until
// the user dismisses it. Returns AlertFirstButtonReturn.
int informationAlertPanel(QWidget *window, const QString &title, const QString &msg);
// The same in the informational style.
int infoAlertPanel(QWidget *window, const QString &title, const QString &msg);
// Critical style with up to three buttons (empty titles are left out); blocks
// and returns the code of the button pressed.
int criticalAlertPanel(QWidget *window, const QString &title, const QString &msg, const QString &defaultButton,
                       const QString &alternateButton, const QString &otherButton);

// Critical style, application-modal rather than a sheet (edition 1's alerts);
// one default button when both titles are empty. Blocks; returns the code.
int applicationModalAlertPanel(QWidget *window, const QString &title, const QString &msg, const QString &defaultButton = QString(),
                               const QString &alternateButton = QString());

// The edition's one-button alert: a sheet on the window (edition 2), or an
// application-modal panel (edition 1). Blocks; returns AlertFirstButtonReturn.
int editionAlertPanel(QWidget *window, const QString &title, const QString &msg, bool applicationModal);

// A critical alert with up to three buttons, not yet shown; the caller owns it
// until it is handed to beginSheetModalForWindow.
QMessageBox *makeCriticalAlert(QWidget *window, const QString &title, const QString &msg, const QString &defaultButton,
                               const QString &alternateButton = QString(), const QString &otherButton = QString());

// Shows the alert as a sheet on the window and returns at once; when it ends,
// completion gets the button's return code and the alert is deleted.
void beginSheetModalForWindow(QMessageBox *alert, QWidget *window, std::function<void(int)> completion);

} // namespace quillon
