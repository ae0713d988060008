#pragma once
#include "windows/WindowController.h"

#include <functional>
#include <memory>

class QPrinter;

namespace Ui {
class EULA;
}

namespace quillon {

// The "EULA" window: the end-user licence agreement with Print and Save as PDF,
// and either Close (viewing mode) or Agree / Disagree (acceptance mode).
//
// Viewing, from the menu:     c->setIsHideLicenseButtons(true); c->showWindow(mainWindow);
// Acceptance, at first start: c->showWindow(nullptr) == EULAWindowController::Agreed
//
// Disagree ends the run with Disagreed and asks the application to quit (queued,
// so it also works before the main event loop has started); the caller should
// stop starting up when it sees Disagreed. In acceptance mode the window
// manager's close button and Escape count as Disagree: the agreement cannot be
// bypassed.
class EULAWindowController : public WindowController {
    Q_OBJECT
public:
    // Result codes of the window (QDialog::done / showWindow without a parent).
    enum Response { Disagreed = 0, Agreed = 1, Closed = 2 };
    Q_ENUM(Response)

    explicit EULAWindowController(QObject *parent = nullptr);
    ~EULAWindowController() override;

    // true = viewing mode (Close), false = acceptance mode (Agree, Disagree).
    // Only honoured before the window is loaded; later calls are ignored.
    bool isHideLicenseButtons() const { return m_hideLicenseButtons; }
    void setIsHideLicenseButtons(bool hide);

    // Where the agreement text comes from (a Qt resource or file, UTF-8, with
    // "##APPTITLE##" where the name belongs). Before the window is loaded.
    static QString defaultAgreementResource();
    void setAgreementResource(const QString &path);

    // What Disagree does after ending the window; by default a queued
    // QCoreApplication::quit().
    void setQuitHandler(std::function<void()> quit);

    // The text view's document written as a PDF to path (automatic pagination,
    // the shared print settings). Written to a temporary file first and renamed
    // only when complete. Returns false with a reason when it cannot be written.
    bool writePdf(const QString &path, QString *error = nullptr);

    // The name the save panel proposes: "<title> End-User License Agreement.pdf".
    static QString proposedPdfName();

public slots:
    void printAction();
    void saveAsAction();
    void closeAction();
    void agreeAction();
    void disAgreeAction();
    // End of the save panel: with QDialog::Accepted the agreement is written to
    // path (".pdf" is added when the name lacks it); anything else does nothing.
    void didEnd(int returnCode, const QString &path);

signals:
    void pdfSaved(const QString &path, bool ok);

protected:
    QDialog *loadWindow() override;

private:
    void awakeFromNib(QDialog *window);

    std::unique_ptr<Ui::EULA> ui;
    std::unique_ptr<QPrinter> m_printer; // outlives the print dialog
    std::function<void()> m_quit;
    QString m_agreementResource;
    bool m_hideLicenseButtons = false;
};

} // namespace quillon
