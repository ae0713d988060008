#pragma once
#include "app/Arguments.h"
#include "app/AppEnvironment.h"
#include "app/ImportFilesWindowController.h"
#include "app/WindowNames.h"
#include "core/FileItem.h"

#include <QObject>

#include <memory>

class NumberField;
class QAbstractButton;
class QAction;
class QColor;
class QMainWindow;
class QMenu;
class QMimeData;
class QModelIndex;
class QSettings;
class SegmentedControl;
namespace Ui {
class MainWindow;
}

namespace quillon {

class BilevelPreviewer;
class CustomTableView;
class Edition1Window;
class FileListModel;
class OutputSettingsSheet;
class Process;
class ProgressSheet;
class QuillonAppDelegatePrivate;
class Settings;
class UsagesReportingWindowController;
class WindowHost;
struct Edition1Controls;
struct RecentItem;

// The controller of the main window. It owns the window and its form, the
// output settings and progress sheets, Settings, the usage store and the
// edition's window, and hands the work to the parts it owns (WindowHost is
// what they may ask of it): the file list (FileListController), adding files
// (FileAddingJob), the output settings (OutputSettingsController) and the run
// (ConversionController). Here: start-up, the application's commands, the
// segmented controls, quitting, and (in its private part, the parts' host) the
// one place that enables every command. The rest forwards to the parts.
// Main thread only.
class QuillonAppDelegate : public QObject, public WindowNames, public ImportFilesWindowControllerDelegate {
    Q_OBJECT
public:
    using Environment = QuillonAppEnvironment;

    explicit QuillonAppDelegate(Environment environment = {}, QObject *parent = nullptr);
    ~QuillonAppDelegate() override;

    // Sets the window up in the documented order and shows it. False when the
    // licence agreement was declined: the application should end then.
    bool awakeFromNib();
    // Once the event loop runs: the review check.
    void applicationDidFinishLaunching();
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // Another start asked for the window (SingleInstance): it comes to the front, its paths are added.
    void reopen(const QStringList &paths, const QString &activationToken = QString());
    // Saves the recent folders, the settings and the column layout; always true.
    bool applicationShouldTerminate();
    // False when the first-start agreement was declined.
    bool setupToolbarAndMenuItems();

    // The window, its form and sheets, the stores and the parts (WindowHost).
    QMainWindow *window() const;
    Ui::MainWindow *ui() const;
    OutputSettingsSheet *outputSettingPanel() const;
    ProgressSheet *processViewPanel() const;
    Settings *settings() const;
    QSettings *store() const;
    WindowHost &host() const;
    void resetView(bool enable);
    bool isWindowActive() const;
    void openAppAction();
    bool inculdeSubfolders() const;
    void windowDidBecomeMain();
    void windowDidResignMain();
    void updateTimeTakenLabel(const QString &text);

    // The window's state and controls.
    QList<FileItemPtr> &files();
    FileListModel *fileListModel() const;
    Process *process() const;
    bool isProcessing() const;
    bool isLoading() const;
    bool isOutputFolderSelected() const;
    QString outputFolder() const;
    QList<RecentItem> &recentItems();
    UsagesReportingWindowController *usagesReport() const;
    ImportFilesWindowController *importPanel() const;
    BilevelPreviewer *bilevelPreviewer() const;
    QMenu *filesContextMenu() const;
    QMenu *headerContextMenu() const;
    CustomTableView *mainTableView() const;
    SegmentedControl *filesFoldersSegmented() const;
    SegmentedControl *navigationSegmented() const;
    SegmentedControl *commandSegmented() const;
    SegmentedControl *helpSegmented() const;
    // Edition 1's window and its own controls (null and empty in edition 2).
    Edition1Window *edition1Window() const;
    const Edition1Controls &edition1() const;

    // The application's commands.
    void websiteAction();
    void helpAction();
    void rateUs();
    void aboutAction();
    void showLicenseAgreement();
    void reviewUsAction();
    void cancelAction();
    void searchAction();
    void openLogsFolder();
    void importAction();
    void exportAction();
    // Writes the list as tab-delimited text (false, with a message shown, when that fails).
    bool exportList(const QString &path);
    void openImportFilesPanel();
    // Files handed over by the import sheet.
    void ImportFilesWindowControllerDidFinish(ImportFilesWindowController *controller) override;
    void ImportFilesWindowControllerDidFinish(const QList<QUrl> &urls);
    void filesFoldersSegmentedChanged(int segment);
    void navigationSegmentedChanged(int segment);
    void commandSegmentedChanged(int segment);
    void helpSegmentedChanged(int segment);
    void controlTextDidChange(NumberField *field);
    void setButtonKeyCharacter(QAbstractButton *button, const QString &keyChar, const QColor &color);

    // Forwards to the parts.
    void selectDeselectRemoveAll(int tag);
    void checkUncheckInvertSelection(int tag);
    void checkUncheckInvertAll(int tag);
    void removeAction();
    void moveUp();
    void moveDown();
    void openFileWithFinder();
    void openFileEnclosingFolder();
    void getInfoFile();
    void showPageSelection();
    void menuNeedsUpdate(QMenu *menu);
    QList<int> selectedRows() const;
    void addFiles();
    void addFolder();
    bool validateDrop(const QMimeData *data, QObject *source);
    bool acceptDrop(const QMimeData *data);
    void openFiles(const QStringList &paths);
    bool loadURLs(const Arguments &arguments);
    void recentFolderChanged(int index);
    void showOutputSettings();
    void setCombineOptions(int index);
    void chooseOutputFolder();
    void closeOutputSetting();
    void convertAction();
    void cancelProcessAction();
    void viewLogAction();
    void closeProcessAction();
    void retryFailedAction();

signals:
    // A file-adding job has ended and its files are in the list.
    void loadFinished();
    // The progress sheet was closed and the run released.
    void processClosed();

private:
    // The members, and the host of the parts (in QuillonAppDelegate.cpp).
    std::unique_ptr<QuillonAppDelegatePrivate> d;
};

} // namespace quillon
