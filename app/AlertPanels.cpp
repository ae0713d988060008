#include "app/AlertPanels.h"

#include "core/AppFolders.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace quillon {
namespace {

const char kReturnCode[] = "alertReturnCode";

// Message texts keep the "\r\n" line ends they are written with; a label
// wants plain "\n".
QString displayText(QString text) { return text.replace(QLatin1String("\r\n"), QLatin1String("\n")); }

QMessageBox *makeAlert(QWidget *window, QMessageBox::Icon icon, const QString &title, const QString &msg,
                       const QStringList &buttons)
{
    auto *box = new QMessageBox(window);
    box->setIcon(icon);
    box->setWindowTitle(getAppTitle());
    box->setText(displayText(title));
    box->setInformativeText(displayText(msg));
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QPushButton *first = nullptr;
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons.at(i).isEmpty())
            continue;
        const QMessageBox::ButtonRole role = i == 0 ? QMessageBox::AcceptRole : (i == 1 ? QMessageBox::RejectRole : QMessageBox::ActionRole);
        QPushButton *b = box->addButton(buttons.at(i), role);
        b->setProperty(kReturnCode, AlertFirstButtonReturn + i);
        if (!first)
            first = b;
    }
    if (!first) {
        first = box->addButton(QMessageBox::Ok);
        first->setProperty(kReturnCode, int(AlertFirstButtonReturn));
    }
    box->setDefaultButton(first);
    return box;
}

int returnCodeOf(QMessageBox *box)
{
    QAbstractButton *b = box->clickedButton();
    if (b && b->property(kReturnCode).isValid())
        return b->property(kReturnCode).toInt();
    // Escape or the window's close button: the button that cancels, else the default.
    QAbstractButton *escape = box->escapeButton();
    if (escape && escape->property(kReturnCode).isValid())
        return escape->property(kReturnCode).toInt();
    return AlertFirstButtonReturn;
}

int runModal(QMessageBox *box)
{
    // The box may lose its parent (and be deleted with it) while the loop runs.
    QPointer<QMessageBox> guard(box);
    box->exec();
    if (!guard)
        return AlertFirstButtonReturn;
    const int code = returnCodeOf(box);
    delete box;
    return code;
}

} // namespace

int informationAlertPanel(QWidget *window, const QString &title, const QString &msg)
{
    return runModal(makeAlert(window, QMessageBox::Critical, title, msg, {QString()}));
}

int infoAlertPanel(QWidget *window, const QString &title, const QString &msg)
{
    return runModal(makeAlert(window, QMessageBox::Information, title, msg, {QString()}));
}

int criticalAlertPanel(QWidget *window, const QString &title, const QString &msg, const QString &defaultButton,
                       const QString &alternateButton, const QString &otherButton)
{
    return runModal(makeCriticalAlert(window, title, msg, defaultButton, alternateButton, otherButton));
}

int applicationModalAlertPanel(QWidget *window, const QString &title, const QString &msg, const QString &defaultButton,
                               const QString &alternateButton)
{
    QMessageBox *box = makeAlert(window, QMessageBox::Critical, title, msg, {defaultButton, alternateButton});
    box->setWindowModality(Qt::ApplicationModal);
    return runModal(box);
}

QMessageBox *makeCriticalAlert(QWidget *window, const QString &title, const QString &msg, const QString &defaultButton,
                               const QString &alternateButton, const QString &otherButton)
{
    return makeAlert(window, QMessageBox::Critical, title, msg, {defaultButton, alternateButton, otherButton});
}

void beginSheetModalForWindow(QMessageBox *alert, QWidget *window, std::function<void(int)> completion)
{
    if (!alert)
        return;
    if (window && alert->parentWidget() != window)
        alert->setParent(window, alert->windowFlags());
    alert->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(alert, &QMessageBox::finished, alert, [alert, completion = std::move(completion)](int) {
        const int code = returnCodeOf(alert);
        alert->deleteLater();
        if (completion)
            completion(code);
    });
    alert->open();
}

int editionAlertPanel(QWidget *window, const QString &title, const QString &msg, bool applicationModal)
{
    return applicationModal ? applicationModalAlertPanel(window, title, msg) : informationAlertPanel(window, title, msg);
}

} // namespace quillon
