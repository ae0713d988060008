// The conversion flow through the window: the output settings sheet, the
// checks and messages of Convert, the output-folder panel, real runs in each
// mode, cancelling, the log, closing the progress sheet, and quitting mid-run.
#include "app/BilevelPreviewer.h"
#include "app/FileListModel.h"
#include "app/Sheets.h"
#include "app/UiLanguage.h"
#include "core/FileItem.h"
#include "core/Process.h"
#include "core/image/ImageSource.h"
#include "tst_app_support.h"
#include "usage/UsagesReportingWindowController.h"
#include "widgets/KeyCharacterButtons.h"
#include "widgets/NumberField.h"
#include "widgets/SegmentedControl.h"
#include "widgets/Stepper.h"

#include "app/UiForms.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QToolButton>

#include <tiffio.h>

using namespace quillon;
using namespace quillon::apptest;

// What the conversion core opens itself (the log) goes here instead of a viewer.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestConversion : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void outputSettingsSheet();
    void chooseDefaultFolderInSheet();
    void emptyFolderClearsKeepAsDefault();
    void storedCompressionShownAsWritten_data();
    void storedCompressionShownAsWritten();
    void missingNames_data();
    void missingNames();
    void convertEachMode_data();
    void convertEachMode();
    void progressNamesItsPair_data();
    void progressNamesItsPair();
    void convertAsksForFolder_data();
    void convertAsksForFolder();
    void unwritableChosenFolder();
    void lostSourcesAreReported();
    void cancelAndViewLog();
    void runEndNotification_data();
    void runEndNotification();
    void closeRemovesCheckedFiles();
    void timeLabelWithoutText();
    void quitDuringRunLeavesNoPartialFile_data();
    void quitDuringRunLeavesNoPartialFile();
    void bilevelPreview_data();
    void bilevelPreview();
    void newChoicesKeptAndShown();
    void retryFailed_data();
    void retryFailed();
    void germanWindow();

private:
    // nested: pN in src/a for odd N, src/b for even N
    std::unique_ptr<QuillonAppDelegate> openWithFiles(int count, const QString &outputFolder = QString(), bool nested = false);
    void waitUntilFinished(QuillonAppDelegate *app);
    QString unwritableFolder();
    QStringList outputNames(const QString &folder) const;

    std::unique_ptr<Fixture> m_fx;
    UrlCatcher m_catcher;
};

void TestConversion::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon Converter"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    setEdition(2);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_catcher, "open");
}

void TestConversion::cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

void TestConversion::init()
{
    m_fx = std::make_unique<Fixture>();
    m_catcher.urls.clear();
}

void TestConversion::cleanup()
{
    stopModalWatchers();
    QFile::setPermissions(m_fx->path(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    while (QWidget *w = QApplication::activeModalWidget())
        w->close();
    m_fx.reset();
}

std::unique_ptr<QuillonAppDelegate> TestConversion::openWithFiles(int count, const QString &outputFolder, bool nested)
{
    if (!outputFolder.isEmpty()) {
        // A stored default folder, as a previous session would have left it.
        QSettings *s = m_fx->store.get();
        QVariantMap map = s->value(QStringLiteral("SETTINGS")).toMap();
        map[QStringLiteral("outputFolderPath")] = outputFolder;
        map[QStringLiteral("isSetCurrentAsDefaultOutputFolderPath")] = true;
        map[QStringLiteral("isOpenFolderAfterConversion")] = false;
        s->setValue(QStringLiteral("SETTINGS"), map);
    }
    auto app = m_fx->makeWindow();
    if (!app->awakeFromNib() || !QTest::qWaitForWindowExposed(app->window()))
        return nullptr;
    const QString folder = m_fx->path(QStringLiteral("src"));
    for (int i = 1; i <= count; ++i)
        writeImage(QStringLiteral("%1/%2p%3.png").arg(folder, nested ? QString::fromLatin1(i % 2 ? "a/" : "b/") : QString()).arg(i), "PNG",
                   QColor::fromHsv(i * 30 % 360, 200, 200), QSize(40, 30));
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    app->loadURLs(Arguments{{QUrl::fromLocalFile(folder)}, true, nested});
    if (!done.wait(20000) || app->files().size() != count)
        return nullptr;
    return app;
}

// A check box is clicked where its box is: a wide one's middle may lie past its text.
static void clickBox(QAbstractButton *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

void TestConversion::waitUntilFinished(QuillonAppDelegate *app)
{
    QVERIFY(app->process());
    QTRY_VERIFY_WITH_TIMEOUT(app->processViewPanel()->ui()->closeProcessBtn->isEnabled(), 30000);
    QVERIFY(app->process()->isCompleted());
}

QString TestConversion::unwritableFolder()
{
    const QString folder = m_fx->path(QStringLiteral("locked"));
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    return folder;
}

QStringList TestConversion::outputNames(const QString &folder) const
{
    // With the folders below, as "sub/name.tiff".
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

void TestConversion::outputSettingsSheet()
{
    auto app = openWithFiles(5);
    QVERIFY(app);
    app->commandSegmented()->clickSegment(QuillonAppDelegate::OutputSettingsSegment);
    QTRY_VERIFY(app->outputSettingPanel()->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), app->outputSettingPanel());
    auto *ui = app->outputSettingPanel()->ui();
    QVERIFY(ui->singleImageTIFFBtn->isChecked());
    QVERIFY(!ui->groupMultiPageTIFFCount->isEnabled());
    QVERIFY(!ui->singleMultiPageTIFFName->isEnabled());

    QTest::mouseClick(ui->groupMultiPageTIFFBtn, Qt::LeftButton);
    QCOMPARE(app->settings()->combineOptionIndex(), 2);
    QCOMPARE(m_fx->store->value(QStringLiteral("SETTINGS")).toMap().value(QStringLiteral("combineOptionIndex")).toInt(), 2);
    QVERIFY(ui->groupMultiPageTIFFBtn->isChecked());
    QVERIFY(!ui->singleImageTIFFBtn->isChecked());
    QVERIFY(ui->groupMultiPageTIFFCount->isEnabled());
    QVERIFY(ui->groupMultiPageTIFFName->isEnabled());
    QVERIFY(!ui->singleMultiPageTIFFName->isEnabled());
    QCOMPARE(ui->groupMultiPageTIFFLabel1->palette().color(QPalette::WindowText),
             app->window()->palette().color(QPalette::Active, QPalette::WindowText));
    QCOMPARE(ui->singleImageTIFFLabel->palette().color(QPalette::WindowText),
             app->window()->palette().color(QPalette::Disabled, QPalette::WindowText));
    // 5 checked files in groups of 2.
    QVERIFY(app->ui()->labelTotalFiles->text().endsWith(QStringLiteral("to create: 3")));

    // The count field: "0" turns into 2 (tag 30001); the stepper steps the setting.
    ui->groupMultiPageTIFFCount->setFocus();
    ui->groupMultiPageTIFFCount->selectAll();
    QTest::keyClicks(ui->groupMultiPageTIFFCount, QStringLiteral("0"));
    QCOMPARE(ui->groupMultiPageTIFFCount->text(), QStringLiteral("2"));
    QTest::keyClicks(ui->groupMultiPageTIFFCount, QStringLiteral("5"));
    QCOMPARE(app->settings()->groupMultiPageTIFFCount(), 5);
    QVERIFY(app->ui()->labelTotalFiles->text().endsWith(QStringLiteral("to create: 1")));
    QTest::mouseClick(ui->groupMultiPageTIFFStepper->downButton(), Qt::LeftButton);
    QCOMPARE(app->settings()->groupMultiPageTIFFCount(), 4);
    QCOMPARE(ui->groupMultiPageTIFFCount->text(), QStringLiteral("4"));

    ui->groupMultiPageTIFFName->setFocus();
    QTest::keyClicks(ui->groupMultiPageTIFFName, QStringLiteral("Batch"));
    QCOMPARE(app->settings()->groupMultiPageTIFFName(), QStringLiteral("Batch"));
    ui->tiffCompressionPopup->setCurrentIndex(2);
    QCOMPARE(app->settings()->tiffCompressionIndex(), 2);
    QCOMPARE(app->ui()->summaryCompressionLabel->text(), QStringLiteral("CCITT Group 4 fax"));
    QTest::mouseClick(ui->clearProcessedFilesBtn, Qt::LeftButton);
    QVERIFY(app->settings()->isClearProcessedFiles());

    QTest::mouseClick(ui->closeOutputSettingBtn, Qt::LeftButton);
    QTRY_VERIFY(!app->outputSettingPanel()->isVisible());
    // Escape closes the sheet through the same steps.
    app->commandSegmented()->clickSegment(QuillonAppDelegate::OutputSettingsSegment);
    QTRY_VERIFY(app->outputSettingPanel()->isVisible());
    QTest::keyClick(app->outputSettingPanel(), Qt::Key_Escape);
    QTRY_VERIFY(!app->outputSettingPanel()->isVisible());
}

void TestConversion::chooseDefaultFolderInSheet()
{
    auto app = openWithFiles(1);
    QVERIFY(app);
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    app->showOutputSettings();
    auto *ui = app->outputSettingPanel()->ui();
    QVERIFY(!ui->setCurrentAsDefaultOutputFolderPathBtn->isEnabled());
    QTest::mouseClick(ui->chooseOutputFolderBtn, Qt::LeftButton);
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    QCOMPARE(panel->message(), QStringLiteral("Choose Output Folder : "));
    QCOMPARE(panel->parentWidget(), app->outputSettingPanel());
    choose(panel, {out});
    QCOMPARE(app->settings()->outputFolderPath(), out);
    QVERIFY(app->isOutputFolderSelected());
    QVERIFY(ui->setCurrentAsDefaultOutputFolderPathBtn->isEnabled());
    QCOMPARE(ui->outputFolderLabel->text(), out);
    QCOMPARE(m_fx->store->value(QStringLiteral("SETTINGS")).toMap().value(QStringLiteral("outputFolderPath")).toString(), out);
}

void TestConversion::emptyFolderClearsKeepAsDefault()
{
    auto app = openWithFiles(1, m_fx->path(QStringLiteral("src")));
    QVERIFY(app);
    QVERIFY(app->settings()->isSetCurrentAsDefaultOutputFolderPath());
    QVERIFY(app->isOutputFolderSelected());
    app->settings()->setOutputFolderPath(QString());
    QVERIFY(!app->isOutputFolderSelected());
    QVERIFY(!app->settings()->isSetCurrentAsDefaultOutputFolderPath());
    QVERIFY(!app->outputSettingPanel()->ui()->setCurrentAsDefaultOutputFolderPathBtn->isEnabled());
}

void TestConversion::storedCompressionShownAsWritten_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("method"); // COMPRESSIONMETHOD, "" for none stored
    QTest::addColumn<int>("shown");
    QTest::newRow("lzw") << 3 << QString() << 3;
    QTest::newRow("packbits") << 4 << QString() << 4;
    QTest::newRow("past the list") << 7 << QString() << 0;
    QTest::newRow("negative") << -2 << QString() << 0;
    QTest::newRow("deflate") << 3 << QStringLiteral("deflate") << 6;
    QTest::newRow("zstandard") << 3 << QStringLiteral("zstd") << 7;
    QTest::newRow("jpeg") << 3 << QStringLiteral("jpeg") << 8;
    // An older build chose PackBits since: its choice holds.
    QTest::newRow("jpeg, then packbits elsewhere") << 4 << QStringLiteral("jpeg") << 4;
    QTest::newRow("unknown method") << 3 << QStringLiteral("lzma") << 3;
}

// The popup must name the compression the run will use: an index it doesn't
// know writes uncompressed files.
void TestConversion::storedCompressionShownAsWritten()
{
    QFETCH(int, stored);
    QFETCH(QString, method);
    QFETCH(int, shown);
    QSettings *store = m_fx->store.get();
    QVariantMap map = store->value(QStringLiteral("SETTINGS")).toMap();
    map[QStringLiteral("tiffCompressionIndex")] = stored;
    store->setValue(QStringLiteral("SETTINGS"), map);
    if (!method.isEmpty())
        store->setValue(QStringLiteral("COMPRESSIONMETHOD"), method);
    auto app = m_fx->makeWindow();
    QVERIFY(app->awakeFromNib());
    auto *popup = app->outputSettingPanel()->ui()->tiffCompressionPopup;
    QCOMPARE(popup->currentIndex(), shown);
    QCOMPARE(int(app->settings()->compression()), shown);
    const QString summary = app->ui()->summaryCompressionLabel->text();
    QVERIFY2(summary == popup->currentText() || summary.startsWith(popup->currentText() + QStringLiteral(", ")), qPrintable(summary));
    // A level or quality control on only where the compression takes one.
    auto *ui = app->outputSettingPanel()->ui();
    QCOMPARE(ui->compressionLevelSpinBox->isEnabled(), shown == 6 || shown == 7);
    QCOMPARE(ui->jpegQualitySpinBox->isEnabled(), shown == 8);
    if (shown == 6 || shown == 7) // the command line's defaults
        QCOMPARE(ui->compressionLevelSpinBox->value(), shown == 6 ? 6 : 9);
    if (shown == 8)
        QCOMPARE(ui->jpegQualitySpinBox->value(), 90);
    if (shown == 0) {
        popup->setCurrentIndex(4); // choosing PackBits must take effect
        QCOMPARE(app->settings()->tiffCompressionIndex(), 4);
    }
}

void TestConversion::missingNames_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("one file") << 1 << QStringLiteral("Please enter new TIFF file name!");
    QTest::newRow("groups") << 2 << QStringLiteral("Please enter new TIFF file base name!");
}

void TestConversion::missingNames()
{
    QFETCH(int, mode);
    QFETCH(QString, message);
    auto app = openWithFiles(3, m_fx->path(QStringLiteral("src")));
    QVERIFY(app);
    app->settings()->setCombineOptionIndex(mode);
    app->settings()->setGroupMultiPageTIFFCount(1);
    app->setCombineOptions(mode);
    app->ui()->settingTabView->setCurrentIndex(1);
    auto alert = answerNextAlert(QStringLiteral("OK"));
    app->commandSegmented()->clickSegment(QuillonAppDelegate::ConvertSegment);
    QVERIFY(alert->seen);
    QCOMPARE(alert->text, QStringLiteral("Quillon Converter"));
    QCOMPARE(alert->informativeText, message);
    QCOMPARE(app->ui()->settingTabView->currentIndex(), 0);
    QVERIFY(!app->process() || !app->process()->isRunningInBackground());
    QVERIFY(!app->processViewPanel()->isVisible());
    // The name field is shown, ready to type into.
    QTRY_VERIFY(app->outputSettingPanel()->isVisible());
    auto *ui = app->outputSettingPanel()->ui();
    QWidget *field = mode == 1 ? static_cast<QWidget *>(ui->singleMultiPageTIFFName) : ui->groupMultiPageTIFFName;
    QTRY_VERIFY(field->hasFocus());
    // Group mode raised a size of 1 to 2, visibly.
    if (mode == 2) {
        QCOMPARE(app->settings()->groupMultiPageTIFFCount(), 2);
        QCOMPARE(ui->groupMultiPageTIFFCount->text(), QStringLiteral("2"));
    } else {
        QCOMPARE(app->settings()->groupMultiPageTIFFCount(), 1);
    }
}

void TestConversion::convertEachMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("compression");
    QTest::addColumn<QStringList>("expected");
    // Any of "xmp" (a sixth source, sub/p6.webp, with XMP), "level=N", "quality=N", "dpi=N",
    // "metadata" (Keep metadata), "mirror" (Recreate the source folders)
    QTest::addColumn<QString>("choices");
    QTest::addColumn<int>("tag"); // the Compression tag written
    const QStringList five{QStringLiteral("p1.tiff"), QStringLiteral("p2.tiff"), QStringLiteral("p3.tiff"), QStringLiteral("p4.tiff"),
                           QStringLiteral("p5.tiff")};
    QTest::newRow("each image, LZW") << 0 << 3 << five << QString() << int(COMPRESSION_LZW);
    QTest::newRow("one file, PackBits") << 1 << 4 << QStringList{QStringLiteral("All.tiff")} << QString() << int(COMPRESSION_PACKBITS);
    QTest::newRow("groups of 2, CCITT G4") << 2 << 2
                                           << QStringList{QStringLiteral("Set1.tiff"), QStringLiteral("Set2.tiff"), QStringLiteral("Set3.tiff")}
                                           << QString() << int(COMPRESSION_CCITTFAX4);
    QTest::newRow("each image, Deflate level 3, 150 dpi, XMP left out")
        << 0 << 6 << (five + QStringList{QStringLiteral("p6.tiff")}) << QStringLiteral("xmp level=3 dpi=150") << int(COMPRESSION_ADOBE_DEFLATE);
    QTest::newRow("each image, Zstandard, XMP kept, folders recreated")
        << 0 << 7 << (five + QStringList{QStringLiteral("sub/p6.tiff")}) << QStringLiteral("xmp metadata mirror") << int(COMPRESSION_ZSTD);
    QTest::newRow("one file, JPEG quality 40") << 1 << 8 << QStringList{QStringLiteral("All.tiff")} << QStringLiteral("quality=40")
                                               << int(COMPRESSION_JPEG);
    // Combined files have no folder of their own: the choice is off there.
    QTest::newRow("groups of 2, folders not recreated") << 2 << 3
                                                        << QStringList{QStringLiteral("Set1.tiff"), QStringLiteral("Set2.tiff"), QStringLiteral("Set3.tiff")}
                                                        << QStringLiteral("xmp mirror") << int(COMPRESSION_LZW);
}

void TestConversion::convertEachMode()
{
    QFETCH(int, mode);
    QFETCH(int, compression);
    QFETCH(QStringList, expected);
    QFETCH(QString, choices);
    QFETCH(int, tag);
    const QStringList chosen = choices.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    auto chosenNumber = [&chosen](const char *name) {
        for (const QString &c : chosen)
            if (c.startsWith(QLatin1String(name) + QLatin1Char('=')))
                return c.section(QLatin1Char('='), 1).toInt();
        return 0;
    };
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = openWithFiles(5, out);
    QVERIFY(app);
    const QString exifSource = m_fx->path(QStringLiteral("src/sub/p6.webp"));
    if (chosen.contains(QLatin1String("xmp"))) {
        QDir().mkpath(QFileInfo(exifSource).path());
        testing::CodecOptions withXmp;
        withXmp.xmp = QByteArray("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/>"
                                 "</x:xmpmeta>");
        QVERIFY(testing::writeWebp(exifSource, {testing::makePage(testing::PageKind::Rgb8, 40, 30)}, withXmp));
        QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
        app->loadURLs(Arguments{{QUrl::fromLocalFile(exifSource)}, false, false});
        QVERIFY(done.wait(20000));
    }
    const int sources = int(app->files().size());
    app->showOutputSettings();
    auto *ui = app->outputSettingPanel()->ui();
    QAbstractButton *modeButton = mode == 0 ? ui->singleImageTIFFBtn : (mode == 1 ? ui->singleMultiPageTIFFBtn : ui->groupMultiPageTIFFBtn);
    if (chosen.contains(QLatin1String("mirror")) && mode != 0)
        clickBox(ui->mirrorFoldersBtn); // chosen before the mode that rules it out
    QTest::mouseClick(modeButton, Qt::LeftButton);
    ui->singleMultiPageTIFFName->setText(QStringLiteral("All"));
    emit ui->singleMultiPageTIFFName->textEdited(QStringLiteral("All"));
    ui->groupMultiPageTIFFName->setText(QStringLiteral("Set"));
    emit ui->groupMultiPageTIFFName->textEdited(QStringLiteral("Set"));
    ui->tiffCompressionPopup->setCurrentIndex(compression);
    if (chosenNumber("level"))
        ui->compressionLevelSpinBox->setValue(chosenNumber("level"));
    if (chosenNumber("quality"))
        ui->jpegQualitySpinBox->setValue(chosenNumber("quality"));
    if (chosenNumber("dpi")) {
        ui->resolutionPopup->setCurrentIndex(1);
        ui->resolutionSpinBox->setValue(chosenNumber("dpi"));
    }
    if (chosen.contains(QLatin1String("metadata")))
        clickBox(ui->keepMetadataBtn);
    QCOMPARE(ui->mirrorFoldersBtn->isEnabled(), mode == 0);
    if (chosen.contains(QLatin1String("mirror")) && mode == 0) {
        clickBox(ui->mirrorFoldersBtn);
        QCOMPARE(ui->mirrorFoldersBtn->toolTip(), QStringLiteral("Recreate the folders below %1").arg(m_fx->path(QStringLiteral("src"))));
    }
    QCOMPARE(app->settings()->compressionLevel(), chosenNumber("level"));
    QCOMPARE(app->settings()->jpegQuality(), chosenNumber("quality") ? chosenNumber("quality") : 90);
    QCOMPARE(app->settings()->outputDpi(), chosenNumber("dpi"));
    QCOMPARE(app->settings()->isKeepMetadata(), chosen.contains(QLatin1String("metadata")));
    app->closeOutputSetting();
    if (chosenNumber("dpi")) // the summary tells what the run writes
        QVERIFY(app->ui()->summaryCompressionLabel->text().contains(QStringLiteral("%1 dpi").arg(chosenNumber("dpi"))));
    if (mode == 1) // the summary names the file the run will write
        QCOMPARE(app->ui()->summaryNameLabel->text(), expected.first());

    // A valid default folder: the run starts at once, without a panel.
    QSignalSpy closed(app.get(), &QuillonAppDelegate::processClosed);
    app->commandSegmented()->clickSegment(QuillonAppDelegate::ConvertSegment);
    QVERIFY(!activePanel());
    QTRY_VERIFY(app->processViewPanel()->isVisible());
    QVERIFY(app->isProcessing());
    QVERIFY(!app->mainTableView()->isEnabled());
    QVERIFY(!app->commandSegmented()->isSegmentEnabled(QuillonAppDelegate::OutputSettingsSegment));
    QVERIFY(!app->commandSegmented()->isSegmentEnabled(QuillonAppDelegate::ConvertSegment));
    QVERIFY(!app->ui()->cancelBtn->isEnabled());
    waitUntilFinished(app.get());

    auto *progress = app->processViewPanel()->ui();
    QCOMPARE(outputNames(out), expected);
    QCOMPARE(progress->progressBar->value(), sources);
    QCOMPARE(progress->progressBar->maximum(), sources);
    QVERIFY(!progress->cancelProcessBtn->isEnabled());
    QVERIFY(progress->viewLogBtn->isEnabled());
    QCOMPARE(progress->messageLabel->text(), app->process()->message());
    QVERIFY(progress->timeTakenLabel->text().startsWith(QStringLiteral("Total Time Taken : ")));
    QVERIFY(app->ui()->labelTimeTaken->text().endsWith(QStringLiteral("%1/%2").arg(sources).arg(expected.size())));
    // Each file as chosen: its compression, the resolution asked for, the metadata only when kept.
    for (const QString &name : expected) {
        std::unique_ptr<TIFF, decltype(&TIFFClose)> tif(TIFFOpen(QFile::encodeName(out + QLatin1Char('/') + name).constData(), "r"), &TIFFClose);
        QVERIFY2(tif, qPrintable(name));
        quint16 written = 0;
        QVERIFY(TIFFGetField(tif.get(), TIFFTAG_COMPRESSION, &written));
        QCOMPARE(int(written), tag);
        float xres = 0, yres = 0;
        const bool hasRes = TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres) && TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &yres);
        if (chosenNumber("dpi")) {
            QVERIFY(hasRes);
            QCOMPARE(xres, float(chosenNumber("dpi")));
            QCOMPARE(yres, float(chosenNumber("dpi")));
        }
        if (name.endsWith(QLatin1String("p6.tiff"))) {
            quint32 length = 0;
            void *packet = nullptr;
            QCOMPARE(bool(TIFFGetField(tif.get(), TIFFTAG_XMLPACKET, &length, &packet)), chosen.contains(QLatin1String("metadata")));
        }
    }
    // The log names a mirrored file in its own folder.
    if (chosen.contains(QLatin1String("mirror")) && mode == 0) {
        bool found = false;
        for (const LogFilesPtr &f : app->process()->log().files) {
            if (f->filename == QLatin1String("p6.tiff")) {
                QCOMPARE(f->targetPath, out + QStringLiteral("/sub"));
                found = true;
            }
        }
        QVERIFY(found);
    }
    // Group outputs hold their two (or one) pages.
    if (mode == 2)
        QCOMPARE(getTiffPageCount(QUrl::fromLocalFile(out + QStringLiteral("/Set1.tiff"))), 2);
    if (mode == 1)
        QCOMPARE(getTiffPageCount(QUrl::fromLocalFile(out + QStringLiteral("/All.tiff"))), 5);

    QTest::mouseClick(progress->closeProcessBtn, Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!app->processViewPanel()->isVisible());
    QVERIFY(!app->process());
    QVERIFY(!app->isProcessing());
    QVERIFY(app->mainTableView()->isEnabled());
    QVERIFY(app->commandSegmented()->isSegmentEnabled(QuillonAppDelegate::ConvertSegment));
    QCOMPARE(app->files().size(), sources); // not cleared: the setting is off
    // Counted under the mode's name.
    const QString feature = UsagesReportingWindowController::featureNameForCombineMode(mode);
    for (const FeatureUsages &f : app->usagesReport()->features()) {
        QCOMPARE(f.usagesCount(), f.name() == feature ? 1 : 0);
        QCOMPARE(f.filesCount(), f.name() == feature ? sources : 0);
    }
}

void TestConversion::progressNamesItsPair_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<bool>("mirrored"); // sources in three folders, recreated in the output folder
    QTest::newRow("each image, 3 jobs") << 0 << 3 << false;
    QTest::newRow("groups of 2, 3 jobs") << 2 << 3 << false;
    QTest::newRow("each image, 1 job") << 0 << 1 << false;
    QTest::newRow("each image, folders recreated, 3 jobs") << 0 << 3 << true;
}

// With several files in work at once, whatever the sheet shows is a source
// with its own output, never one file's source beside another's output.
void TestConversion::progressNamesItsPair()
{
    QFETCH(int, mode);
    QFETCH(int, jobs);
    QFETCH(bool, mirrored);
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = m_fx->makeWindow();
    QVERIFY(app->awakeFromNib());
    QVERIFY(QTest::qWaitForWindowExposed(app->window()));
    app->settings()->setOutputFolderPath(out);
    // Pages large enough that the run lasts several of the sheet's updates.
    const QString src = m_fx->path(QStringLiteral("big"));
    QDir().mkpath(src);
    const int count = 12;
    QImage noise(900, 700, QImage::Format_RGB32);
    for (int i = 1; i <= count; ++i) {
        quint32 seed = quint32(i) * 2654435761u;
        for (int y = 0; y < noise.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(noise.scanLine(y));
            for (int x = 0; x < noise.width(); ++x)
                line[x] = (seed = seed * 1664525u + 1013904223u) | 0xff000000u;
        }
        const QString folder = mirrored ? QStringLiteral("%1/d%2").arg(src).arg(i % 3) : src;
        QDir().mkpath(folder);
        QVERIFY(noise.save(QStringLiteral("%1/p%2.bmp").arg(folder, QString::number(i))));
    }
    QSignalSpy loaded(app.get(), &QuillonAppDelegate::loadFinished);
    app->loadURLs(Arguments{{QUrl::fromLocalFile(src)}, true, mirrored});
    QVERIFY(loaded.wait(20000));
    QCOMPARE(app->files().size(), count);
    app->settings()->setJobs(jobs);
    app->settings()->setCombineOptionIndex(mode);
    app->settings()->setGroupMultiPageTIFFName(QStringLiteral("Set"));
    app->settings()->setGroupMultiPageTIFFCount(2);
    app->settings()->setTiffCompressionIndex(3);
    app->settings()->setMirrorFolders(mirrored);
    // Source pN goes to pN.tiff (dK/pN.tiff, its own folder, when mirrored), or to Set((N + 1) / 2).tiff in groups of 2.
    auto outputOf = [mode, mirrored](const QString &source) {
        const int n = QFileInfo(source).completeBaseName().mid(1).toInt();
        const QString folder = mirrored ? QStringLiteral("d%1/").arg(n % 3) : QString();
        return mode == 0 ? folder + QStringLiteral("p%1.tiff").arg(n) : QStringLiteral("Set%1.tiff").arg((n + 1) / 2);
    };
    app->convertAction();
    QVERIFY(app->process());
    auto *progress = app->processViewPanel()->ui();
    const QString none = QStringLiteral("\u2013");
    int pairs = 0;
    QElapsedTimer clock;
    clock.start();
    while (!progress->closeProcessBtn->isEnabled() && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const QString source = progress->fileInProcessLabel->text();
        const QString output = progress->outputFileInProcessLabel->text();
        if (source == none && output == none)
            continue;
        // With one job the output may be told as being written.
        if (jobs == 1 && output == QLatin1String("Writing File On Disk..."))
            continue;
        QCOMPARE(output, outputOf(source));
        ++pairs;
    }
    QVERIFY(progress->closeProcessBtn->isEnabled());
    QVERIFY2(pairs > 0, "the sheet never named a file in work");
    QCOMPARE(progress->fileInProcessLabel->text(), none);
    QCOMPARE(progress->outputFileInProcessLabel->text(), none);
    app->closeProcessAction();
}

void TestConversion::lostSourcesAreReported()
{
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = openWithFiles(3, out);
    QVERIFY(app);
    // Broken after it was listed: the combined file is still made from the others.
    QFile broken(m_fx->path(QStringLiteral("src/p2.png")));
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("not an image any more");
    broken.close();
    app->showOutputSettings();
    auto *ui = app->outputSettingPanel()->ui();
    QTest::mouseClick(ui->singleMultiPageTIFFBtn, Qt::LeftButton);
    ui->singleMultiPageTIFFName->setText(QStringLiteral("All"));
    emit ui->singleMultiPageTIFFName->textEdited(QStringLiteral("All"));
    app->closeOutputSetting();
    app->commandSegmented()->clickSegment(QuillonAppDelegate::ConvertSegment);
    QTRY_VERIFY(app->processViewPanel()->isVisible());
    waitUntilFinished(app.get());

    auto *progress = app->processViewPanel()->ui();
    QCOMPARE(app->process()->message(), QStringLiteral("All files created successfully."));
    QCOMPARE(getTiffPageCount(QUrl::fromLocalFile(out + QStringLiteral("/All.tiff"))), 2);
    QCOMPARE(progress->headingLabel->text(), QStringLiteral("Conversion finished with problems"));
    QVERIFY2(progress->messageLabel->text().startsWith(QStringLiteral("All files created successfully.\n1 source image")),
             qPrintable(progress->messageLabel->text()));
    QTest::mouseClick(progress->closeProcessBtn, Qt::LeftButton);
}

void TestConversion::convertAsksForFolder_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("message");
    QTest::newRow("none") << QString() << QStringLiteral("Please select output folder!");
    const QString gone = QStringLiteral("/nonexistent/quillon-test-output");
    QTest::newRow("missing") << gone
                             << QStringLiteral("Output folder [ %1 ] is missing!\nPlease select valid output folder.").arg(gone);
    QTest::newRow("not writable") << QStringLiteral("LOCKED")
                                  << QStringLiteral("Application does not have write permission for selected output folder!\n[ %1 ]\nPlease select valid output folder.");
}

void TestConversion::convertAsksForFolder()
{
    QFETCH(QString, stored);
    QFETCH(QString, message);
    if (stored == QLatin1String("LOCKED")) {
        stored = unwritableFolder();
        message = message.arg(stored);
    }
    auto app = openWithFiles(2, stored);
    QVERIFY(app);
    app->commandSegmented()->clickSegment(QuillonAppDelegate::ConvertSegment);
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    QCOMPARE(panel->windowTitle(), QStringLiteral("Choose Output Folder : "));
    QCOMPARE(panel->message(), message);
    auto *keep = panel->findChild<QCheckBox *>(QStringLiteral("isSetCurrentAsDefaultOutputFolder"));
    auto *openAfter = panel->findChild<QCheckBox *>(QStringLiteral("isOpenFolderAfterConversion"));
    QVERIFY(keep && openAfter);
    QVERIFY(!keep->isChecked());
    QCOMPARE(openAfter->isChecked(), app->settings()->isOpenFolderAfterConversion());
    // Keep it as default and open it afterwards.
    keep->setChecked(true);
    openAfter->setChecked(true);
    const QString out = m_fx->path(QStringLiteral("chosen"));
    QDir().mkpath(out);
    choose(panel, {out});
    QTRY_VERIFY(app->processViewPanel()->isVisible());
    waitUntilFinished(app.get());
    QCOMPARE(outputNames(out), (QStringList{QStringLiteral("p1.tiff"), QStringLiteral("p2.tiff")}));
    QCOMPARE(app->settings()->outputFolderPath(), out);
    QVERIFY(app->settings()->isSetCurrentAsDefaultOutputFolderPath());
    QVERIFY(app->isOutputFolderSelected());
    QCOMPARE(app->outputFolder(), out);
    // The run asked the window to open the folder.
    QTRY_VERIFY(m_fx->desktop.opened.contains(QUrl::fromLocalFile(out)));
    app->closeProcessAction();
}

void TestConversion::unwritableChosenFolder()
{
    const QString locked = unwritableFolder();
    auto app = openWithFiles(1);
    QVERIFY(app);
    app->commandSegmented()->clickSegment(QuillonAppDelegate::ConvertSegment);
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    auto alert = answerNextAlert(QStringLiteral("OK"));
    choose(panel, {locked});
    QTRY_VERIFY(alert->seen);
    QCOMPARE(alert->informativeText,
             QStringLiteral("Application does not have write permission for selected output folder!\n[ %1 ]\nPlease try again or later.").arg(locked));
    QVERIFY(!app->processViewPanel()->isVisible());
    QVERIFY(app->settings()->outputFolderPath().isEmpty());
    QVERIFY(app->mainTableView()->isEnabled());
}

void TestConversion::cancelAndViewLog()
{
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = openWithFiles(60, out);
    QVERIFY(app);
    // Bigger sources, so the run is still busy when Cancel comes (finished
    // files are reported in batches, so the first report can come late).
    for (const FileItemPtr &f : app->files())
        writeImage(f->path(), "PNG", Qt::darkGreen, QSize(2000, 1500));
    app->convertAction();
    QTRY_VERIFY(app->processViewPanel()->isVisible());
    auto *progress = app->processViewPanel()->ui();
    // The run object must outlive its thread: Close waits for the end.
    if (!app->process()->isCompleted())
        QVERIFY(!progress->closeProcessBtn->isEnabled());
    // After the first file the sheet tells the time left, the title the share done.
    QTRY_VERIFY(progress->timeLeftLabel->isVisible());
    QVERIFY2(progress->timeLeftLabel->text().startsWith(QStringLiteral("Time left: ")), qPrintable(progress->timeLeftLabel->text()));
    QVERIFY2(progress->timeLeftLabel->text().contains(QStringLiteral("B/s")), qPrintable(progress->timeLeftLabel->text()));
    static const QRegularExpression percentTitle(QStringLiteral("^\\d{1,2}% \u2013 Quillon Converter$"));
    QVERIFY2(percentTitle.match(app->window()->windowTitle()).hasMatch(), qPrintable(app->window()->windowTitle()));
    QTest::mouseClick(progress->cancelProcessBtn, Qt::LeftButton);
    QVERIFY(!app->process()->isCombining());
    waitUntilFinished(app.get());
    QVERIFY(app->process()->totalFileProcessed() < 60);
    QCOMPARE(app->process()->message(), QStringLiteral("Process cancelled!"));
    QCOMPARE(progress->headingLabel->text(), QStringLiteral("Conversion cancelled"));
    // Ended: no guess left on the sheet, the title is the program's again.
    QVERIFY(!progress->timeLeftLabel->isVisible());
    QCOMPARE(app->window()->windowTitle(), QStringLiteral("Quillon Converter"));
    // No file of the cancelled run is left half-written.
    for (const QString &name : outputNames(out)) {
        QVERIFY2(name.endsWith(QLatin1String(".tiff")), qPrintable(name));
        QCOMPARE(getTiffPageCount(QUrl::fromLocalFile(out + QLatin1Char('/') + name)), 1);
    }
    // The log opens through the window's desktop.
    m_fx->desktop.opened.clear();
    QTest::mouseClick(progress->viewLogBtn, Qt::LeftButton);
    QCOMPARE(m_fx->desktop.opened.size(), 1);
    QVERIFY(QFileInfo(m_fx->desktop.opened.first().toLocalFile()).isFile());
    QCOMPARE(m_fx->desktop.opened.first().toLocalFile(), app->process()->log().logFilePath());
    // Counted with the files processed until the cancel.
    const int processed = app->process()->totalFileProcessed();
    QTest::keyClick(app->processViewPanel(), Qt::Key_Escape); // Escape closes a finished run
    QTRY_VERIFY(!app->process());
    QCOMPARE(app->usagesReport()->features().first().filesCount(), processed);
}

void TestConversion::runEndNotification_data()
{
    QTest::addColumn<bool>("behind");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("summary");
    QTest::newRow("watched: the sheet says it") << false << false << QString();
    QTest::newRow("finished behind other windows") << true << false << "Conversion finished";
    QTest::newRow("cancelled behind other windows") << true << true << "Conversion cancelled";
}

void TestConversion::runEndNotification()
{
    QFETCH(bool, behind);
    QFETCH(bool, cancel);
    QFETCH(QString, summary);
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = openWithFiles(30, out);
    QVERIFY(app);
    // Big enough to be still at work when another window has come forward.
    for (const FileItemPtr &f : app->files())
        writeImage(f->path(), "PNG", Qt::darkBlue, QSize(900, 700));
    QWidget other;
    app->convertAction();
    QTRY_VERIFY(app->processViewPanel()->isVisible());
    if (behind) {
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!app->isWindowActive());
    } else {
        QTRY_VERIFY(app->isWindowActive());
    }
    if (cancel)
        app->cancelProcessAction();
    waitUntilFinished(app.get());
    const QList<DesktopNotification> &sent = m_fx->desktop.notifications;
    if (summary.isEmpty()) {
        QVERIFY(sent.isEmpty());
        return;
    }
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().summary, summary);
    QVERIFY2(sent.first().body.contains(out), qPrintable(sent.first().body));
    QVERIFY2(sent.first().body.startsWith(QStringLiteral("%1 of 30 TIFF file(s) created").arg(app->process()->totalFileCreated())),
             qPrintable(sent.first().body));
    // Its action opens the output folder.
    QCOMPARE(sent.first().actionLabel, QStringLiteral("Open Output Folder"));
    sent.first().onAction();
    QCOMPARE(m_fx->desktop.opened.last(), QUrl::fromLocalFile(out));
    // Clicking it brings the window back.
    sent.first().onActivate();
    QTRY_VERIFY(app->isWindowActive());
}

void TestConversion::closeRemovesCheckedFiles()
{
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = openWithFiles(4, out);
    QVERIFY(app);
    app->settings()->setIsClearProcessedFiles(true);
    app->files().at(2)->isSelected = false;
    const QString kept = app->files().at(2)->name();
    app->checkUncheckInvertAll(0); // no change, refreshes the totals
    app->convertAction();
    waitUntilFinished(app.get());
    app->processViewPanel()->ui()->closeProcessBtn->click();
    QCOMPARE(app->files().size(), 1);
    QCOMPARE(app->files().first()->name(), kept);
    QVERIFY(app->selectedRows().isEmpty());
    QVERIFY(!app->commandSegmented()->isSegmentEnabled(QuillonAppDelegate::ConvertSegment)); // nothing checked
}

void TestConversion::timeLabelWithoutText()
{
    auto app = openWithFiles(1);
    QVERIFY(app);
    app->updateTimeTakenLabel(QStringLiteral("Total Time Taken : 3 sec(s)  2/2"));
    QCOMPARE(app->ui()->labelTimeTaken->text(), QStringLiteral("Total Time Taken : 3 sec(s)  2/2"));
    app->updateTimeTakenLabel(QString());
    QCOMPARE(app->ui()->labelTimeTaken->text(), QStringLiteral("Total Time Taken : 0 sec(s) 0/0"));
}

void TestConversion::quitDuringRunLeavesNoPartialFile_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("jobs");
    QTest::newRow("one file") << 1 << 1;
    QTest::newRow("one file, workers") << 1 << 3;
    QTest::newRow("single files, workers") << 0 << 3;
}

void TestConversion::quitDuringRunLeavesNoPartialFile()
{
    QFETCH(int, mode);
    QFETCH(int, jobs);
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = openWithFiles(40, out);
    QVERIFY(app);
    // Pages large enough that the run outlasts the quit: finished files wait
    // for their batch's flush, so small ones would all be built before it.
    const QString first = app->files().first()->path();
    writeImage(first, "PNG", Qt::darkRed, QSize(2500, 2000));
    for (const FileItemPtr &f : app->files().mid(1))
        QVERIFY(QFile::remove(f->path()) && QFile::copy(first, f->path()));
    app->settings()->setJobs(jobs);
    app->settings()->setCombineOptionIndex(mode);
    app->settings()->setSingleMultiPageTIFFName(QStringLiteral("Everything"));
    app->convertAction();
    // Quit as soon as the first file is begun (a timed poll would let a fast run end first).
    const QDeadlineTimer deadline(10000);
    while (!(app->process() && !app->process()->fileInProcess().isEmpty()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QVERIFY(app->process() && !app->process()->fileInProcess().isEmpty());
    // Quit: settings saved, the run cancelled and waited for.
    QVERIFY(app->applicationShouldTerminate());
    app.reset();
    // Cancelled like the Cancel button: the file under work keeps the pages
    // gathered so far and is completed; no temporary or broken file stays.
    const QStringList left = outputNames(out);
    if (mode == 0) {
        // Every file in work is finished; none is begun after the quit.
        QVERIFY2(left.size() < 40, qPrintable(left.join(QLatin1Char(','))));
        for (const QString &name : left)
            QCOMPARE(getTiffPageCount(QUrl::fromLocalFile(out + QLatin1Char('/') + name)), 1);
        return;
    }
    QVERIFY2(left.size() <= 1, qPrintable(left.join(QLatin1Char(','))));
    for (const QString &name : left) {
        QCOMPARE(name, QStringLiteral("Everything.tiff"));
        const int pages = getTiffPageCount(QUrl::fromLocalFile(out + QStringLiteral("/Everything.tiff")));
        QVERIFY(pages >= 1 && pages < 40);
    }
    QCOMPARE(m_fx->store->value(QStringLiteral("SETTINGS")).toMap().value(QStringLiteral("singleMultiPageTIFFName")).toString(),
             QStringLiteral("Everything"));
}

void TestConversion::bilevelPreview_data()
{
    QTest::addColumn<QString>("first"); // the first checked source
    QTest::addColumn<QString>("caption");
    QTest::newRow("png") << QStringLiteral("gradient.png") << QStringLiteral("gradient.png, page 1, with automatic threshold.");
    QTest::newRow("tiff from its third page") << QStringLiteral("book.tif") << QStringLiteral("book.tif, page 3, with automatic threshold.");
    QTest::newRow("damaged after listing") << QStringLiteral("broken.png") << QStringLiteral("broken.png, page 1 cannot be shown: ");
    QTest::newRow("nothing checked") << QString() << QStringLiteral("Check an image in the list");
    QTest::newRow("out of memory") << QStringLiteral("huge.png") << QStringLiteral("huge.png, page 1 cannot be shown: Not enough memory");
}

// The sheet shows what the first checked source's first chosen page becomes
// at the chosen method, and follows every change of method, from the keyboard.
void TestConversion::bilevelPreview()
{
    QFETCH(QString, first);
    QFETCH(QString, caption);
    auto app = openWithFiles(2);
    QVERIFY(app);
    const QString extra = m_fx->path(QStringLiteral("extra"));
    QDir().mkpath(extra);
    QImage gradient(300, 200, QImage::Format_RGB888);
    for (int y = 0; y < gradient.height(); ++y)
        for (int x = 0; x < gradient.width(); ++x)
            gradient.setPixelColor(x, y, QColor(x * 255 / 299, y * 255 / 199, (x + y) % 256));
    QVERIFY(gradient.save(extra + QStringLiteral("/gradient.png")));
    QVERIFY(gradient.save(extra + QStringLiteral("/broken.png")));
    QVERIFY(gradient.save(extra + QStringLiteral("/huge.png")));
    // Decoding huge.png runs out of memory, as a page too large would, until it is let through.
    auto hugeFails = std::make_shared<std::atomic<bool>>(true);
    app->bilevelPreviewer()->setOpener([hugeFails](const QString &path, QString *error) {
        if (QFileInfo(path).fileName() == QLatin1String("huge.png") && *hugeFails)
            throw std::bad_alloc();
        return image::ImageSource::open(path, error);
    });
    QVERIFY(writeMultiPageTiff(extra + QStringLiteral("/book.tif"), 4));
    QSignalSpy loaded(app.get(), &QuillonAppDelegate::loadFinished);
    app->loadURLs(Arguments{{QUrl::fromLocalFile(extra)}, true, false});
    QVERIFY(loaded.wait(20000));
    QVERIFY(testing::writeBytes(extra + QStringLiteral("/broken.png"), "not a picture any more"));
    for (const FileItemPtr &f : app->files()) {
        f->isSelected = f->name() == first;
        if (f->name() == QLatin1String("book.tif")) {
            SelectionRange pages;
            pages.pageRangeType = SelectionRange::ByRanges;
            pages.pageRange = QStringLiteral("3-4");
            f->setSelection(pages);
        }
    }
    app->fileListModel()->reloadData();

    app->showOutputSettings();
    auto *ui = app->outputSettingPanel()->ui();
    for (QWidget *w : std::initializer_list<QWidget *>{ui->bilevelMethodPopup, ui->bilevelThresholdSpinBox, ui->bilevelPreview,
                                                       ui->existingFilesPopup, ui->tiffCompressionPopup})
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    QTRY_VERIFY(app->bilevelPreviewer()->isIdle());
    QVERIFY2(ui->bilevelPreviewCaption->text().startsWith(caption), qPrintable(ui->bilevelPreviewCaption->text()));
    QCOMPARE(ui->bilevelPreview->accessibleDescription(), ui->bilevelPreviewCaption->text());
    const bool shown = first == QLatin1String("gradient.png") || first == QLatin1String("book.tif");
    QCOMPARE(!ui->bilevelPreview->pixmap().isNull(), shown);
    if (first == QLatin1String("huge.png")) {
        // The preview thread goes on: the next change shows the page.
        *hugeFails = false;
        ui->bilevelMethodPopup->setFocus();
        QTest::keyClick(ui->bilevelMethodPopup, Qt::Key_Down);
        QTRY_VERIFY(app->bilevelPreviewer()->isIdle());
        QTRY_VERIFY(!ui->bilevelPreview->pixmap().isNull());
        QVERIFY2(ui->bilevelPreviewCaption->text().startsWith(QStringLiteral("huge.png, page 1, with")),
                 qPrintable(ui->bilevelPreviewCaption->text()));
    }
    if (!shown)
        return;

    QList<QImage> seen{ui->bilevelPreview->pixmap().toImage()};
    QVERIFY(seen.first().width() <= ui->bilevelPreview->width() && seen.first().height() <= ui->bilevelPreview->height());
    // Alt+B reaches the method; arrows choose; Alt+V reaches the level.
    QTest::keyClick(app->outputSettingPanel(), Qt::Key_B, Qt::AltModifier);
    QTRY_VERIFY(ui->bilevelMethodPopup->hasFocus());
    QVERIFY(!ui->bilevelThresholdSpinBox->isEnabled());
    QTest::keyClick(ui->bilevelMethodPopup, Qt::Key_Down);
    QCOMPARE(app->settings()->bilevelOptions().method, image::BilevelOptions::Threshold);
    QVERIFY(ui->bilevelThresholdSpinBox->isEnabled());
    QTest::keyClick(app->outputSettingPanel(), Qt::Key_V, Qt::AltModifier);
    QTRY_VERIFY(ui->bilevelThresholdSpinBox->hasFocus());
    ui->bilevelThresholdSpinBox->selectAll();
    QTest::keyClicks(ui->bilevelThresholdSpinBox, QStringLiteral("40"));
    QCOMPARE(app->settings()->bilevelOptions().threshold, 40);
    QTRY_VERIFY(app->bilevelPreviewer()->isIdle());
    QVERIFY(ui->bilevelPreviewCaption->text().contains(QStringLiteral("fixed threshold 40")));
    seen << ui->bilevelPreview->pixmap().toImage();
    for (auto method : {image::BilevelOptions::OrderedDither, image::BilevelOptions::DiffusionDither}) {
        ui->bilevelMethodPopup->setFocus();
        QTest::keyClick(ui->bilevelMethodPopup, Qt::Key_Down);
        QCOMPARE(app->settings()->bilevelOptions().method, method);
        QTRY_VERIFY(app->bilevelPreviewer()->isIdle());
        seen << ui->bilevelPreview->pixmap().toImage();
    }
    // Each method shows its own picture, and a darker threshold less black.
    for (int a = 0; a < seen.size(); ++a)
        for (int b = a + 1; b < seen.size(); ++b)
            QVERIFY2(seen[a] != seen[b], qPrintable(QStringLiteral("%1 and %2").arg(a).arg(b)));
    auto blackShare = [](const QImage &img) {
        qint64 black = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                black += qGray(img.pixel(x, y)) < 128;
        return double(black) / (img.width() * img.height());
    };
    QVERIFY(blackShare(seen[1]) < blackShare(seen[0]));
    // Many quick changes: the last one is what stays.
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(ui->bilevelMethodPopup, i % 2 ? Qt::Key_Down : Qt::Key_Up);
    QTRY_VERIFY(app->bilevelPreviewer()->isIdle());
    QCOMPARE(app->settings()->bilevelOptions().method, image::BilevelOptions::DiffusionDither);
    QCOMPARE(ui->bilevelPreview->pixmap().toImage(), seen.last());
}

// Automatic and the existing-name choice reach the settings, the summary and
// the store, and come back in the next window.
void TestConversion::newChoicesKeptAndShown()
{
    {
        auto app = openWithFiles(1);
        QVERIFY(app);
        app->showOutputSettings();
        auto *ui = app->outputSettingPanel()->ui();
        ui->tiffCompressionPopup->setCurrentIndex(5);
        QVERIFY(app->settings()->isAutomaticCompression());
        QCOMPARE(app->settings()->tiffCompressionIndex(), 3);
        QCOMPARE(app->ui()->summaryCompressionLabel->text(), ui->tiffCompressionPopup->currentText());
        ui->tiffCompressionPopup->setCurrentIndex(2);
        QVERIFY(!app->settings()->isAutomaticCompression());
        QCOMPARE(app->settings()->tiffCompressionIndex(), 2);
        QCOMPARE(app->ui()->summaryCompressionLabel->text(), QStringLiteral("CCITT Group 4 fax"));
        ui->tiffCompressionPopup->setCurrentIndex(5);
        ui->existingFilesPopup->setFocus();
        QTest::keyClick(ui->existingFilesPopup, Qt::Key_Down);
        QCOMPARE(app->settings()->existingFilePolicy(), ExistingFilePolicy::KeepBoth);
        QVERIFY(app->applicationShouldTerminate());
    }
    QCOMPARE(m_fx->store->value(QStringLiteral("AUTOMATICCOMPRESSION")).toBool(), true);
    QCOMPARE(m_fx->store->value(QStringLiteral("EXISTINGFILES")).toString(), QStringLiteral("keep-both"));
    QCOMPARE(m_fx->store->value(QStringLiteral("SETTINGS")).toMap().value(QStringLiteral("tiffCompressionIndex")).toInt(), 3);
    // Choices not made leave their keys out, so an older build reads the store as it knows it.
    for (const char *key : {"COMPRESSIONMETHOD", "COMPRESSIONLEVEL", "JPEGQUALITY", "KEEPMETADATA", "OUTPUTRESOLUTION", "MIRRORFOLDERS"})
        QVERIFY2(!m_fx->store->contains(QLatin1String(key)), key);
    {
        auto again = m_fx->makeWindow();
        QVERIFY(again->awakeFromNib());
        auto *ui = again->outputSettingPanel()->ui();
        QCOMPARE(ui->tiffCompressionPopup->currentIndex(), 5);
        QCOMPARE(ui->existingFilesPopup->currentIndex(), 1);
        QVERIFY(!ui->keepMetadataBtn->isChecked());
        QCOMPARE(ui->resolutionPopup->currentIndex(), 0);
        QVERIFY(!ui->resolutionSpinBox->isEnabled());
        QVERIFY(!ui->mirrorFoldersBtn->isChecked());
        // Now the newer ones, through their controls; from the keyboard each step is the next choice.
        ui->tiffCompressionPopup->setCurrentIndex(0);
        ui->tiffCompressionPopup->setFocus();
        for (int index = 1; index <= 8; ++index) {
            QTest::keyClick(ui->tiffCompressionPopup, Qt::Key_Down);
            QCOMPARE(ui->tiffCompressionPopup->currentIndex(), index);
            QCOMPARE(int(again->settings()->compression()), index);
        }
        ui->tiffCompressionPopup->setCurrentIndex(6);
        QVERIFY(ui->compressionLevelSpinBox->isEnabled());
        QCOMPARE(ui->compressionLevelSpinBox->maximum(), 9);
        ui->compressionLevelSpinBox->setValue(4);
        clickBox(ui->keepMetadataBtn);
        ui->resolutionPopup->setCurrentIndex(1);
        QVERIFY(ui->resolutionSpinBox->isEnabled());
        QCOMPARE(ui->resolutionSpinBox->maximum(), 10000);
        ui->resolutionSpinBox->setValue(200);
        clickBox(ui->mirrorFoldersBtn);
        const QString summary = again->ui()->summaryCompressionLabel->text();
        QVERIFY2(summary.startsWith(QStringLiteral("Deflate, level 4")) && summary.contains(QStringLiteral("200 dpi"))
                     && summary.contains(QStringLiteral("metadata kept")),
                 qPrintable(summary));
        QVERIFY(again->applicationShouldTerminate());
    }
    QCOMPARE(m_fx->store->value(QStringLiteral("COMPRESSIONMETHOD")).toString(), QStringLiteral("deflate"));
    QCOMPARE(m_fx->store->value(QStringLiteral("COMPRESSIONLEVEL")).toInt(), 4);
    QCOMPARE(m_fx->store->value(QStringLiteral("KEEPMETADATA")).toBool(), true);
    QCOMPARE(m_fx->store->value(QStringLiteral("OUTPUTRESOLUTION")).toInt(), 200);
    QCOMPARE(m_fx->store->value(QStringLiteral("MIRRORFOLDERS")).toBool(), true);
    QVERIFY(!m_fx->store->contains(QStringLiteral("JPEGQUALITY")));
    auto third = m_fx->makeWindow();
    QVERIFY(third->awakeFromNib());
    auto *ui = third->outputSettingPanel()->ui();
    QCOMPARE(ui->tiffCompressionPopup->currentIndex(), 6);
    QCOMPARE(ui->compressionLevelSpinBox->value(), 4);
    QVERIFY(ui->keepMetadataBtn->isChecked());
    QCOMPARE(ui->resolutionPopup->currentIndex(), 1);
    QCOMPARE(ui->resolutionSpinBox->value(), 200);
    QVERIFY(ui->mirrorFoldersBtn->isChecked());
    // Zstandard's own range; the level chosen stays where it fits.
    ui->tiffCompressionPopup->setCurrentIndex(7);
    QCOMPARE(ui->compressionLevelSpinBox->maximum(), 19);
    QCOMPARE(ui->compressionLevelSpinBox->value(), 4);
    ui->tiffCompressionPopup->setCurrentIndex(8);
    QVERIFY(!ui->compressionLevelSpinBox->isEnabled());
    QVERIFY(ui->jpegQualitySpinBox->isEnabled());
}

void TestConversion::retryFailed_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("clearProcessed");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QStringList>("retried"); // checked by Retry Failed
    QTest::addColumn<QStringList>("rebuilt"); // "name:pages" made by the retried run
    QTest::addColumn<bool>("mirrored");       // odd sources in src/a, even ones in src/b, folders recreated
    const QStringList one{QStringLiteral("p2.png")};
    const QStringList all{QStringLiteral("p1.png"), QStringLiteral("p2.png"), QStringLiteral("p3.png")};
    const QStringList group{QStringLiteral("p1.png"), QStringLiteral("p2.png")};
    QTest::newRow("each image, still listed, clicked") << 0 << false << false << one << QStringList{QStringLiteral("p2.tiff:1")} << false;
    QTest::newRow("each image, removed at close, Alt+R") << 0 << true << true << one << QStringList{QStringLiteral("p2.tiff:1")} << false;
    // The lost source's file is rebuilt from all its sources, not from the lost one alone.
    QTest::newRow("one file, still listed") << 1 << false << false << all << QStringList{QStringLiteral("All.tiff:3")} << false;
    QTest::newRow("one file, removed at close, Alt+R") << 1 << true << true << all << QStringList{QStringLiteral("All.tiff:3")} << false;
    QTest::newRow("groups of 2, still listed") << 2 << false << false << group << QStringList{QStringLiteral("Set1.tiff:2")} << false;
    QTest::newRow("groups of 2, removed at close") << 2 << true << false << group << QStringList{QStringLiteral("Set1.tiff:2")} << false;
    // The retried source's own folder lies deeper than the first run's: its file still goes where that run put it.
    QTest::newRow("each image, folders recreated") << 0 << false << false << one << QStringList{QStringLiteral("b/p2.tiff:1")} << true;
    QTest::newRow("each image, folders recreated, removed at close") << 0 << true << false << one << QStringList{QStringLiteral("b/p2.tiff:1")}
                                                                     << true;
}

// After a run that lost a source, Retry Failed checks every source of each
// output that lost something (listing them again if Close removed them) and
// opens the settings; fixed, the run rebuilds those outputs whole, and a
// clean run offers no retry.
void TestConversion::retryFailed()
{
    QFETCH(int, mode);
    QFETCH(bool, clearProcessed);
    QFETCH(bool, byKey);
    QFETCH(QStringList, retried);
    QFETCH(QStringList, rebuilt);
    QFETCH(bool, mirrored);
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = openWithFiles(4, out, mirrored);
    QVERIFY(app);
    app->settings()->setIsClearProcessedFiles(clearProcessed);
    app->settings()->setMirrorFolders(mirrored);
    app->showOutputSettings();
    auto *ui = app->outputSettingPanel()->ui();
    QTest::mouseClick(mode == 0 ? ui->singleImageTIFFBtn : (mode == 1 ? ui->singleMultiPageTIFFBtn : ui->groupMultiPageTIFFBtn), Qt::LeftButton);
    ui->singleMultiPageTIFFName->setText(QStringLiteral("All"));
    emit ui->singleMultiPageTIFFName->textEdited(QStringLiteral("All"));
    ui->groupMultiPageTIFFName->setText(QStringLiteral("Set"));
    emit ui->groupMultiPageTIFFName->textEdited(QStringLiteral("Set"));
    app->settings()->setGroupMultiPageTIFFCount(2);
    app->closeOutputSetting();
    app->files().at(3)->isSelected = false; // not in the run: stays unchecked
    app->fileListModel()->reloadData();
    const QString broken = m_fx->path(mirrored ? QStringLiteral("src/b/p2.png") : QStringLiteral("src/p2.png"));
    QVERIFY(testing::writeBytes(broken, "not an image any more"));
    app->convertAction();
    waitUntilFinished(app.get());
    auto *progress = app->processViewPanel()->ui();
    QVERIFY(progress->retryFailedBtn->isVisible());
    QVERIFY(!progress->retryFailedBtn->accessibleName().isEmpty());
    QSignalSpy closed(app.get(), &QuillonAppDelegate::processClosed);
    if (byKey)
        QTest::keyClick(app->processViewPanel(), Qt::Key_R, Qt::AltModifier);
    else
        QTest::mouseClick(progress->retryFailedBtn, Qt::LeftButton);
    QTRY_COMPARE(closed.count(), 1); // a key clicks the button a moment later
    QTRY_VERIFY(app->outputSettingPanel()->isVisible());
    QStringList listed, checked;
    for (const FileItemPtr &f : app->files()) {
        listed << f->name();
        if (f->isSelected)
            checked << f->name();
    }
    listed.sort();
    checked.sort();
    QCOMPARE(checked, retried);
    QStringList expectedListed = clearProcessed
        ? retried
        : QStringList{QStringLiteral("p1.png"), QStringLiteral("p2.png"), QStringLiteral("p3.png"), QStringLiteral("p4.png")};
    if (clearProcessed)
        expectedListed << QStringLiteral("p4.png");
    QCOMPARE(listed, expectedListed);
    QVERIFY(app->ui()->labelTotalFiles->text().endsWith(QStringLiteral("to create: 1")));

    QVERIFY(writeImage(broken, "PNG", Qt::darkBlue, QSize(40, 30)));
    app->closeOutputSetting();
    for (const QString &name : outputNames(out))
        QVERIFY(QFile::remove(out + QLatin1Char('/') + name));
    app->convertAction();
    waitUntilFinished(app.get());
    QCOMPARE(app->process()->message(), QStringLiteral("All files created successfully."));
    QVERIFY(!progress->retryFailedBtn->isVisible());
    QStringList made;
    for (const QString &name : outputNames(out))
        made << QStringLiteral("%1:%2").arg(name, QString::number(getTiffPageCount(QUrl::fromLocalFile(out + QLatin1Char('/') + name))));
    QCOMPARE(made, rebuilt);
    app->closeProcessAction();
}

// With the German catalogue the commands, menus, totals, the output settings
// sheet and the progress sheet speak German; shortcuts, the output names and
// the log's statuses stay as they are.
void TestConversion::germanWindow()
{
    const UiLanguage language({QStringLiteral("de_DE")});
    QCOMPARE(language.language(), QStringLiteral("de"));
    const QString out = m_fx->path(QStringLiteral("out"));
    QDir().mkpath(out);
    auto app = openWithFiles(3, out);
    QVERIFY(app);
    Ui::MainWindow *ui = app->ui();
    QCOMPARE(ui->menuFile->title(), QStringLiteral("Datei"));
    QCOMPARE(ui->menuEdit->title(), QStringLiteral("Bearbeiten"));
    QCOMPARE(ui->actionAddFiles->text(), QStringLiteral("Dateien hinzufügen …"));
    QCOMPARE(ui->actionConvert->text(), QStringLiteral("Konvertieren"));
    QCOMPARE(ui->actionConvert->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));
    QCOMPARE(app->commandSegmented()->label(QuillonAppDelegate::ConvertSegment), QStringLiteral("Konvertieren"));
    QCOMPARE(app->commandSegmented()->label(QuillonAppDelegate::OutputSettingsSegment), QStringLiteral("Ausgabeeinstellungen"));
    QCOMPARE(app->filesFoldersSegmented()->label(QuillonAppDelegate::AddFilesSegment), QStringLiteral("Dateien hinzufügen"));
    QCOMPARE(ui->labelTotalFiles->text(), QStringLiteral("3 Dateien insgesamt; 3 ausgewählt; Zu erstellende TIFF-Dateien: 3"));
    QCOMPARE(app->fileListModel()->headerData(FileListModel::Name, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(app->fileListModel()->headerData(FileListModel::SizeInKB, Qt::Horizontal).toString(), QStringLiteral("Größe"));

    app->showOutputSettings();
    OutputSettingsSheet *sheet = app->outputSettingPanel();
    QTRY_VERIFY(sheet->isVisible());
    QCOMPARE(sheet->windowTitle(), QStringLiteral("Ausgabeeinstellungen"));
    QCOMPARE(sheet->ui()->closeOutputSettingBtn->text(), QStringLiteral("Schließen"));
    QCOMPARE(sheet->ui()->tiffCompressionPopup->itemText(0), QStringLiteral("Keine"));
    // Every Alt key of a sheet (mnemonics and key letters) does one thing.
    for (QDialog *dialog : std::initializer_list<QDialog *>{sheet, app->processViewPanel()}) {
        QMap<QKeySequence, QString> keys;
        for (QWidget *w : dialog->findChildren<QWidget *>()) {
            QKeySequence key;
            if (auto *label = qobject_cast<QLabel *>(w); label && label->buddy())
                key = QKeySequence::mnemonic(label->text());
            else if (auto *button = qobject_cast<QAbstractButton *>(w))
                key = button->shortcut();
            if (key.isEmpty())
                continue;
            QVERIFY2(!keys.contains(key), qPrintable(QStringLiteral("%1: %2 and %3").arg(key.toString(), keys.value(key), w->objectName())));
            keys.insert(key, w->objectName());
        }
        QVERIFY(!keys.isEmpty());
    }
    for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{sheet->ui()->setCurrentAsDefaultOutputFolderPathBtn,
                                                                       sheet->ui()->openFolderAfterConversionBtn,
                                                                       sheet->ui()->keepMetadataBtn, sheet->ui()->mirrorFoldersBtn,
                                                                       app->processViewPanel()->ui()->viewLogBtn,
                                                                       app->processViewPanel()->ui()->cancelProcessBtn})
        QVERIFY2(keycharacter::hasMark(b), qPrintable(b->objectName()));
    app->closeOutputSetting();

    app->commandSegmented()->clickSegment(QuillonAppDelegate::ConvertSegment);
    waitUntilFinished(app.get());
    auto *progress = app->processViewPanel()->ui();
    QCOMPARE(progress->headingLabel->text(), QStringLiteral("Konvertierung beendet"));
    QCOMPARE(progress->messageLabel->text(), QStringLiteral("Alle Dateien wurden erfolgreich erstellt."));
    QCOMPARE(progress->viewLogBtn->text(), QStringLiteral("Protokoll anzeigen"));
    QVERIFY(progress->timeTakenLabel->text().startsWith(QStringLiteral("Benötigte Zeit: ")));
    QCOMPARE(outputNames(out), QStringList({QStringLiteral("p1.tiff"), QStringLiteral("p2.tiff"), QStringLiteral("p3.tiff")}));
    QFile log(app->process()->log().logFilePath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray xml = log.readAll();
    QCOMPARE(xml.count("Status=\"Completed\""), 6); // three files and their pages
    QTest::mouseClick(progress->closeProcessBtn, Qt::LeftButton);
    QTRY_VERIFY(!app->processViewPanel()->isVisible());
}

QTEST_MAIN(TestConversion)
#include "tst_app_conversion.moc"
