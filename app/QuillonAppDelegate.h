#pragma once
#include "app/Arguments.h"
#include "app/CustomTableView.h"
#include "app/DesktopIntegration.h"
#include "app/EditionWindow.h"
#include "app/ImportFilesWindowController.h"
#include "app/OpenPanel.h"
#include "app/PageSelectionDialog.h"
#include "app/RecentFolders.h"
#include "core/FileItem.h"
#include "core/Process.h"
#include "core/TimeLeft.h"

#include <QColor>
#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <atomic>
#include <functional>
#include <memory>

class NumberField;
class QAbstractButton;
class QAction;
class QMenu;
class QSettings;
class QThread;
class QToolBar;
class QLabel;
class QCheckBox;
class QPushButton;
class QImage;
class QTimer;
class SegmentedControl;

namespace Ui {
class MainWindow;
}

namespace quillon {

class BilevelPreviewer;
class FileListModel;
class FileSystemHelper;
class OutputSettingsSheet;
class ProgressSheet;
class Settings;
class UsagesReportingWindowController;

// What the window's controller touches outside itself; tests inject their own.
struct QuillonAppEnvironment {
    QSettings *store = nullptr;          // user defaults; quillon::userDefaults() when null
    DesktopIntegration desktop;          // DesktopIntegration::system() when openUrl is empty
    // The first-start licence agreement, application-modal; true = agreed.
    std::function<bool()> runLicenseAgreement;
    // Where the usage store keeps "Usages.Log"; the support folder when empty.
    QString supportFolder;
    // Whether the program may write into a folder; access(2) when empty.
    std::function<bool(const QString &)> isWritableFolder;
};


// The controller of the main window: it owns the file list, the settings, the
// current conversion run, the recent folders and the usage store, and is the
// target of every command of the window, its menus and its segmented
// controls. Its operations are grouped by source file:
//   QuillonAppDelegate.cpp            start-up, application commands, quitting
//   QuillonAppDelegateViewHelper.cpp  enabling, key letters, window state, recent folders
//   QuillonAppDelegateFileList.cpp    the file list's commands, keys and columns
//   QuillonAppDelegateAdding.cpp      add panels, drops and the file-adding job
//   QuillonAppDelegateConversion.cpp  output settings, Convert, progress sheet
// Main thread only, except where a function says otherwise.
class QuillonAppDelegate : public QObject,
                           public ProcessOwner,
                           public CustomTableViewDelegate,
                           public ImportFilesWindowControllerDelegate {
    Q_OBJECT
public:
    using Environment = QuillonAppEnvironment;

    // Keys of the user defaults written here.
    static inline const QString kShowSettingsKey = QStringLiteral("SHOWSETTINGS");
    static inline const QString kRecentItemsKey = RecentFolders::kKey;
    static inline const QString kIncludeSubfoldersKey = QStringLiteral("INCLUDESUBFOLDERS");
    static inline const QString kLicenseAcceptedKey = QStringLiteral("LICENSEAGREEMENTACCEPTED");
    static inline const QString kColumnLayoutKey = QStringLiteral("FILELISTCOLUMNS");

    // The "tag" of the list commands' menu items and buttons (their .ui files carry it).
    enum ListCommandTag { SelectAllRows = 1, SelectFirstRow = 2, RemoveAllRows = 3, RemoveSelectedRows = 4 };
    enum CheckMarkTag { CheckRows = 1, UncheckRows = 2, InvertRows = 3 };
    // The "tag" of the number fields with the digits-only rule: the group
    // size (empty gives 2) and the page-selection steps (empty gives 1).
    enum NumberFieldTag { GroupSizeField = 30001, PageStepField = 30002 };

    // Segments of the segmented controls.
    enum FilesFoldersSegment { AddFilesSegment, RemoveSegment, SubfoldersSegment, ImportSegment, ExportSegment, LogsSegment };
    enum NavigationSegment { MoveUpSegment, MoveDownSegment, RemoveAllSegment };
    enum CommandSegment { OutputSettingsSegment, ConvertSegment };
    enum HelpSegment { WebsiteSegment, HelpSegment, RateSegment };

    explicit QuillonAppDelegate(Environment environment = {}, QObject *parent = nullptr);
    ~QuillonAppDelegate() override;

    // ---- start-up, reopening, quitting (QuillonAppDelegate.cpp) ----
    // Sets the window up in the documented order and shows it. False when the
    // licence agreement was declined: the application should end then.
    bool awakeFromNib();
    // Once the event loop runs: the review check.
    void applicationDidFinishLaunching();
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // Another start of the program asked for the window (SingleInstance): the
    // window comes to the front and its paths are added (openFiles).
    void reopen(const QStringList &paths, const QString &activationToken = QString());
    // Saves the recent folders, the settings and the column layout; always true.
    bool applicationShouldTerminate();
    void setupVersion();
    // False when the first-start agreement was declined.
    bool setupToolbarAndMenuItems();

    // ---- the window's state ----
    QMainWindow *window() const { return m_window.get(); }
    Ui::MainWindow *ui() const { return m_ui.get(); }
    QList<FileItemPtr> &files() { return m_files; }
    const QList<FileItemPtr> &files() const { return m_files; }
    FileListModel *fileListModel() const { return m_model; }
    Settings *settings() const { return m_settings; }
    Process *process() const { return m_process.get(); }
    bool isProcessing() const { return m_isProcessing.load(); }
    bool isLoading() const { return m_loadThread != nullptr; }
    bool isOutputFolderSelected() const { return m_isOutputFolderSelected; }
    QString outputFolder() const { return m_outputFolder; }
    QList<RecentItem> &recentItems() { return m_recentFolders.items(); }
    UsagesReportingWindowController *usagesReport() const { return m_usagesReport; }
    QSettings *store() const;
    const DesktopIntegration &desktop() const { return m_desktop; }
    QMenu *filesContextMenu() const { return m_filesContextMenu; }
    QMenu *headerContextMenu() const { return m_headerContextMenu; }
    OutputSettingsSheet *outputSettingPanel() const { return m_outputSettingPanel; }
    ProgressSheet *processViewPanel() const { return m_processViewPanel; }
    CustomTableView *mainTableView() const;
    SegmentedControl *filesFoldersSegmented() const;
    SegmentedControl *navigationSegmented() const;
    SegmentedControl *commandSegmented() const;
    SegmentedControl *helpSegmented() const;

    bool inculdeSubfolders() const;
    void setInculdeSubfolders(bool include);

    // ---- commands of the window (QuillonAppDelegate.cpp) ----
    void websiteAction();
    void helpAction();
    void rateUs();
    void aboutAction();
    void showLicenseAgreement();
    void reviewUsAction();
    void openAppAction();
    void cancelAction();
    void searchAction();
    void openLogsFolder();
    // Import and export of the list.
    void importAction();
    void exportAction();
    // Writes the list as tab-delimited text (false, with a message shown, when that fails).
    bool exportList(const QString &path);
    // Files handed over by the import sheet.
    void ImportFilesWindowControllerDidFinish(ImportFilesWindowController *controller) override;
    void ImportFilesWindowControllerDidFinish(const QList<QUrl> &urls);
    void filesFoldersSegmentedChanged(int segment);
    void navigationSegmentedChanged(int segment);
    void commandSegmentedChanged(int segment);
    void helpSegmentedChanged(int segment);

    // ---- view helper (QuillonAppDelegateViewHelper.cpp) ----
    // The rule of the numeric fields (NumberFieldTag), applied on every edit.
    void controlTextDidChange(NumberField *field);
    void setButtonKeyCharacter(QAbstractButton *button, const QString &keyChar, const QColor &color);
    void resetView(bool enable);
    void windowDidBecomeMain();
    void windowDidResignMain();
    void openImportFilesPanel();
    ImportFilesWindowController *importPanel() const { return m_importPanel; }
    void addRecentItem(const QStringList &paths);
    void loadRecentFolders();
    void recentFolderChanged(int index);
    // Ends editing in the window: pending texts are committed to the settings.
    void endEditing();

    // ---- the file list (QuillonAppDelegateFileList.cpp) ----
    void selectDeselectRemoveAll(int tag);
    void checkUncheckInvertSelection(int tag);
    void checkUncheckInvertAll(int tag);
    void removeAction() override;
    void moveUp();
    void moveDown();
    void openFileWithFinder();
    void openFileEnclosingFolder();
    void getInfoFile();
    void fileDoubleClicked(const QModelIndex &index);
    void updateTotalLabel();
    bool keyDownTableView(QKeyEvent *event) override;
    void checkMarksChangedByKey() override;
    // Rebuilds the column header menu.
    void menuNeedsUpdate(QMenu *menu);
    void colMenuItemClick(QAction *item);
    void tableViewSelectionDidChange();
    // Move up/down enabling, grid lines and alternating rows after a change of rows.
    void numberOfRowsChanged();
    // The page-selection editor for the selected TIFF rows.
    void showPageSelection();
    bool containsMultiPageFiles() const;
    QList<int> selectedRows() const;

    // ---- adding files (QuillonAppDelegateAdding.cpp) ----
    void addFiles();
    void addFolder();
    void openPanelDidEnd(OpenPanel *panel, int returnCode);
    bool validateDrop(const QMimeData *data, QObject *source) override;
    bool acceptDrop(const QMimeData *data) override;
    // Paths given on a command line ("Open With"), added as a drop adds them:
    // folders scanned with the include-subfolders choice. While a job or a
    // run has the window (or before it is up) they wait for it.
    void openFiles(const QStringList &paths);
    // Starts a file-adding job on its own thread (false while one runs).
    bool loadURLs(const Arguments &arguments);

    // ---- conversion (QuillonAppDelegateConversion.cpp) ----
    void showOutputSettings();
    void convertAction();
    void combine();
    void chooseOutputFolder();
    void openPanelOutputFolderDidEnd(int returnCode, const QString &path);
    void combineOptionChanged(QAbstractButton *sender);
    void setCombineOptions(int index);
    void closeOutputSetting();
    void cancelProcessAction();
    void viewLogAction();
    void closeProcessAction();
    void startProcess();
    void stopProcess();
    void resetViewForProcess(bool enable);
    void updateTimeTakenLabel(const QString &text) override;
    void openOutputFolder(const QString &path) override;
    // The output-folder panel of Convert (null when none is shown).
    OpenPanel *outputFolderPanel() const { return m_outputFolderPanel; }
    // Whether the window, or a sheet or dialog of it, is the active window.
    bool isWindowActive() const;
    // The progress sheet's Retry Failed: after Close, exactly the sources the
    // run lost are checked (listed again where missing) and the output
    // settings are shown, so Convert tries them again.
    void retryFailedAction();
    // Asks for the preview of the first checked source's first chosen page
    // at the chosen black-and-white method (when the preview can be seen).
    void updateBilevelPreview();
    BilevelPreviewer *bilevelPreviewer() const { return m_previewer; }

    // ---- the edition's window (EditionWindow.h) ----
    EditionWindow *editionWindow() const { return m_edition.get(); }
    const CommandState &commandState() const { return m_commands; }
    // Edition 1's own controls and commands (edition 1 only).
    const Edition1Controls &edition1() const { return m_edition->edition1(); }
    bool isShowingSettings() const;
    void toggleSettings();
    void showSettings(bool show);
    void toggleRightView();
    void collapseRightView();
    void uncollapseRightView();
    bool isRightViewCollapsed() const;
    void getInfo();

signals:
    // A file-adding job has ended and its files are in the list.
    void loadFinished();
    // The progress sheet was closed and the run released.
    void processClosed();

private:
    // The two editions' windows reach into the window they extend.
    friend class Edition1Window;
    friend class Edition2Window;
    // Holds back the enabling of the window's controls while one command
    // changes many rows; the last batch to end brings it up to date once.
    class EnablingBatch {
    public:
        explicit EnablingBatch(QuillonAppDelegate *owner);
        ~EnablingBatch();
        EnablingBatch(const EnablingBatch &) = delete;
        EnablingBatch &operator=(const EnablingBatch &) = delete;

    private:
        QuillonAppDelegate *m_owner;
    };
    void moveSelectionBy(int step);
    void reorderKeepingSelection(const std::function<void()> &reorder);
    void startCombinedRun();
    // Edition 2's Convert: the name and output-folder checks, then combine.
    void convertWithChecks();
    // Sets every command's enabling from the command state (after bringing
    // the state up to date).
    void applyCommandState();
    void buildWindow();
    void buildMenus();
    void buildSegmentedControls();
    void connectCommands();
    void bindOutputSettingsSheet();
    void bindSettingsSummary();
    void updateSettingsSummary();
    void finishLoad();
    void updateLoadingProgress();
    void onOutputFolderPathChanged();
    void bindProgressSheet();
    void updateProgressSheet();
    void updateTimeLeft();
    void announceRunEnd();
    bool addLikeDrop(const QList<QUrl> &dropped);
    void addPendingPaths();
    void bindBilevelChoices();
    void showBilevelPreview(const QImage &image, bool alreadyBilevel, const QString &error);
    void checkExactly(const QStringList &paths);
    QStringList selectedPaths() const;
    bool isWritableFolder(const QString &path) const;
    bool openUrl(const QUrl &url);

    // Owned state.
    Environment m_env;
    DesktopIntegration m_desktop;
    std::unique_ptr<QMainWindow> m_window;
    std::unique_ptr<Ui::MainWindow> m_ui;
    QList<FileItemPtr> m_files;
    FileListModel *m_model = nullptr;
    Settings *m_settings = nullptr;
    std::unique_ptr<Process> m_process;
    std::atomic<bool> m_isProcessing{false};
    bool m_isOutputFolderSelected = false;
    QString m_outputFolder;
    RecentFolders m_recentFolders;
    std::unique_ptr<EditionWindow> m_edition;
    CommandState m_commands;
    UsagesReportingWindowController *m_usagesReport = nullptr;
    QMenu *m_filesContextMenu = nullptr;
    QMenu *m_headerContextMenu = nullptr;
    OutputSettingsSheet *m_outputSettingPanel = nullptr;
    ProgressSheet *m_processViewPanel = nullptr;
    QPointer<OpenPanel> m_outputFolderPanel;
    ImportFilesWindowController *m_importPanel = nullptr;
    QPointer<PageSelectionDialog> m_pageSelectionDialog;
    BilevelPreviewer *m_previewer = nullptr;
    QTimer *m_previewTimer = nullptr; // gathers list changes into one preview request
    QString m_previewSource;          // "name, page n" of the preview asked for
    QStringList m_retryPaths;         // checked once the missing ones are listed
    QString m_lastTimeTaken;
    QStringList m_pendingPaths; // from other starts, waiting for the window
    // The run's clock and estimate, for the time left and the title's percentage.
    QElapsedTimer m_runClock;
    TimeLeftEstimate m_timeLeft;
    QTimer *m_runTicker = nullptr;
    QString m_idleTitle;
    bool m_runEndAnnounced = false;
    bool m_quitting = false;
    bool m_awake = false;
    int m_enablingBatch = 0;
    bool m_enablingPending = false;

    // The running file-adding job.
    std::unique_ptr<FileSystemHelper> m_loadJob;
    QThread *m_loadThread = nullptr;
    QDateTime m_loadStart;
    QTimer *m_loadProgressTimer = nullptr;
};

} // namespace quillon
