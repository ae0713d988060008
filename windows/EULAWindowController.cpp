#include "windows/EULAWindowController.h"

#include "core/AppFolders.h"
#include "core/SystemLog.h"
#include "ui_EULA.h"
#include "windows/PrintSettings.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPageRanges>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTextFrame>

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

// Lays the text out on the device's pages (inside the page layout's margins)
// and paints them with a page number below each. The view's own document is
// wrapped to the widget's width, so it is not printed as it is.
bool paintPages(const QString &text, const QFont &font, QPagedPaintDevice *device, const QPageRanges &ranges)
{
    const qreal dpi = device->logicalDpiY();
    const QRectF area = device->pageLayout().paintRectPixels(device->logicalDpiX());
    const qreal footer = dpi * 0.3;
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(device);
    QFont paper = font;
    paper.setPointSizeF(qMax<qreal>(font.pointSizeF(), 10)); // screen sizes are small on paper
    doc.setDefaultFont(paper);
    doc.setPlainText(text);
    QTextFrameFormat root = doc.rootFrame()->frameFormat();
    root.setMargin(0);
    doc.rootFrame()->setFrameFormat(root);
    const QSizeF body(area.width(), area.height() - footer);
    doc.setPageSize(body);

    const int pages = doc.pageCount();
    QPainter painter;
    if (!painter.begin(device))
        return false;
    QFont small = paper;
    small.setPointSizeF(paper.pointSizeF() * 0.8);
    bool first = true;
    for (int page = 0; page < pages; ++page) {
        if (!ranges.isEmpty() && !ranges.contains(page + 1))
            continue;
        if (!first && !device->newPage())
            return false;
        first = false;
        painter.save();
        const QRectF view(0, page * body.height(), body.width(), body.height());
        painter.translate(0, -view.top());
        doc.drawContents(&painter, view);
        painter.restore();
        painter.setFont(small);
        painter.drawText(QRectF(0, body.height(), area.width(), footer), Qt::AlignHCenter | Qt::AlignBottom,
                         EULAWindowController::tr("%1 of %2").arg(page + 1).arg(pages));
    }
    return painter.end();
}

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
    return tr("%1 End-User License Agreement.pdf").arg(getAppTitle());
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
    window->setWindowTitle(tr("%1 End-User License Agreement").arg(title));
    ui->headerLabel->setText(tr("%1 End-User License Agreement:").arg(title));

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

    ui->printButton->setToolTip(tr("Click to print End-User License Agreement."));
    ui->saveAsButton->setToolTip(tr("Click to save End-User License Agreement."));
    ui->disagreeButton->setToolTip(tr("Click on disagree to refuse End-User License Agreement."));
    ui->agreeButton->setToolTip(tr("Click on agree to accept End-User License Agreement."));
    ui->closeButton->setToolTip(tr("Click to close dialog."));
}

void EULAWindowController::printAction()
{
    QDialog *w = window();
    m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_printer->setPageLayout(sharedPageLayout());
    m_printer->setDocName(tr("%1 End-User License Agreement").arg(getAppTitle()));
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
        paintPages(ui->descriptionTextView->toPlainText(), ui->descriptionTextView->font(), printer,
                   printer->printRange() == QPrinter::PageRange ? printer->pageRanges() : QPageRanges());
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
    QPdfWriter writer(&file);
    writer.setPageLayout(sharedPageLayout());
    writer.setTitle(tr("%1 End-User License Agreement").arg(getAppTitle()));
    writer.setCreator(getAppTitle());
    const bool painted = paintPages(ui->descriptionTextView->toPlainText(), ui->descriptionTextView->font(), &writer, {});
    if (!painted) {
        if (error)
            *error = QStringLiteral("The PDF could not be drawn.");
        return false; // QSaveFile drops the temporary file
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
