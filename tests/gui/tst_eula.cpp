// The licence agreement window: its two modes, texts and tool tips, the title
// put into the agreement, Agree / Disagree / Close / Escape, printing, and the
// PDF it saves (opened again and read: frame, pages, text).
#include "core/AppFolders.h"
#include "core/SystemLog.h"
#include "tst_help_pdfreader.h"
#include "windows/AppWindows.h"
#include "windows/EULAWindowController.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

using namespace quillon;

namespace {

template<typename T>
T *outlet(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

QString agreementSource()
{
    QFile f(EULAWindowController::defaultAgreementResource());
    return f.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(f.readAll()) : QString();
}

pdftest::PdfContent readPdfFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return pdftest::readPdf(f.readAll());
}

// Runs fn as soon as the nested event loop of a modal window is running.
void whenModal(std::function<void()> fn)
{
    QTimer::singleShot(0, qApp, [fn] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        fn();
    });
}

} // namespace

class EulaTest : public QObject {
    Q_OBJECT
private slots:
    void init() { startCapturingLog(); }
    void cleanup() { stopCapturingLog(); }

    void modes_data();
    void modes();
    void texts();
    void titleReplacement_data();
    void titleReplacement();
    void shippedAgreement();
    void modeIsFixedOnceLoaded();
    void acceptanceRun_data();
    void acceptanceRun();
    void viewingSheet_data();
    void viewingSheet();
    void saveAsPanel();
    void saveAsWritesPdf_data();
    void saveAsWritesPdf();
    void saveAsFailureLeavesWindowOpen();
    void saveReplacesWholeFile();
    void printDialog();
    void printedPages_data();
    void printedPages();
    void appEntryPoints();
};

void EulaTest::modes_data()
{
    QTest::addColumn<bool>("hideLicenseButtons");
    QTest::newRow("viewing") << true;
    QTest::newRow("acceptance") << false;
}

void EulaTest::modes()
{
    QFETCH(bool, hideLicenseButtons);
    EULAWindowController c;
    QVERIFY(!c.isHideLicenseButtons()); // a new controller asks for acceptance
    c.setIsHideLicenseButtons(hideLicenseButtons);
    QDialog *w = c.window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(outlet<QPushButton>(w, "closeButton")->isVisible(), hideLicenseButtons);
    QCOMPARE(outlet<QPushButton>(w, "agreeButton")->isVisible(), !hideLicenseButtons);
    QCOMPARE(outlet<QPushButton>(w, "disagreeButton")->isVisible(), !hideLicenseButtons);
    QVERIFY(outlet<QPushButton>(w, "printButton")->isVisible());
    QVERIFY(outlet<QPushButton>(w, "saveAsButton")->isVisible());
    // Enter never reaches a hidden button.
    auto *def = outlet<QPushButton>(w, hideLicenseButtons ? "closeButton" : "agreeButton");
    QVERIFY(def->isDefault());
}

void EulaTest::texts()
{
    EULAWindowController c;
    QDialog *w = c.window();
    QCOMPARE(w->objectName(), QStringLiteral("EULA"));
    QCOMPARE(outlet<QLabel>(w, "headerLabel")->text(), QStringLiteral("Quillon Converter End-User License Agreement:"));
    const struct {
        const char *control;
        const char *tip;
    } tips[] = {
        {"printButton", "Click to print End-User License Agreement."},
        {"saveAsButton", "Click to save End-User License Agreement."},
        {"disagreeButton", "Click on disagree to refuse End-User License Agreement."},
        {"agreeButton", "Click on agree to accept End-User License Agreement."},
        {"closeButton", "Click to close dialog."},
    };
    for (const auto &t : tips)
        QCOMPARE(outlet<QPushButton>(w, t.control)->toolTip(), QLatin1String(t.tip));
    auto *view = outlet<QTextEdit>(w, "descriptionTextView");
    QVERIFY(view->isReadOnly());
}

void EulaTest::titleReplacement_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no placeholder") << QStringLiteral("Plain terms.\n\n1. Use it well.")
                                    << QStringLiteral("Plain terms.\n\n1. Use it well.");
    QTest::newRow("several") << QStringLiteral("##APPTITLE## is licensed.\nUse ##APPTITLE## (##APPTITLE##).")
                             << QStringLiteral("Quillon Converter is licensed.\nUse Quillon Converter (Quillon Converter).");
    QTest::newRow("adjacent") << QStringLiteral("##APPTITLE####APPTITLE##")
                              << QStringLiteral("Quillon ConverterQuillon Converter");
    QTest::newRow("near misses stay") << QStringLiteral("#APPTITLE# ##apptitle## ##APPTITLE")
                                      << QStringLiteral("#APPTITLE# ##apptitle## ##APPTITLE");
    QTest::newRow("markup stays text") << QStringLiteral("<b>##APPTITLE##</b> & co")
                                       << QStringLiteral("<b>Quillon Converter</b> & co");
    QTest::newRow("empty") << QString() << QString();
}

void EulaTest::titleReplacement()
{
    QFETCH(QString, source);
    QFETCH(QString, shown);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("agreement.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(source.toUtf8());
    f.close();

    EULAWindowController c;
    c.setAgreementResource(path);
    auto *view = outlet<QTextEdit>(c.window(), "descriptionTextView");
    QCOMPARE(view->toPlainText(), shown);
}

void EulaTest::shippedAgreement()
{
    const QString source = agreementSource();
    const int placeholders = int(source.count(QLatin1String("##APPTITLE##")));
    QVERIFY(placeholders > 3);
    EULAWindowController c;
    const QString shown = outlet<QTextEdit>(c.window(), "descriptionTextView")->toPlainText();
    QVERIFY(!shown.contains(QLatin1String("##")));
    QVERIFY(shown.startsWith(QLatin1String("Quillon Converter End-User License Agreement")));
    QCOMPARE(int(shown.count(getAppTitle())), int(source.count(getAppTitle())) + placeholders);
    QCOMPARE(shown.size(), source.size() + placeholders * (getAppTitle().size() - 12));
    QVERIFY(capturedLog().isEmpty());
}

void EulaTest::modeIsFixedOnceLoaded()
{
    EULAWindowController c;
    QDialog *w = c.window();
    c.setIsHideLicenseButtons(true);
    QVERIFY(!c.isHideLicenseButtons());
    QVERIFY(outlet<QPushButton>(w, "closeButton")->isHidden());
    QVERIFY(!outlet<QPushButton>(w, "agreeButton")->isHidden());
}

void EulaTest::acceptanceRun_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("quits");
    QTest::newRow("agree") << QStringLiteral("agreeButton") << int(EULAWindowController::Agreed) << 0;
    QTest::newRow("disagree") << QStringLiteral("disagreeButton") << int(EULAWindowController::Disagreed) << 1;
    // The agreement cannot be bypassed by closing its window.
    QTest::newRow("escape") << QStringLiteral("escape") << int(EULAWindowController::Disagreed) << 1;
    QTest::newRow("window closed") << QStringLiteral("close") << int(EULAWindowController::Disagreed) << 1;
}

void EulaTest::acceptanceRun()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    QFETCH(int, quits);

    EULAWindowController c;
    int quitCalls = 0;
    c.setQuitHandler([&] { ++quitCalls; });
    QDialog *w = c.window();
    bool wasAppModal = false;
    whenModal([&] {
        wasAppModal = w->isVisible() && w->windowModality() == Qt::ApplicationModal && !w->parentWidget();
        if (how == QLatin1String("escape"))
            QTest::keyClick(w, Qt::Key_Escape);
        else if (how == QLatin1String("close"))
            w->close();
        else
            QTest::mouseClick(outlet<QPushButton>(w, qPrintable(how)), Qt::LeftButton);
    });
    QCOMPARE(c.showWindow(nullptr), result);
    QVERIFY(wasAppModal);
    QVERIFY(!w->isVisible());
    QCOMPARE(quitCalls, quits);
}

void EulaTest::viewingSheet_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("close button") << false;
    QTest::newRow("escape") << true;
}

void EulaTest::viewingSheet()
{
    QFETCH(bool, byEscape);
    QMainWindow main;
    main.resize(800, 600);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    EULAWindowController c;
    int quitCalls = 0;
    c.setQuitHandler([&] { ++quitCalls; });
    c.setIsHideLicenseButtons(true);
    QSignalSpy ended(&c, &WindowController::windowEnded);
    QCOMPARE(c.showWindow(&main), -1);
    QDialog *w = c.window();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowModality(), Qt::WindowModal);
    QCOMPARE(w->parentWidget(), &main);
    if (byEscape)
        QTest::keyClick(w, Qt::Key_Escape);
    else
        QTest::mouseClick(outlet<QPushButton>(w, "closeButton"), Qt::LeftButton);
    QTRY_VERIFY(!w->isVisible());
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().toInt(), int(EULAWindowController::Closed));
    QCOMPARE(quitCalls, 0);
}

void EulaTest::saveAsPanel()
{
    QTemporaryDir tmp;
    EULAWindowController c;
    QDialog *w = c.window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QSignalSpy saved(&c, &EULAWindowController::pdfSaved);
    QTest::mouseClick(outlet<QPushButton>(w, "saveAsButton"), Qt::LeftButton);
    QFileDialog *panel = nullptr;
    QTRY_VERIFY((panel = w->findChild<QFileDialog *>()) && panel->isVisible());
    QCOMPARE(panel->windowModality(), Qt::WindowModal);
    QCOMPARE(panel->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(panel->nameFilters(), QStringList{QStringLiteral("PDF (*.pdf)")});
    QCOMPARE(panel->defaultSuffix(), QStringLiteral("pdf"));
    // The two-word title, a space, the words, and the pdf extension.
    QCOMPARE(QFileInfo(panel->selectedFiles().value(0)).fileName(),
             QStringLiteral("Quillon Converter End-User License Agreement.pdf"));
    // Cancel writes nothing and leaves the window open.
    panel->setDirectory(tmp.path());
    panel->selectFile(tmp.filePath(QStringLiteral("x.pdf")));
    panel->reject();
    QTest::qWait(0);
    QCOMPARE(saved.size(), 0);
    QVERIFY(QDir(tmp.path()).isEmpty());
    QVERIFY(w->isVisible());
}

void EulaTest::saveAsWritesPdf_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("proposed name") << QStringLiteral("Quillon Converter End-User License Agreement.pdf")
                                   << QStringLiteral("Quillon Converter End-User License Agreement.pdf");
    QTest::newRow("upper-case extension") << QStringLiteral("terms.PDF") << QStringLiteral("terms.PDF");
    // Limited to pdf: another extension does not make a .txt file of a PDF.
    QTest::newRow("other extension") << QStringLiteral("terms.txt") << QStringLiteral("terms.txt.pdf");
}

void EulaTest::saveAsWritesPdf()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());

    EULAWindowController c;
    c.setIsHideLicenseButtons(true);
    QDialog *w = c.window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QSignalSpy saved(&c, &EULAWindowController::pdfSaved);
    QTest::mouseClick(outlet<QPushButton>(w, "saveAsButton"), Qt::LeftButton);
    QFileDialog *panel = nullptr;
    QTRY_VERIFY((panel = w->findChild<QFileDialog *>()) && panel->isVisible());
    panel->setDirectory(tmp.path());
    panel->selectFile(tmp.filePath(typed));
    static_cast<QDialog *>(panel)->accept(); // QFileDialog hides its override
    QTRY_COMPARE(saved.size(), 1);
    const QString path = tmp.filePath(written);
    QCOMPARE(saved.first().at(0).toString(), path);
    QVERIFY(saved.first().at(1).toBool());
    QVERIFY(w->isVisible()); // saving leaves the window open
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{written});

    const pdftest::PdfContent pdf = readPdfFile(path);
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    QVERIFY(pdf.framed);
    QCOMPARE(pdf.pageCount, pdf.declaredPages);
    // The agreement is longer than a page: it was paginated, not cut off.
    QVERIFY2(pdf.pageCount >= 2, qPrintable(QString::number(pdf.pageCount)));
    const QString text = pdf.flatText();
    const QString shown = outlet<QTextEdit>(w, "descriptionTextView")->toPlainText().simplified();
    QVERIFY(text.startsWith(QLatin1String("Quillon Converter End-User License Agreement Please read")));
    QVERIFY(!text.contains(QLatin1String("##APPTITLE##")));
    // Everything shown is in the PDF, in order (page numbers aside; lines may
    // break after a hyphen).
    const QStringList words = shown.split(QRegularExpression(QStringLiteral("[\\s-]+")), Qt::SkipEmptyParts);
    qsizetype at = 0;
    for (const QString &word : words) {
        const qsizetype next = text.indexOf(word, at);
        QVERIFY2(next >= 0, qPrintable(word));
        at = next + word.size();
    }
}

void EulaTest::saveAsFailureLeavesWindowOpen()
{
    QTemporaryDir tmp;
    EULAWindowController c;
    QDialog *w = c.window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QSignalSpy saved(&c, &EULAWindowController::pdfSaved);
    const QString path = tmp.filePath(QStringLiteral("missing/folder/terms.pdf"));
    c.didEnd(QDialog::Accepted, path);
    QCOMPARE(saved.size(), 1);
    QVERIFY(!saved.first().at(1).toBool());
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(w->isVisible());
    const QStringList log = capturedLog();
    QCOMPARE(log.size(), 1);
    QVERIFY(log.first().startsWith(QLatin1String("Error in (saveAsAction:) : ")));
}

void EulaTest::saveReplacesWholeFile()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("terms.pdf"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4 * 1024 * 1024, 'x')); // larger than the PDF
    }
    EULAWindowController c;
    QString error;
    QVERIFY2(c.writePdf(path, &error), qPrintable(error));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    QVERIFY(!data.contains("xxxxxxxx"));
    QVERIFY(pdftest::readPdf(data).framed);
    // No temporary file is left beside it.
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("terms.pdf")});
}

void EulaTest::printDialog()
{
    EULAWindowController c;
    c.setIsHideLicenseButtons(true);
    QDialog *w = c.window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::mouseClick(outlet<QPushButton>(w, "printButton"), Qt::LeftButton);
    QPrintDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = w->findChild<QPrintDialog *>()) && dialog->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    QCOMPARE(dialog->parentWidget(), w);
    QVERIFY(dialog->printer());
    QVERIFY(dialog->printer()->docName().contains(QLatin1String("End-User License Agreement")));
    QPointer<QPrintDialog> guard(dialog);
    dialog->reject();
    QTRY_VERIFY(guard.isNull()); // not kept after it ends
    QVERIFY(w->isVisible());
}

void EulaTest::printedPages_data()
{
    QTest::addColumn<bool>("secondPageOnly");
    QTest::newRow("all pages") << false;
    QTest::newRow("page 2 only") << true;
}

void EulaTest::printedPages()
{
    // What Print sends to the printer once its dialog is accepted, with the
    // dialog's printer pointed at a PDF file.
    QFETCH(bool, secondPageOnly);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("printed.pdf"));
    EULAWindowController c;
    QDialog *w = c.window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::mouseClick(outlet<QPushButton>(w, "printButton"), Qt::LeftButton);
    QPrintDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = w->findChild<QPrintDialog *>()) && dialog->isVisible());
    QPrinter *printer = dialog->printer();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    if (secondPageOnly) {
        printer->setPrintRange(QPrinter::PageRange);
        printer->setFromTo(2, 2);
    }
    dialog->hide();
    emit dialog->accepted();
    dialog->reject();

    // The saved PDF has the same pages, so it tells how many there are.
    const QString whole = tmp.filePath(QStringLiteral("whole.pdf"));
    QVERIFY(c.writePdf(whole));
    const int pages = readPdfFile(whole).pageCount;
    QVERIFY(pages >= 2);

    const pdftest::PdfContent pdf = readPdfFile(path);
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    const QString text = pdf.flatText();
    QCOMPARE(pdf.pageCount, secondPageOnly ? 1 : pages);
    QCOMPARE(text.contains(QLatin1String("Please read this agreement carefully")), !secondPageOnly);
    QVERIFY(text.contains(QStringLiteral("%1 of %2").arg(secondPageOnly ? 2 : pages).arg(pages)));
    QCOMPARE(text.contains(QStringLiteral("1 of %1").arg(pages)), !secondPageOnly);
}

void EulaTest::appEntryPoints()
{
    QMainWindow main;
    main.resize(800, 600);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    QPointer<EULAWindowController> first = showLicenseAgreement(&main);
    QVERIFY(first);
    QVERIFY(first->isHideLicenseButtons());
    QVERIFY(QTest::qWaitForWindowExposed(first->window()));
    QCOMPARE(first->window()->windowModality(), Qt::WindowModal);
    QPointer<EULAWindowController> second = showLicenseAgreement(&main);
    QVERIFY(first.isNull());
    QVERIFY(second);
    QDialog *w = second->window();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::mouseClick(outlet<QPushButton>(w, "closeButton"), Qt::LeftButton);
    QTRY_VERIFY(!w->isVisible());

    // The first start: acceptance mode, application-modal; the previous
    // viewing window is dropped.
    whenModal([] {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(modal);
        QVERIFY(outlet<QPushButton>(modal, "closeButton")->isHidden());
        QTest::mouseClick(outlet<QPushButton>(modal, "agreeButton"), Qt::LeftButton);
    });
    QVERIFY(runLicenseAgreement());
    QVERIFY(second.isNull());
}

QTEST_MAIN(EulaTest)
#include "tst_eula.moc"
