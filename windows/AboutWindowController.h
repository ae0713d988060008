#pragma once
#include "widgets/HyperlinkButton.h"
#include "windows/WindowController.h"

#include <memory>

namespace Ui {
class About;
}

namespace quillon {

// The "About" window: icon, "<title> (<version>)", a thank-you line, a support
// e-mail link that opens a pre-filled message, and the copyright line.
// Create a new controller for each showing (the previous one is dropped) and
// show it with showWindow(mainWindow); OK ends the sheet.
class AboutWindowController : public WindowController {
    Q_OBJECT
public:
    explicit AboutWindowController(QObject *parent = nullptr);
    ~AboutWindowController() override;

    // The mailto: address of the support link, percent-escaped: subject
    // "Support for [<titleLine>]", body the two-line note (lines joined by a
    // carriage return). Characters outside RFC 2396's legal URL characters are
    // escaped as %XX of their UTF-8 bytes; subject and body also escape the
    // query delimiters (& = + ? #) so no title can cut the message short.
    static QString supportMailAddress(const QString &email, const QString &titleLine);

    // The support link's target once the window is loaded, else empty.
    QString mailAddress() const;

    // Replaces the desktop's mail handler behind the link (tests). Kept when set
    // before the window is loaded.
    void setUrlOpener(HyperlinkButton::UrlOpener opener);

public slots:
    void okAction();

protected:
    QDialog *loadWindow() override;

private:
    void awakeFromNib(QDialog *window);

    std::unique_ptr<Ui::About> ui;
    HyperlinkButton::UrlOpener m_opener;
};

} // namespace quillon
