#include "windows/WindowController.h"

#include <QApplication>

namespace quillon {

WindowController::WindowController(QObject *parent)
    : QObject(parent)
{
}

WindowController::~WindowController()
{
    // The window may belong to a parent window by now; it must not outlive us
    // because its buttons call back into this controller.
    delete m_window.data();
}

QDialog *WindowController::window()
{
    if (!m_window) {
        m_window = loadWindow();
        connect(m_window.data(), &QDialog::finished, this, &WindowController::windowEnded);
    }
    return m_window;
}

int WindowController::showWindow(QWidget *parentWindow)
{
    if (parentWindow) {
        beginSheet(parentWindow);
        return -1;
    }
    return runModal();
}

void WindowController::beginSheet(QWidget *parentWindow)
{
    QDialog *w = window();
    QWidget *top = parentWindow ? parentWindow->window() : nullptr;
    if (w->parentWidget() != top)
        w->setParent(top, w->windowFlags() | Qt::Dialog);
#ifdef Q_OS_MACOS
    w->setWindowFlag(Qt::Sheet, true);
#endif
    w->setWindowModality(top ? Qt::WindowModal : Qt::ApplicationModal);
    w->open();
}

int WindowController::runModal()
{
    QDialog *w = window();
    if (w->parentWidget())
        w->setParent(nullptr, w->windowFlags() | Qt::Dialog);
    w->setWindowModality(Qt::ApplicationModal);
    // The application comes to the front first, as at the first start.
    w->show();
    w->raise();
    w->activateWindow();
    QPointer<QDialog> guard(w);
    const int result = w->exec();
    return guard ? result : QDialog::Rejected;
}

void WindowController::endWindow(int result)
{
    if (m_window)
        m_window->done(result);
}

} // namespace quillon
