#pragma once
#include <QObject>
#include <QString>

class QAbstractButton;
class QImage;
class QLineEdit;
class QTimer;
class NumberField;

namespace quillon {

class BilevelPreviewer;
class Settings;
class WindowHost;

// The number fields' digits-only rule (WindowNames::NumberFieldTag), applied on
// every edit: an empty or zero field shows its fallback, selected.
void applyNumberFieldRule(NumberField *field);

// The deepest folder holding all of `paths` (absolute, cleaned); empty for none.
QString commonFolder(const QStringList &paths);

// The output settings: binds the sheet's (or edition 1's pane's) controls to
// Settings both ways, keeps the window's settings summary, chooses the output
// folder, shows the combine mode, checks the names a combine mode needs, and
// owns the black-and-white preview (its worker is BilevelPreviewer). It
// tells the file list when the combine mode is shown (the totals follow it).
// Main thread only.
class OutputSettingsController : public QObject {
    Q_OBJECT
public:
    explicit OutputSettingsController(WindowHost &host);

    // Once the settings exist: the bindings, the summary, the preview.
    void bind();
    // The stored combine mode and output folder shown again.
    void refresh();
    void setCombineOptions(int index);
    void combineOptionChanged(QAbstractButton *sender);
    void chooseOutputFolder();
    void openPanelOutputFolderDidEnd(int returnCode, const QString &path);
    bool isOutputFolderSelected() const { return m_isOutputFolderSelected; }
    void setOutputFolderSelected() { m_isOutputFolderSelected = true; }
    void showOutputSettings();
    void closeOutputSetting();
    // Pending texts are committed to the settings.
    void endEditing();

    // Convert's check: the name field the combine mode needs but lacks, with
    // the message that asks for it; null when none is missing. A group size
    // below 2 becomes 2 on the way.
    QLineEdit *missingName(QString *message);

    // Asks for the preview of the first checked source's first chosen page
    // at the chosen black-and-white method (when the preview can be seen).
    void updateBilevelPreview();
    // The same, once a burst of list changes is over.
    void updateBilevelPreviewSoon();
    BilevelPreviewer *bilevelPreviewer() const { return m_previewer; }

    // The folder a run recreates the sources' folders below: the common
    // folder of the checked sources (or the kept one above it); empty when
    // the choice is off or does not apply (a combine mode).
    QString mirrorRoot() const;
    // A retry's sources keep the folder of the run they failed in, though
    // their own common folder lies deeper; the next run takes it.
    void keepMirrorRoot(const QString &root);
    QString takeMirrorRoot();

private:
    Settings *settings() const;
    void bindBilevelChoices();
    void bindCodingChoices();
    void showCodingChoices();
    void showMirrorChoice();
    QString checkedSourcesFolder() const;
    void bindSettingsSummary();
    void updateSettingsSummary();
    void showOutputFolderState();
    void showBilevelPreview(const QImage &image, bool alreadyBilevel, const QString &error);

    WindowHost &m_host;
    bool m_isOutputFolderSelected = false;
    BilevelPreviewer *m_previewer = nullptr;
    QTimer *m_previewTimer = nullptr; // gathers list changes into one preview request
    QString m_previewSource;          // "name, page n" of the preview asked for
    QString m_keptMirrorRoot;
};

} // namespace quillon
