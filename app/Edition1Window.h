#pragma once
#include "app/EditionWindow.h"

#include <QCoreApplication>

namespace quillon {

// Edition 1's window. Its settings pane's visibility is stored under
// "SHOWSETTINGS"; the right pane starts collapsed at every start.
class Edition1Window : public EditionWindow {
    Q_DECLARE_TR_FUNCTIONS(Edition1Window)
public:
    using EditionWindow::EditionWindow;

    void build() override;
    void connectCommands() override;
    void restore(const QColor &keyLetterColor) override;
    void setupToolbar() override;
    void afterShow() override;
    bool includeSubfolders() const override;
    void setIncludeSubfolders(bool include) override;
    void toggleIncludeSubfolders() override;
    void apply(const CommandState &state) override;
    void showOutputFolderChosen(bool chosen) override;
    void showCombineMode(int index, const QColor &normal, const QColor &disabled) override;
    // Edition 1's table keeps the look it was given.
    void showRowsLook(bool) override {}
    bool keepsRecentFolders() const override { return false; }
    // Edition 1's add-files panel never takes folders.
    bool addFilesTakesFolders() const override { return false; }
    bool applicationModalAlerts() const override { return true; }
    bool outputSettingsInPane() const override { return true; }
    QWidget *outputFolderPanelParent() const override;
    QString outputFolderPanelMessage() const override { return tr("Select Output Folder:"); }
    void confirmRemoveAll(const std::function<void()> &remove) override;
    // One information window per file, in list order.
    void showProperties(const QStringList &paths) override;
    void convert() override;
    void showOutputSettings() override;
    void alertMissingName(const QString &message) override;
    bool checksBeforeRun() override;
    void dropBegins() override;
    void loadEnded() override { m_dropHidesHint = false; }
    const Edition1Controls &edition1() const override { return m_e1; }

    bool isShowingSettings() const { return m_showSettings; }
    void toggleSettings();
    void showSettings(bool show);
    void toggleRightView();
    void collapseRightView();
    void uncollapseRightView();
    bool isRightViewCollapsed() const;

private:
    void restoreShowSettings();
    void stopRunForSettings();
    bool outputFolderReady();
    // The toolbar's delegate: builds the items the window's definition lacks.
    QAction *toolbarItemForItemIdentifier(const QString &identifier);

    Edition1Controls m_e1;
    bool m_showSettings = true;
    bool m_dropHidesHint = false; // a drop's files are still loading
};

} // namespace quillon
