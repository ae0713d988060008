#pragma once
#include "app/OpenPanel.h"
#include "core/Process.h"
#include "core/TimeLeft.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class QTimer;

namespace quillon {

class WindowHost;

// The conversion run's owner: Convert with its checks and output-folder
// panel, the run itself (a Process on the thread "conversion"), the progress
// sheet with its time left and the window title's percentage, the desktop
// notification at the end, and Cancel, View Log, Close and Retry Failed.
// The run tells it through Process's change signals (queued to the sheet) and
// ProcessOwner calls (blocking-queued here); it tells the window through its
// host and closed(). Main thread only.
class ConversionController : public QObject, public ProcessOwner {
    Q_OBJECT
public:
    explicit ConversionController(WindowHost &host);
    // A run still working is stopped and waited for; its output file was
    // written to a temporary name, so nothing half-written stays.
    ~ConversionController() override;

    // Once the window is set up: an idle run, the progress sheet's buttons.
    void bind();
    Process *process() const { return m_process.get(); }
    // From Convert until the progress sheet closes.
    bool isRunning() const { return m_running; }
    // Stops a run at its next file (quitting).
    void stop();
    QString outputFolder() const { return m_outputFolder; }
    // The output-folder panel of Convert (null when none is shown).
    OpenPanel *outputFolderPanel() const { return m_outputFolderPanel; }

    void convertAction();
    // Convert with its checks: the names, then the output folder (a panel
    // asks for one where the settings have none that can be written).
    void convertWithChecks();
    // The names the combine mode needs; false (with the field shown and an
    // alert) when one is missing.
    bool namesReady();
    // The run into `folder` after the edition's last checks.
    void combine();
    void setOutputFolder(const QString &folder) { m_outputFolder = folder; }

    void cancelProcessAction();
    void viewLogAction();
    void closeProcessAction();
    // After Close, exactly the sources the run lost are checked (listed again
    // where missing) and the output settings are shown.
    void retryFailedAction();

    // ProcessOwner (and the adding job's and the list's time line).
    void updateTimeTakenLabel(const QString &text) override;
    void openOutputFolder(const QString &path) override;

signals:
    // The progress sheet closed and the run is released.
    void closed(int combineMode, int filesProcessed);

private:
    void startCombinedRun();
    void bindProgressSheet();
    void updateProgressSheet();
    void updateTimeLeft();
    void announceRunEnd();

    WindowHost &m_host;
    std::unique_ptr<Process> m_process;
    bool m_running = false;
    QString m_outputFolder;
    QPointer<OpenPanel> m_outputFolderPanel;
    QStringList m_retryPaths; // checked once the missing ones are listed
    // The run's clock and estimate, for the time left and the title's percentage.
    QElapsedTimer m_runClock;
    TimeLeftEstimate m_timeLeft;
    QTimer *m_runTicker = nullptr;
    QString m_idleTitle;
    bool m_runEndAnnounced = false;
};

} // namespace quillon
