#include "windows/EULAWindowController.h"

#include "core/AppFolders.h"
#include "core/SystemLog.h"
#include "ui_EULA.h"
#include "windows/PrintSettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QStandardPaths>

namespace quillon {
namespace {

// Esc and the window manager's close button end up in reject(); they must take
// the same road as the window's own buttons.
class EULAWindow : public QDialog {
public:
    std::function<void()> onReject;
    void reject() override
    {
        if (onReject)
            onReject();
        else
            QDialog::reject();
    }
};

} // namespace

EULAWindowController::EULAWindowController(QObject *parent)
    : WindowController(parent)
    , m_agreementResource(defaultAgreementResource())
{
}

EULAWindowController::~EULAWindowController() = default;

QString EULAWindowController::defaultAgreementResource()
{
    return QStringLiteral(":/text/EULA.txt");
}

void EULAWindowController::setIsHideLicenseButtons(bool hide)
{
    if (!isWindowLoaded())
        m_hideLicenseButtons = hide;
}

void EULAWindowController::setAgreementResource(const QString &path)
{
    if (!isWindowLoaded())
        m_agreementResource = path;
}

void EULAWindowController::setQuitHandler(std::function<void()> quit)
{
    m_quit = std::move(quit);
}

QString EULAWindowController::proposedPdfName()
{
    return getAppTitle(QStringLiteral(" End-User License Agreement.pdf"));
}

QDialog *EULAWindowController::loadWindow()
{
    auto *window = new EULAWindow;
    ui = std::make_unique<Ui::EULA>();
    ui->setupUi(window);
    connect(ui->printButton, &QPushButton::clicked, this, &EULAWindowController::printAction);
    connect(ui->saveAsButton, &QPushButton::clicked, this, &EULAWindowController::saveAsAction);
    connect(ui->closeButton, &QPushButton::clicked, this, &EULAWindowController::closeAction);
    connect(ui->agreeButton, &QPushButton::clicked, this, &EULAWindowController::agreeAction);
    connect(ui->disagreeButton, &QPushButton::clicked, this, &EULAWindowController::disAgreeAction);
    window->onReject = [this] {
        if (m_hideLicenseButtons)
            closeAction();
        else
            disAgreeAction();
    };
    awakeFromNib(window);
    return window;
}

void EULAWindowController::awakeFromNib(QDialog *window)
{
    const QString title = getAppTitle();
    window->setWindowTitle(QStringLiteral("%1 End-User License Agreement").arg(title));
    ui->headerLabel->setText(QStringLiteral("%1 End-User License Agreement:").arg(title));

    QString text;
    QFile file(m_agreementResource);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        text = QString::fromUtf8(file.readAll());
    else
        logError(QStringLiteral("Error in showEULA : %1: %2").arg(m_agreementResource, file.errorString()));
    text.replace(QStringLiteral("##APPTITLE##"), title);
    ui->descriptionTextView->setPlainText(text);

    ui->closeButton->setHidden(!m_hideLicenseButtons);
    ui->agreeButton->setHidden(m_hideLicenseButtons);
    ui->disagreeButton->setHidden(m_hideLicenseButtons);
    (m_hideLicenseButtons ? ui->closeButton : ui->agreeButton)->setDefault(true);

    ui->printButton->setToolTip(QStringLiteral("Click to print End-User License Agreement."));
    ui->saveAsButton->setToolTip(QStringLiteral("Click to save End-User License Agreement."));
    ui->disagreeButton->setToolTip(QStringLiteral("Click on disagree to refuse End-User License Agreement."));
    ui->agreeButton->setToolTip(QStringLiteral("Click on agree to accept End-User License Agreement."));
    ui->closeButton->setToolTip(QStringLiteral("Click to close dialog."));
}

void EULAWindowController::printAction()
{
    QDialog *w = window();
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setPageLayout(sharedPageLayout());
    m_printer->setDocName(getAppTitle(QStringLiteral(" End-User License Agreement")));
    auto *dialog = new QPrintDialog(m_printer.get(), w);
    dialog->setObjectName(QStringLiteral("printDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog->setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog->setWindowModality(Qt::WindowModal);
    QPrinter *printer = m_printer.get();
    connect(dialog, &QDialog::accepted, this, [this, printer] {
        if (!ui || printer != m_printer.get())
            return;
        ui->descriptionTextView->print(printer);
        setSharedPageLayout(printer->pageLayout());
    });
    dialog->open();
}

void EULAWindowController::saveAsAction()
{
    QDialog *w = window();
    auto *dialog = new QFileDialog(w);
    dialog->setObjectName(QStringLiteral("saveAsDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters({QStringLiteral("PDF (*.pdf)")});
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    // The user's documents folder, else home: never the process's working folder.
    for (const auto location : {QStandardPaths::DocumentsLocation, QStandardPaths::HomeLocation}) {
        const QString folder = QStandardPaths::writableLocation(location);
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            dialog->setDirectory(folder);
            break;
        }
    }
    dialog->selectFile(proposedPdfName());
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        const QStringList files = dialog->selectedFiles();
        didEnd(result, files.value(0));
    });
    dialog->open();
}

void EULAWindowController::didEnd(int returnCode, const QString &path)
{
    if (returnCode != QDialog::Accepted || path.isEmpty())
        return;
    QString target = path;
    if (QFileInfo(target).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        target += QLatin1String(".pdf");
    QString error;
    const bool ok = writePdf(target, &error);
    // The user is not told; the reason goes to the system log for support.
    if (!ok)
        logError(QStringLiteral("Error in (saveAsAction:) : %1").arg(error));
    emit pdfSaved(target, ok);
}

bool EULAWindowController::writePdf(const QString &path, QString *error)
{
    window();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(sharedPageLayout());
        writer.setTitle(getAppTitle(QStringLiteral(" End-User License Agreement")));
        writer.setCreator(getAppTitle());
        // QTextEdit::print lays a copy of the document out page by page.
        ui->descriptionTextView->print(&writer);
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void EULAWindowController::closeAction()
{
    endWindow(Closed);
}

void EULAWindowController::agreeAction()
{
    endWindow(Agreed);
}

void EULAWindowController::disAgreeAction()
{
    endWindow(Disagreed);
    if (m_quit)
        m_quit();
    else
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

} // namespace quillon
