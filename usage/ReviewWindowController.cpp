#include "usage/ReviewWindowController.h"

#include "ui_ReviewUs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QIcon>

namespace quillon {

ReviewWindowController::ReviewWindowController(QObject *parent)
    : QObject(parent)
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

ReviewWindowController::~ReviewWindowController()
{
    m_delegate = nullptr;
    if (m_window) {
        disconnect(m_window, nullptr, this, nullptr);
        delete m_window;
    }
    delete m_ui;
}

void ReviewWindowController::setNeverAskForReview(bool never)
{
    m_neverAskForReview = never;
    if (m_window)
        m_ui->neverAskmeAgainButton->setChecked(never);
}

QCheckBox *ReviewWindowController::neverAskmeAgainButton() const
{
    return m_window ? m_ui->neverAskmeAgainButton : nullptr;
}

QDialog *ReviewWindowController::window()
{
    if (m_window)
        return m_window;
    // The main window may have taken a previous window down with it.
    delete m_ui;
    m_ui = new Ui::ReviewUs;
    m_window = new QDialog;
    m_ui->setupUi(m_window);
    m_ui->iconLabel->setPixmap(QIcon(QStringLiteral(":/images/review.svg")).pixmap(64, 64));
    m_ui->neverAskmeAgainButton->setChecked(m_neverAskForReview);
    connect(m_ui->neverAskmeAgainButton, &QCheckBox::toggled, this, [this](bool on) { m_neverAskForReview = on; });
    connect(m_ui->okButton, &QPushButton::clicked, this, &ReviewWindowController::reviewOKAction);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &ReviewWindowController::reviewCancelAction);
    // Escape and the close button end the prompt like Cancel.
    connect(m_window, &QDialog::finished, this, &ReviewWindowController::onWindowFinished);
    return m_window;
}

void ReviewWindowController::showWindow(QWidget *parent)
{
    QDialog *dialog = window();
    if (dialog->parentWidget() != parent)
        dialog->setParent(parent, dialog->windowFlags() | Qt::Dialog);
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->open();
    dialog->raise();
    dialog->activateWindow();
}

void ReviewWindowController::reviewOKAction()
{
    if (!m_reviewURL.isEmpty() && m_openUrl)
        m_openUrl(QUrl(m_reviewURL));
    endSheet(QDialog::Accepted);
}

void ReviewWindowController::reviewCancelAction()
{
    endSheet(QDialog::Rejected);
}

void ReviewWindowController::endSheet(int result)
{
    if (m_window)
        m_window->done(result); // emits finished(), which tells the delegate
    else
        onWindowFinished();
}

void ReviewWindowController::onWindowFinished()
{
    if (m_delegate)
        m_delegate->reviewWindowControllerDidFinished(this);
    Q_EMIT finished();
}

} // namespace quillon
