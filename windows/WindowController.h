#pragma once
#include <QDialog>
#include <QObject>
#include <QPointer>

class QWidget;

namespace quillon {

// Base of the small windows that are shown either as a sheet on a parent window
// or application-modally. The window is built lazily on the first call of
// window(), so settings that change how it is filled (EULA mode) can still be
// made after construction. The controller owns its window; destroying the
// controller closes the window, which is how a newer controller replaces an
// older one. Main thread only.
class WindowController : public QObject {
    Q_OBJECT
public:
    ~WindowController() override;

    // Builds and fills the window on first use.
    QDialog *window();
    bool isWindowLoaded() const { return !m_window.isNull(); }

    // With a parent: a window-modal sheet on the parent's top-level window
    // (QDialog::open), returns at once with -1. Without: the window is raised and
    // run application-modally (QDialog::exec); returns its result code.
    int showWindow(QWidget *parentWindow);
    void beginSheet(QWidget *parentWindow);
    int runModal();

    // Hides the window and ends its sheet or modal run with the given result.
    void endWindow(int result);

signals:
    // The sheet or modal run ended (any way, also by the window manager).
    void windowEnded(int result);

protected:
    explicit WindowController(QObject *parent = nullptr);
    // Builds the window from its .ui file and fills it (once).
    virtual QDialog *loadWindow() = 0;

private:
    QPointer<QDialog> m_window;
};

} // namespace quillon
