#pragma once
#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class OutputSettings;
class Progress;
} // namespace Ui

namespace quillon {

// The window's sheets (window-modal dialogs on the main window). Their
// controls are driven by the window's controller; Escape and the window
// manager's close button go to the controller too (onEscape) instead of
// simply hiding the sheet, so the controller's close steps always run.
class Sheet : public QDialog {
    Q_OBJECT
public:
    explicit Sheet(QWidget *parent);
    std::function<void()> onEscape;

    // Shows the sheet on its parent window (returns at once).
    void beginSheet();
    // Hides the sheet and ends its modality.
    void endSheet();

public slots:
    void reject() override;
};

// The output settings sheet.
class OutputSettingsSheet : public Sheet {
    Q_OBJECT
public:
    explicit OutputSettingsSheet(QWidget *parent);
    ~OutputSettingsSheet() override;
    Ui::OutputSettings *ui() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::OutputSettings> m_ui;
};

// The progress sheet of a conversion run.
class ProgressSheet : public Sheet {
    Q_OBJECT
public:
    explicit ProgressSheet(QWidget *parent);
    ~ProgressSheet() override;
    Ui::Progress *ui() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::Progress> m_ui;
};

} // namespace quillon
