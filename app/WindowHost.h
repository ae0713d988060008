#pragma once
#include "app/CommandState.h"
#include "app/WindowNames.h"

class QMainWindow;
class QObject;
class QSettings;
class QString;
class QUrl;

namespace Ui {
class MainWindow;
}

namespace quillon {

class ConversionController;
class EditionWindow;
class FileAddingJob;
class FileListController;
class OutputSettingsController;
class OutputSettingsSheet;
class ProgressSheet;
class Settings;
struct DesktopIntegration;

// What the window's parts and the edition's window may ask of the controller
// that owns them all (QuillonAppDelegate): the window, its form and sheets,
// the stores, the other parts, and the few window-wide steps. A part tells
// the others through their own headers or its signals, never through their
// members. Main thread only.
class WindowHost {
public:
    virtual QMainWindow *window() const = 0;
    virtual Ui::MainWindow *ui() const = 0;
    virtual OutputSettingsSheet *outputSettingPanel() const = 0;
    virtual ProgressSheet *processViewPanel() const = 0;
    // Null until the window is set up (awakeFromNib).
    virtual Settings *settings() const = 0;
    virtual QSettings *store() const = 0;
    virtual const DesktopIntegration &desktop() const = 0;
    virtual EditionWindow &edition() const = 0;

    virtual FileListController &fileList() const = 0;
    virtual FileAddingJob &adding() const = 0;
    virtual OutputSettingsController &outputSettings() const = 0;
    virtual ConversionController &conversion() const = 0;

    virtual const CommandState &commandState() const = 0;
    // The view on or off for a job or a run, then every command's enabling.
    virtual void resetView(bool enable) = 0;
    // Every command's enabling from the state (held back inside an EnablingBatch).
    virtual void applyCommandState() = 0;
    // The window's busy look (dimmed totals, the spinning indicator) while a
    // job or a run works; its end brings the totals up to date.
    virtual void setBusy(bool busy) = 0;
    virtual void updateTimeTakenLabel(const QString &text) = 0;
    // Commits the texts still being typed in the output settings.
    virtual void endEditing() = 0;
    virtual bool openUrl(const QUrl &url) = 0;
    virtual bool isWritableFolder(const QString &path) const = 0;
    // Whether the window, or a sheet or dialog of it, is the active window.
    virtual bool isWindowActive() const = 0;
    virtual bool isAwake() const = 0;
    virtual bool isQuitting() const = 0;
    virtual void openAppAction() = 0;
    virtual bool inculdeSubfolders() const = 0;
    // The window's look as the active window or not (a sheet on it keeps it active).
    virtual void windowDidBecomeMain() = 0;
    virtual void windowDidResignMain() = 0;

    // Held (counted) by EnablingBatch: applyCommandState() waits for the last release.
    virtual void holdEnabling(bool hold) = 0;

protected:
    ~WindowHost() = default;
};

// Holds back the enabling of the window's controls while one command changes
// many rows; the last batch to end brings it up to date once.
class EnablingBatch {
public:
    explicit EnablingBatch(WindowHost &host)
        : m_host(host)
    {
        m_host.holdEnabling(true);
    }
    ~EnablingBatch() { m_host.holdEnabling(false); }
    EnablingBatch(const EnablingBatch &) = delete;
    EnablingBatch &operator=(const EnablingBatch &) = delete;

private:
    WindowHost &m_host;
};

} // namespace quillon
