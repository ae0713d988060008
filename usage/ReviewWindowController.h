#pragma once
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QCheckBox;

namespace Ui {
class ReviewUs;
}

namespace quillon {

class ReviewWindowController;

// Told when the review prompt closes, by either button (or Escape).
class ReviewWindowControllerDelegate
{
public:
    virtual void reviewWindowControllerDidFinished(ReviewWindowController *controller) = 0;

protected:
    ~ReviewWindowControllerDelegate() = default;
};

// The review prompt: the "ReviewUs" window with OK (opens reviewURL in the
// browser), Cancel and a never-ask-again check box. The window is loaded on
// first use and reused. Main thread only.
class ReviewWindowController : public QObject
{
    Q_OBJECT

public:
    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit ReviewWindowController(QObject *parent = nullptr);
    ~ReviewWindowController() override;

    // Not owned; must outlive this controller or be cleared first.
    ReviewWindowControllerDelegate *delegate() const { return m_delegate; }
    void setDelegate(ReviewWindowControllerDelegate *delegate) { m_delegate = delegate; }

    QString reviewURL() const { return m_reviewURL; }
    void setReviewURL(const QString &url) { m_reviewURL = url; }

    // Mirrors the check box both ways.
    bool neverAskForReview() const { return m_neverAskForReview; }
    void setNeverAskForReview(bool never);

    // Opens the review page; QDesktopServices::openUrl unless replaced.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    // The window, loaded on first call.
    QDialog *window();
    bool isWindowLoaded() const { return !m_window.isNull(); }
    // Nullptr until the window is loaded.
    QCheckBox *neverAskmeAgainButton() const;

    // Shows the window as a sheet (window-modal) on parent, or application-modal
    // without one. Returns at once.
    void showWindow(QWidget *parent);

public Q_SLOTS:
    void reviewOKAction();
    void reviewCancelAction();

Q_SIGNALS:
    // After the delegate was told.
    void finished();

private:
    void endSheet(int result);
    void onWindowFinished();

    ReviewWindowControllerDelegate *m_delegate = nullptr;
    QString m_reviewURL;
    bool m_neverAskForReview = false;
    UrlOpener m_openUrl;
    QPointer<QDialog> m_window;
    Ui::ReviewUs *m_ui = nullptr;
};

} // namespace quillon
