#pragma once
#include "app/CommandState.h"

#include <QColor>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QToolBar;
class QWidget;

namespace quillon {

class WindowHost;

// The controls only edition 1's window has.
struct Edition1Controls {
    QToolBar *toolbar = nullptr;
    QAction *aboutToolbarItem = nullptr;
    QAction *preferencesToolbarItem = nullptr;
    QAction *dummyToolbarItem = nullptr;
    QAction *exportToolbarItem = nullptr;
    QAction *rightViewToolbarItem = nullptr;
    QWidget *rightPane = nullptr; // the split view's second subview
    QLabel *lableDragAndDrop = nullptr;
    QLabel *singleMultiPageTIFFLabel2 = nullptr; // after the mode-1 name field
    QPushButton *removeBtn = nullptr;
    QPushButton *importBtn = nullptr;
    QPushButton *addFilesBtn = nullptr;
    QPushButton *addFolderBtn = nullptr;
    QPushButton *searchBtn = nullptr;
    QCheckBox *inculdeSubfoldersBtn = nullptr;
    QPushButton *convertBtn = nullptr;
    QPushButton *openFileButton = nullptr;
    QPushButton *getInfoButton = nullptr;
    QPushButton *openEnclosedFolderButton = nullptr;
    QPushButton *selectAllButton = nullptr;
    QPushButton *deselectAllButton = nullptr;
    QPushButton *removeSelectedFilesButton = nullptr;
    QPushButton *removeAllFilesButton = nullptr;
    QPushButton *moveUpButton = nullptr;
    QPushButton *moveDownButton = nullptr;
};

// What differs between the two editions' windows: the one seam. The
// controller makes one with makeEditionWindow() and asks it at each place the
// editions part; nothing else in the window code knows which edition runs.
// Edition 2 is the window the controller builds; edition 1 rebuilds it with a
// toolbar, a settings pane and buttons. Main thread only; owned by the
// controller and told by it; it reaches the window only through WindowHost.
class EditionWindow {
    Q_DECLARE_TR_FUNCTIONS(EditionWindow)

public:
    explicit EditionWindow(WindowHost &host)
        : m_host(host)
    {
    }
    virtual ~EditionWindow();
    EditionWindow(const EditionWindow &) = delete;
    EditionWindow &operator=(const EditionWindow &) = delete;

    // After the common window is built, before the settings are loaded.
    virtual void build() = 0;
    virtual void connectCommands() = 0;
    // At set-up: stored window state, key letters, the toolbar.
    virtual void restore(const QColor &keyLetterColor) = 0;
    virtual void setupToolbar() {}
    virtual void beforeShow() {}
    virtual void afterShow() = 0;
    // At quitting.
    virtual void save() {}

    virtual bool includeSubfolders() const = 0;
    virtual void setIncludeSubfolders(bool include) = 0;
    // The Subfolders command (segment or menu item).
    virtual void toggleIncludeSubfolders() = 0;

    // The enabling of this edition's own controls.
    virtual void apply(const CommandState &) {}
    // The output folder became set (or unset).
    virtual void showOutputFolderChosen(bool) {}
    virtual void showCombineMode(int, const QColor &, const QColor &) {}
    virtual void showRowsLook(bool empty) = 0;

    virtual bool keepsRecentFolders() const = 0;
    virtual bool addFilesTakesFolders() const = 0;
    virtual bool applicationModalAlerts() const = 0;
    // The output settings live in the window (edition 1's pane), not in a sheet.
    virtual bool outputSettingsInPane() const = 0;
    virtual QWidget *outputFolderPanelParent() const = 0;
    virtual QString outputFolderPanelMessage() const = 0;

    virtual void confirmRemoveAll(const std::function<void()> &remove) = 0;
    virtual void showProperties(const QStringList &paths) = 0;
    virtual void convert() = 0;
    // The output settings: a sheet, or edition 1's pane.
    virtual void showOutputSettings() = 0;
    // Convert's alert for a name the combine mode needs.
    virtual void alertMissingName(const QString &message) = 0;
    // The checks before a run; false when it must not start.
    virtual bool checksBeforeRun() { return true; }
    // A drop's files are loading / the job ended.
    virtual void dropBegins() {}
    virtual void loadEnded() {}

    // Edition 1's controls (all null in edition 2).
    virtual const Edition1Controls &edition1() const;

protected:
    WindowHost &m_host;
};

// Edition `edition` (1 or 2; anything else is 2).
std::unique_ptr<EditionWindow> makeEditionWindow(int edition, WindowHost &host);

} // namespace quillon
