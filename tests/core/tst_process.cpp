#include "core/AppFolders.h"
#include "core/Process.h"
#include "core/RetryList.h"
#include "core/Settings.h"
#include "core/SystemLog.h"
#include "core/image/ImageSource.h"
#include "core/image/TiffWriter.h"
#include "common/ImageFactory.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

using namespace quillon;

namespace {

// Records what the run sends to its owner, and on which thread.
class Owner : public QObject, public ProcessOwner {
public:
    QStringList labels;
    QStringList opened;
    bool allOnOwnerThread = true;
    void updateTimeTakenLabel(const QString &text) override
    {
        allOnOwnerThread = allOnOwnerThread && QThread::currentThread() == thread();
        labels << text;
    }
    void openOutputFolder(const QString &path) override { opened << path; }
};

void writeGreyTiff(const QString &path, int pages)
{
    image::TiffWriter w(path, 5);
    for (int p = 0; p < pages; ++p) {
        image::Page page;
        page.width = 16;
        page.height = 8;
        page.bitsPerSample = 8;
        page.samplesPerPixel = 1;
        page.photometric = image::Photometric::MinIsBlack;
        page.pixels.assign(page.byteCount(), quint8(20 * (p + 1)));
        QString err;
        QVERIFY2(w.addPage(page, &err), qPrintable(err));
    }
    QString err;
    QVERIFY2(w.commit(&err), qPrintable(err));
}

void writeImage(const QString &path, const QColor &color, const char *format)
{
    QImage img(24, 12, QImage::Format_RGB888);
    img.fill(color);
    QVERIFY(img.save(path, format));
}

int pagesIn(const QString &path)
{
    QString err;
    auto src = image::ImageSource::open(path, &err);
    return src ? src->pageCount() : -1;
}

// The Compression tag of every page of a TIFF.
QList<int> compressionsIn(const QString &path)
{
    QList<int> tags;
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!t)
        return tags;
    do {
        quint16 c = 0;
        TIFFGetField(t, TIFFTAG_COMPRESSION, &c);
        tags << c;
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
    return tags;
}

// Errors libtiff reports decoding every strip of every page (0: a clean file).
int decodeErrorsIn(const QString &path)
{
    static int errors;
    errors = 0;
    const TIFFErrorHandler before = TIFFSetErrorHandler([](const char *, const char *, va_list) { ++errors; });
    const auto restore = qScopeGuard([&] { TIFFSetErrorHandler(before); });
    TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!t)
        return -1;
    std::vector<quint8> buf;
    do {
        buf.resize(size_t(TIFFStripSize64(t)));
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
            if (TIFFReadEncodedStrip(t, s, buf.data(), tmsize_t(buf.size())) < 0)
                ++errors;
        }
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
    return errors;
}

// The colour of a converted page's first pixel.
QColor firstPixelOf(const QString &path)
{
    image::Page page;
    if (!testing::decodePage(path, 0, &page) || page.photometric != image::Photometric::RGB)
        return {};
    return QColor(page.pixels[0], page.pixels[1], page.pixels[2]);
}

} // namespace

class TestProcess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void timeTaken_data();
    void timeTaken();
    void emptyPlan();
    void combinedRecordsEveryPage();
    void pageSelectionPastEnd();
    void emptyPageListGivesNoPages();
    void badSourcesDoNotStopTheRun();
    void cancelFinishesCurrentFile_data();
    void cancelFinishesCurrentFile();
    void workersGiveTheSameFilesAndLog_data();
    void workersGiveTheSameFilesAndLog();
    void automaticCompressionPerPage();
    void existingNames_data();
    void existingNames();
    void retryListNamesTheLostSources_data();
    void retryListNamesTheLostSources();
    void ownerCalledOnItsThreadNeverWaitedFor();
    void outOfMemoryEndsThatFile_data();
    void outOfMemoryEndsThatFile();
    void memoryBudgetHolds_data();
    void memoryBudgetHolds();
    void openFolderRules_data();
    void openFolderRules();
    void sourceReplacedByItsOutput();
    void singleImageIsTheLastOfItsFile();
    void unwritableFolderLeavesNothing();
    void compressionTags_data();
    void compressionTags();
    void largeOutputsBecomeBigTiff();

private:
    FileItemPtr item(const QString &name, SelectionRange sel = {});
    std::unique_ptr<Process> makeProcess(int mode, const QList<FileItemPtr> &files, const QString &folder);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_store;
    std::unique_ptr<Settings> m_settings;
    QString m_src;
    QString m_out;
};

void TestProcess::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestProcess::init()
{
    setEdition(2);
    m_dir = std::make_unique<QTemporaryDir>();
    m_src = m_dir->filePath(QStringLiteral("src"));
    m_out = m_dir->filePath(QStringLiteral("out"));
    QDir().mkpath(m_src);
    QDir().mkpath(m_out);
    QDir().mkpath(m_dir->filePath(QStringLiteral("logs")));
    m_store = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("d.conf")), QSettings::IniFormat);
    m_settings = std::make_unique<Settings>(m_store.get());
    m_settings->setIsOpenFolderAfterConversion(false);
    m_settings->setSingleMultiPageTIFFName(QStringLiteral("All"));
    m_settings->setGroupMultiPageTIFFName(QStringLiteral("Group"));
    m_settings->setTiffCompressionIndex(3);
    writeImage(m_src + QStringLiteral("/1.png"), Qt::red, "PNG");
    writeImage(m_src + QStringLiteral("/2.jpg"), Qt::green, "JPG");
    writeImage(m_src + QStringLiteral("/3.bmp"), Qt::blue, "BMP");
    writeImage(m_src + QStringLiteral("/4.png"), Qt::gray, "PNG");
    writeImage(m_src + QStringLiteral("/5.png"), Qt::black, "PNG");
    writeGreyTiff(m_src + QStringLiteral("/multi.tif"), 5);
    QFile text(m_src + QStringLiteral("/notes.jpg"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not an image at all\n");
}

FileItemPtr TestProcess::item(const QString &name, SelectionRange sel)
{
    FileItemPtr f = FileItem::initWithURL(QUrl::fromLocalFile(m_src + QLatin1Char('/') + name));
    f->setSelection(sel);
    return f;
}

std::unique_ptr<Process> TestProcess::makeProcess(int mode, const QList<FileItemPtr> &files, const QString &folder)
{
    m_settings->setCombineOptionIndex(mode);
    auto p = std::make_unique<Process>();
    p->settings = m_settings.get();
    p->outputFolder = folder;
    p->logsFolder = m_dir->filePath(QStringLiteral("logs"));
    p->setIsCombining(true);
    p->applyPlan(planOutputFiles(files, *m_settings, folder));
    return p;
}

void TestProcess::timeTaken_data()
{
    QTest::addColumn<int>("msecs");
    QTest::addColumn<QString>("text");
    QTest::newRow("under a second") << 800 << QString();
    QTest::newRow("75 s") << 75000 << QStringLiteral("1 min(s) 15 sec(s) ");
    QTest::newRow("one hour") << 3600000 << QStringLiteral("1 hr(s) ");
    QTest::newRow("mixed") << 3723000 << QStringLiteral("1 hr(s) 2 min(s) 3 sec(s) ");
}

void TestProcess::timeTaken()
{
    QFETCH(int, msecs);
    QFETCH(QString, text);
    const QDateTime start(QDate(2026, 3, 1), QTime(10, 0));
    QCOMPARE(timeTakenString(start, start.addMSecs(msecs)), text);
    QCOMPARE(timeTakenString(QDateTime(), start), QString());
}

void TestProcess::emptyPlan()
{
    Owner owner;
    auto p = makeProcess(0, {}, m_out);
    m_settings->setIsOpenFolderAfterConversion(true);
    p->setOwner(&owner, &owner);
    p->start();
    QVERIFY(p->isCompleted());
    QVERIFY(!p->isCombining());
    QCOMPARE(p->message(), QStringLiteral("All files created successfully."));
    QVERIFY(owner.opened.isEmpty());
    QVERIFY(QFile::exists(p->log().logFilePath()));
    QVERIFY(p->log().files.isEmpty());
    QCOMPARE(owner.labels.size(), 1);
}

void TestProcess::combinedRecordsEveryPage()
{
    SelectionRange sel;
    sel.pageRangeType = SelectionRange::ByRanges;
    sel.pageRange = QStringLiteral("4-2");
    auto p = makeProcess(1, {item(QStringLiteral("1.png")), item(QStringLiteral("multi.tif"), sel), item(QStringLiteral("2.jpg"))}, m_out);
    p->start();
    QCOMPARE(p->message(), QStringLiteral("All files created successfully."));
    QCOMPARE(p->totalFileProcessed(), 3);
    QCOMPARE(p->totalFileCreated(), 1);
    QCOMPARE(p->outputFileInProcess(), QString());
    QCOMPARE(pagesIn(m_out + QStringLiteral("/All.tiff")), 5);
    const LogFilesPtr f = p->log().files.first();
    QCOMPARE(f->filename, QStringLiteral("All.tiff"));
    QCOMPARE(f->targetPath, m_out);
    QCOMPARE(f->status, QStringLiteral("Completed"));
    QCOMPARE(f->pages, 5);
    QStringList rows;
    for (const LogFilePtr &r : f->logFiles)
        rows << QStringLiteral("%1:%2:%3").arg(QFileInfo(r->sourceFile).fileName()).arg(r->sourcePageNo).arg(r->targetPageNo);
    QCOMPARE(rows, (QStringList{QStringLiteral("1.png:1:1"), QStringLiteral("multi.tif:4:2"), QStringLiteral("multi.tif:3:3"),
                                QStringLiteral("multi.tif:2:4"), QStringLiteral("2.jpg:1:5")}));

    // The pages in the output are the chosen source pages, in the chosen order.
    QString err;
    auto out = image::ImageSource::open(m_out + QStringLiteral("/All.tiff"), &err);
    image::Page page;
    QVERIFY(out->readPage(1, &page, &err));
    QCOMPARE(int(page.pixels.at(0)), 80); // source page 4
    QVERIFY(out->readPage(3, &page, &err));
    QCOMPARE(int(page.pixels.at(0)), 40); // source page 2
}

void TestProcess::pageSelectionPastEnd()
{
    SelectionRange beyond;
    beyond.pageRangeType = SelectionRange::ByRanges;
    beyond.pageRange = QStringLiteral("4-5");
    QFile::copy(m_src + QStringLiteral("/multi.tif"), m_src + QStringLiteral("/short.tif"));
    auto shortItem = item(QStringLiteral("short.tif"), beyond);
    // Shrink the source after listing so that page 5 is missing when the run reads it.
    writeGreyTiff(m_src + QStringLiteral("/short.tif"), 4);
    auto p2 = makeProcess(0, {shortItem}, m_out);
    p2->start();
    const auto recs = p2->log().files.first()->logFiles;
    QCOMPARE(recs.size(), 2);
    QCOMPARE(recs[0]->status, QStringLiteral("Completed"));
    QCOMPARE(recs[1]->sourcePageNo, 5);
    QCOMPARE(recs[1]->targetPageNo, 0);
    QCOMPARE(recs[1]->status, QStringLiteral("Unable to load page!"));
    QCOMPARE(pagesIn(m_out + QStringLiteral("/short.tiff")), 1);
}

void TestProcess::emptyPageListGivesNoPages()
{
    SelectionRange sel;
    sel.pageRangeType = SelectionRange::BySteps;
    sel.pageSteps = 9;
    auto p = makeProcess(0, {item(QStringLiteral("multi.tif"), sel)}, m_out);
    p->start();
    const LogFilesPtr f = p->log().files.first();
    QCOMPARE(f->status, QStringLiteral("No Pages!"));
    QVERIFY(f->logFiles.isEmpty());
    QVERIFY(!QFile::exists(m_out + QStringLiteral("/multi.tiff")));
    QCOMPARE(p->message(), QStringLiteral("Total 0 files created successfully."));
}

void TestProcess::badSourcesDoNotStopTheRun()
{
    QFile::copy(m_src + QStringLiteral("/notes.jpg"), m_src + QStringLiteral("/fake.tif"));
    QFile(m_src + QStringLiteral("/empty.png")).open(QIODevice::WriteOnly);
    startCapturingLog();
    auto p = makeProcess(0, {item(QStringLiteral("notes.jpg")), item(QStringLiteral("1.png")), item(QStringLiteral("fake.tif")),
                             item(QStringLiteral("empty.png"))},
                         m_out);
    p->start();
    const QStringList syslog = capturedLog();
    stopCapturingLog();
    QCOMPARE(p->totalFileProcessed(), 4);
    QCOMPARE(p->totalFileCreated(), 1);
    QCOMPARE(p->message(), QStringLiteral("Total 1 files created successfully."));
    const auto &files = p->log().files;
    QCOMPARE(files.size(), 4);
    QCOMPARE(files[0]->status, QStringLiteral("No Pages!"));
    QCOMPARE(files[0]->logFiles.first()->status, QStringLiteral("Unable to load image!"));
    QCOMPARE(files[1]->status, QStringLiteral("Completed"));
    QCOMPARE(files[2]->status, QStringLiteral("No Pages!"));
    QCOMPARE(files[3]->logFiles.first()->status, QStringLiteral("Unable to load image!"));
    QVERIFY(!QFile::exists(m_out + QStringLiteral("/notes.tiff")));
    QVERIFY(syslog.size() >= 3);
}

void TestProcess::cancelFinishesCurrentFile_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("jobs");
    QTest::newRow("combined") << 1 << 1;
    QTest::newRow("combined, workers") << 1 << 3;
    QTest::newRow("single files, workers") << 0 << 3;
}

void TestProcess::cancelFinishesCurrentFile()
{
    QFETCH(int, mode);
    QFETCH(int, jobs);
    QList<FileItemPtr> five;
    for (int i = 1; i <= 5; ++i)
        five << item(QStringLiteral("%1.%2").arg(i).arg(i == 2 ? QStringLiteral("jpg") : i == 3 ? QStringLiteral("bmp") : QStringLiteral("png")));
    auto p = makeProcess(mode, five, m_out);
    p->jobs = jobs;
    Process *raw = p.get();
    std::atomic<int> begun{0};
    // The source's own signal: with workers, fileInProcess may already name a later file.
    connect(raw, &Process::sourceBegun, this, [raw, &begun](int, int, const QString &source, const QString &) {
        ++begun;
        if (source.endsWith(QLatin1String("/3.bmp")))
            raw->stop();
    }, Qt::DirectConnection);
    p->start();
    QCOMPARE(p->message(), QStringLiteral("Process cancelled!"));
    const QStringList left = QDir(m_out).entryList(QDir::Files | QDir::Hidden);
    if (mode == 1) {
        QCOMPARE(p->totalFileProcessed(), 3);
        QCOMPARE(pagesIn(m_out + QStringLiteral("/All.tiff")), 3);
        QCOMPARE(left, QStringList{QStringLiteral("All.tiff")});
        QCOMPARE(p->log().files.first()->status, QStringLiteral("Completed"));
    } else {
        // Every file begun is finished and counted; the file in which the cancel came
        // is kept. Which others had begun depends on the workers' timing: 4 and 5 may
        // have begun before 3.bmp was announced, 1 or 2 may have been taken and not
        // begun, and then ends without pages, as it would with one worker.
        QCOMPARE(p->totalFileProcessed(), begun.load());
        bool cancelledOneKept = false;
        int completed = 0;
        for (const auto &f : p->log().files) {
            QVERIFY2(f->status == QLatin1String("Completed") || f->status == QLatin1String("No Pages!"), qPrintable(f->status));
            const bool done = f->status == QLatin1String("Completed");
            completed += done;
            cancelledOneKept |= done && !f->logFiles.isEmpty() && f->logFiles.first()->sourceFile.endsWith(QLatin1String("/3.bmp"));
        }
        QVERIFY(cancelledOneKept);
        QCOMPARE(p->totalFileCreated(), completed);
        QCOMPARE(left.size(), p->totalFileCreated());
        for (const QString &name : left)
            QCOMPARE(pagesIn(m_out + QLatin1Char('/') + name), 1);
    }
    QVERIFY(QFile::exists(p->log().logFilePath()));
}

void TestProcess::workersGiveTheSameFilesAndLog_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("compression");
    for (int c = 0; c <= 4; ++c)
        QTest::addRow("single files, compression %d", c) << 0 << c;
    QTest::newRow("single files, automatic") << 0 << 5; // 5: the automatic choice
    QTest::newRow("one file, automatic") << 1 << 5;
    QTest::newRow("one file, LZW") << 1 << 3;
    QTest::newRow("one file, G4") << 1 << 2;
    QTest::newRow("groups, PackBits") << 2 << 4;
}

// Several workers must give what one gives: the same files, pixel for pixel,
// and the same log, record for record, in plan order.
void TestProcess::workersGiveTheSameFilesAndLog()
{
    QFETCH(int, mode);
    QFETCH(int, compression);
    // Pages of several strips, a fax page, a name clash (1.png and 1.jpg both
    // make 1.tiff; the later wins) and a file that is no image.
    QImage photo(700, 300, QImage::Format_RGB888);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixelColor(x, y, QColor((x * 7) % 256, (y * 3) % 256, (x ^ y) % 256));
    QVERIFY(photo.save(m_src + QStringLiteral("/big.png")));
    QVERIFY(photo.save(m_src + QStringLiteral("/1.jpg"), "JPG"));
    {
        image::TiffWriter fax(m_src + QStringLiteral("/fax.tif"), 4);
        image::Page page = testing::blankPage(1700, 900, 1, 1, 0, image::Photometric::MinIsWhite);
        for (quint32 y = 0; y < page.height; ++y)
            for (quint32 x = 0; x < page.width; x += 1 + (y % 13))
                testing::setSampleAt(page, x, y, 0, (x / 40 + y / 30) % 2);
        QString err;
        QVERIFY2(fax.addPage(page, &err) && fax.addPage(page, &err) && fax.commit(&err), qPrintable(err));
    }
    {
        // Fax pages of many strips, some damaged: libtiff decodes them with
        // errors, so they must be coded again, never copied, by any thread.
        const QString bad = m_src + QStringLiteral("/badfax.tif");
        TIFF *t = TIFFOpen(QFile::encodeName(bad).constData(), "w");
        QVERIFY(t);
        const quint32 w = 1700, h = 900;
        std::vector<quint8> row((w + 7) / 8);
        for (int page = 0; page < 4; ++page) {
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 30);
            for (quint32 y = 0; y < h; ++y) {
                std::fill(row.begin(), row.end(), 0);
                for (quint32 x = 0; x < w; x += 1 + ((y + page) % 13))
                    row[x / 8] |= quint8((x / 40 + y / 30) % 2 ? 0x80 >> (x % 8) : 0);
                QVERIFY(TIFFWriteScanline(t, row.data(), y, 0) == 1);
            }
            QVERIFY(TIFFWriteDirectory(t));
        }
        TIFFClose(t);
        // Every page but the first: the others are also checked ahead on the pool.
        t = TIFFOpen(QFile::encodeName(bad).constData(), "r");
        QVERIFY(t);
        std::vector<std::pair<quint64, quint64>> spans;
        while (TIFFReadDirectory(t)) {
            QCOMPARE(TIFFNumberOfStrips(t), 30u);
            for (tstrip_t s = 1; s < 30; s += 2)
                spans.emplace_back(TIFFGetStrileOffset(t, s), TIFFGetStrileByteCount(t, s));
        }
        TIFFClose(t);
        QFile f(bad);
        QVERIFY(f.open(QIODevice::ReadWrite));
        for (const auto &[offset, size] : spans) {
            QVERIFY(f.seek(qint64(offset + size / 3)));
            f.write(QByteArray(qsizetype(size / 3), char(0x55)));
        }
        f.close();
        QVERIFY(decodeErrorsIn(bad) > 0);
    }
    const QStringList names = {QStringLiteral("1.png"), QStringLiteral("big.png"), QStringLiteral("2.jpg"),
                               QStringLiteral("multi.tif"), QStringLiteral("notes.jpg"), QStringLiteral("fax.tif"),
                               QStringLiteral("3.bmp"), QStringLiteral("badfax.tif"), QStringLiteral("1.jpg"),
                               QStringLiteral("4.png")};
    m_settings->setTiffCompressionIndex(compression);
    m_settings->setAutomaticCompression(compression == 5);
    m_settings->setGroupMultiPageTIFFCount(3);
    std::unique_ptr<Process> runs[2];
    QString folders[2];
    for (int r = 0; r < 2; ++r) {
        folders[r] = m_dir->filePath(QStringLiteral("out%1").arg(r));
        QDir().mkpath(folders[r]);
        QList<FileItemPtr> items;
        for (const QString &n : names)
            items << item(n);
        runs[r] = makeProcess(mode, items, folders[r]);
        runs[r]->jobs = r == 0 ? 1 : 3;
        runs[r]->start();
        QVERIFY(runs[r]->isCompleted());
    }
    QCOMPARE(runs[1]->message(), runs[0]->message());
    QCOMPARE(runs[1]->totalFileProcessed(), runs[0]->totalFileProcessed());
    QCOMPARE(runs[1]->totalFileCreated(), runs[0]->totalFileCreated());

    const QStringList made = QDir(folders[0]).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QCOMPARE(QDir(folders[1]).entryList(QDir::Files | QDir::Hidden, QDir::Name), made);
    QVERIFY(!made.isEmpty());
    for (const QString &name : made) {
        const int pages = pagesIn(folders[0] + QLatin1Char('/') + name);
        QCOMPARE(pagesIn(folders[1] + QLatin1Char('/') + name), pages);
        for (const QString &folder : folders)
            QCOMPARE(decodeErrorsIn(folder + QLatin1Char('/') + name), 0);
        for (int i = 0; i < pages; ++i) {
            image::Page a, b;
            QString why;
            QVERIFY2(testing::decodePage(folders[0] + QLatin1Char('/') + name, i, &a, &why), qPrintable(why));
            QVERIFY2(testing::decodePage(folders[1] + QLatin1Char('/') + name, i, &b, &why), qPrintable(why));
            QVERIFY2(testing::samePixels(a, b, &why), qPrintable(name + QStringLiteral(": ") + why));
        }
    }
    if (mode == 0 && compression == 2) {
        // A fax page going to fax is copied still coded: the same pixels come out.
        for (int i = 0; i < 2; ++i) {
            image::Page in, out;
            QVERIFY(testing::decodePage(m_src + QStringLiteral("/fax.tif"), i, &in));
            QVERIFY(testing::decodePage(folders[1] + QStringLiteral("/fax.tiff"), i, &out));
            QVERIFY(testing::samePixels(in, out));
        }
    }

    const auto &a = runs[0]->log().files;
    const auto &b = runs[1]->log().files;
    QCOMPARE(b.size(), a.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        QCOMPARE(b[i]->filename, a[i]->filename);
        QCOMPARE(b[i]->status, a[i]->status);
        QCOMPARE(b[i]->pages, a[i]->pages);
        QCOMPARE(b[i]->logFiles.size(), a[i]->logFiles.size());
        for (qsizetype k = 0; k < a[i]->logFiles.size(); ++k) {
            const LogFile &x = *a[i]->logFiles[k];
            const LogFile &y = *b[i]->logFiles[k];
            QCOMPARE(y.sourceFile, x.sourceFile);
            QCOMPARE(y.sourcePageNo, x.sourcePageNo);
            QCOMPARE(y.targetPageNo, x.targetPageNo);
            QCOMPARE(y.status, x.status);
        }
    }
}

// One file from a mixed folder: fax and two-level pages go G4, the rest LZW,
// each page by itself.
void TestProcess::automaticCompressionPerPage()
{
    {
        image::TiffWriter fax(m_src + QStringLiteral("/fax.tif"), 4);
        QString err;
        const image::Page page = testing::makePage(testing::PageKind::BilevelMinIsWhite, 120, 60);
        QVERIFY2(fax.addPage(page, &err) && fax.addPage(page, &err) && fax.commit(&err), qPrintable(err));
    }
    QVERIFY(testing::writePng(m_src + QStringLiteral("/letter.png"), testing::makeDocumentPage(90, 60)));
    QVERIFY(testing::writePng(m_src + QStringLiteral("/photo.png"), testing::makePage(testing::PageKind::Rgb8, 50, 40)));
    m_settings->setAutomaticCompression(true);
    QCOMPARE(m_settings->tiffCompressionIndex(), 3);
    auto p = makeProcess(1, {item(QStringLiteral("photo.png")), item(QStringLiteral("fax.tif")), item(QStringLiteral("letter.png")),
                             item(QStringLiteral("multi.tif")), item(QStringLiteral("2.jpg"))},
                         m_out);
    p->start();
    QCOMPARE(p->message(), QStringLiteral("All files created successfully."));
    // photo, fax x2, letter, grey x5 (one level each), jpeg
    QCOMPARE(compressionsIn(m_out + QStringLiteral("/All.tiff")), (QList<int>{5, 4, 4, 4, 5, 5, 5, 5, 5, 5}));
    image::Page letter;
    QVERIFY(testing::decodePage(m_out + QStringLiteral("/All.tiff"), 3, &letter));
    QCOMPARE(letter.bitsPerSample, quint16(1));
}

void TestProcess::existingNames_data()
{
    QTest::addColumn<QString>("policy");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QStringList>("files");   // output: colour of its page, or "old"
    QTest::addColumn<QStringList>("records"); // log file name: status
    const QString done = QStringLiteral("Completed");
    for (int jobs : {1, 3}) {
        QTest::addRow("replace, %d job(s)", jobs)
            << QStringLiteral("replace") << jobs
            << QStringList{QStringLiteral("1 (2).tiff:old"), QStringLiteral("1.tiff:blue"), QStringLiteral("2.tiff:green"),
                           QStringLiteral("3.tiff:blue")}
            << QStringList{QStringLiteral("1.tiff:") + done, QStringLiteral("1.tiff:") + done, QStringLiteral("2.tiff:") + done,
                           QStringLiteral("3.tiff:") + done};
        QTest::addRow("keep both, %d job(s)", jobs)
            << QStringLiteral("keep-both") << jobs
            << QStringList{QStringLiteral("1 (2).tiff:old"), QStringLiteral("1 (3).tiff:blue"), QStringLiteral("1.tiff:red"),
                           QStringLiteral("2 (2).tiff:green"), QStringLiteral("2.tiff:old"), QStringLiteral("3.tiff:blue")}
            << QStringList{QStringLiteral("1.tiff:") + done, QStringLiteral("1 (3).tiff:") + done,
                           QStringLiteral("2 (2).tiff:") + done, QStringLiteral("3.tiff:") + done};
        QTest::addRow("skip, %d job(s)", jobs)
            << QStringLiteral("skip") << jobs
            << QStringList{QStringLiteral("1 (2).tiff:old"), QStringLiteral("1.tiff:red"), QStringLiteral("2.tiff:old"),
                           QStringLiteral("3.tiff:blue")}
            << QStringList{QStringLiteral("1.tiff:") + done, QStringLiteral("1.tiff:Skipped: name used earlier in this run"),
                           QStringLiteral("2.tiff:Skipped: file exists"), QStringLiteral("3.tiff:") + done};
    }
}

// A name taken by an earlier output of the run (1.png and 1.jpg) or by a
// file in the folder (2.tiff; "1 (2).tiff" is there too): the choice decides,
// the same way with workers as without, and the log says what happened.
void TestProcess::existingNames()
{
    QFETCH(QString, policy);
    QFETCH(int, jobs);
    QFETCH(QStringList, files);
    QFETCH(QStringList, records);
    writeImage(m_src + QStringLiteral("/1.jpg"), Qt::blue, "JPG");
    QVERIFY(testing::writeBytes(m_out + QStringLiteral("/2.tiff"), "old"));
    QVERIFY(testing::writeBytes(m_out + QStringLiteral("/1 (2).tiff"), "old"));
    ExistingFilePolicy choice;
    QVERIFY(parseExistingFilePolicy(policy, &choice));
    m_settings->setExistingFilePolicy(choice);
    m_settings->setTiffCompressionIndex(0);
    auto p = makeProcess(0, {item(QStringLiteral("1.png")), item(QStringLiteral("1.jpg")), item(QStringLiteral("2.jpg")),
                             item(QStringLiteral("3.bmp"))},
                         m_out);
    p->jobs = jobs;
    p->start();
    QStringList made;
    for (const QString &name : QDir(m_out).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QFile f(m_out + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        if (f.readAll() == "old") {
            made << name + QStringLiteral(":old");
            continue;
        }
        const QColor c = firstPixelOf(f.fileName());
        made << name + QLatin1Char(':') + (c.red() > 200 ? QStringLiteral("red") : c.green() > 200 ? QStringLiteral("green")
                                                               : c.blue() > 200                    ? QStringLiteral("blue")
                                                                                                   : c.name());
    }
    QCOMPARE(made, files);
    QStringList logged;
    for (const LogFilesPtr &f : p->log().files)
        logged << f->filename + QLatin1Char(':') + f->status;
    QCOMPARE(logged, records);
    const int skipped = policy == QLatin1String("skip") ? 2 : 0;
    QCOMPARE(p->totalFileSkipped(), skipped);
    QCOMPARE(p->totalFileCreated(), 4 - skipped);
    QCOMPARE(p->totalFileProcessed(), 4);
    QVERIFY(failedSources(p->log()).isEmpty()); // skipping is asked for, not a loss
    QVERIFY(QFile(p->log().logFilePath()).size() > 0);
}

void TestProcess::retryListNamesTheLostSources_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("folderGone");
    QTest::addColumn<QStringList>("failed");
    const QStringList bad{QStringLiteral("notes.jpg"), QStringLiteral("fake.tif"), QStringLiteral("short.tif")};
    const QStringList all{QStringLiteral("1.png"), QStringLiteral("notes.jpg"), QStringLiteral("2.jpg"), QStringLiteral("fake.tif"),
                          QStringLiteral("short.tif")};
    QTest::newRow("single files") << 0 << false << bad;
    // A file that lost a page lists every source of it: a retry rebuilds it whole.
    QTest::newRow("one file") << 1 << false << all;
    QTest::newRow("groups") << 2 << false << all;
    // Nothing could be saved: every source is lost, good ones too.
    QTest::newRow("folder gone") << 0 << true
                                 << QStringList{QStringLiteral("1.png"), QStringLiteral("notes.jpg"), QStringLiteral("2.jpg"),
                                                QStringLiteral("short.tif")};
}

// The sources a run with bad files lost, once each, in list order, written
// as the import sheet reads a list.
void TestProcess::retryListNamesTheLostSources()
{
    QFETCH(int, mode);
    QFETCH(bool, folderGone);
    QFETCH(QStringList, failed);
    QFile::copy(m_src + QStringLiteral("/notes.jpg"), m_src + QStringLiteral("/fake.tif"));
    SelectionRange beyond;
    beyond.pageRangeType = SelectionRange::ByRanges;
    beyond.pageRange = QStringLiteral("1-2,5-5");
    writeGreyTiff(m_src + QStringLiteral("/short.tif"), 6);
    auto shortItem = item(QStringLiteral("short.tif"), beyond);
    writeGreyTiff(m_src + QStringLiteral("/short.tif"), 4); // page 5 is gone when the run reads it
    QList<FileItemPtr> items{item(QStringLiteral("1.png")), item(QStringLiteral("notes.jpg")), item(QStringLiteral("2.jpg")),
                             shortItem};
    if (!folderGone)
        items.insert(3, item(QStringLiteral("fake.tif")));
    const QString folder = folderGone ? m_dir->filePath(QStringLiteral("gone")) : m_out;
    startCapturingLog();
    auto p = makeProcess(mode, items, folder);
    p->jobs = 2;
    p->start();
    stopCapturingLog();
    QStringList expected;
    for (const QString &name : failed)
        expected << m_src + QLatin1Char('/') + name;
    const QStringList lost = failedSources(p->log());
    QCOMPARE(lost, expected);
    QCOMPARE(importListText(lost), (expected.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    QStringList left;
    QCOMPARE(importListText({QStringLiteral("/a/b.png"), QStringLiteral("/a/two\nlines.png")}, &left), QByteArray("/a/b.png\n"));
    QCOMPARE(left, QStringList{QStringLiteral("/a/two\nlines.png")});

    // Retrying as the window does (exactly the listed sources checked, the
    // same names replaced) leaves every output as whole as the first run made it.
    if (folderGone)
        return;
    QMap<QString, int> before;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        before.insert(name, pagesIn(folder + QLatin1Char('/') + name));
    QList<FileItemPtr> again;
    for (const FileItemPtr &f : std::as_const(items))
        if (lost.contains(f->path()))
            again << f;
    startCapturingLog();
    auto retry = makeProcess(mode, again, folder);
    retry->jobs = 2;
    retry->start();
    stopCapturingLog();
    QMap<QString, int> after;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        after.insert(name, pagesIn(folder + QLatin1Char('/') + name));
    QCOMPARE(after, before);
}

void TestProcess::ownerCalledOnItsThreadNeverWaitedFor()
{
    Owner owner;
    auto p = makeProcess(2, {item(QStringLiteral("1.png")), item(QStringLiteral("2.jpg")), item(QStringLiteral("3.bmp"))}, m_out);
    m_settings->setGroupMultiPageTIFFCount(2);
    m_settings->setIsOpenFolderAfterConversion(true);
    p->applyPlan(planOutputFiles({item(QStringLiteral("1.png")), item(QStringLiteral("2.jpg")), item(QStringLiteral("3.bmp"))}, *m_settings, m_out));
    p->setOwner(&owner, &owner);
    // This thread turns no event loop until the run is over: a run that waited
    // for its owner would never end.
    p->startInBackground();
    QDeadlineTimer deadline(20000);
    while (!p->isCompleted() && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    QVERIFY(p->isCompleted());
    QVERIFY(p->waitForFinished(20000));
    QTRY_VERIFY(!owner.labels.isEmpty() && owner.opened.size() == 1);
    QVERIFY(owner.allOnOwnerThread);
    // Labels the owner had no time for give way to newer ones; the last is always shown.
    const QStringList all{QStringLiteral("Total Time Taken : In Process... 2/2"), QStringLiteral("Total Time Taken : In Process... 3/2"),
                          QStringLiteral("Total Time Taken : %1 3/2").arg(p->timeTaken())};
    QCOMPARE(owner.labels.last(), all.last());
    qsizetype at = 0;
    for (const QString &label : std::as_const(owner.labels)) {
        at = all.indexOf(label, at);
        QVERIFY2(at >= 0, qPrintable(label));
        ++at;
    }
    QVERIFY(QFile::exists(m_out + QStringLiteral("/Group1.tiff")));
    QCOMPARE(pagesIn(m_out + QStringLiteral("/Group2.tiff")), 1);
}

void TestProcess::outOfMemoryEndsThatFile_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("statuses"); // of each output file
    for (int jobs : {1, 3}) {
        QTest::addRow("single files, an image, %d jobs", jobs)
            << 0 << jobs << QStringLiteral("2.jpg")
            << QStringList{QStringLiteral("Completed"), QStringLiteral("No Pages!"), QStringLiteral("Completed"), QStringLiteral("Completed")};
        QTest::addRow("single files, a TIFF, %d jobs", jobs)
            << 0 << jobs << QStringLiteral("multi.tif")
            << QStringList{QStringLiteral("Completed"), QStringLiteral("Completed"), QStringLiteral("No Pages!"), QStringLiteral("Completed")};
        // Planning the combined file touches every source before any page.
        QTest::addRow("one file, %d jobs", jobs)
            << 1 << jobs << QStringLiteral("2.jpg") << QStringList{QStringLiteral("Completed")};
        QTest::addRow("groups, %d jobs", jobs)
            << 2 << jobs << QStringLiteral("multi.tif") << QStringList{QStringLiteral("Completed"), QStringLiteral("Completed")};
    }
}

// A source that runs out of memory ends with that status; the other sources
// and files are made and the run ends.
void TestProcess::outOfMemoryEndsThatFile()
{
    QFETCH(int, mode);
    QFETCH(int, jobs);
    QFETCH(QString, failing);
    QFETCH(QStringList, statuses);
    qputenv("QUILLON_FAIL_ALLOC", failing.toUtf8());
    auto restore = qScopeGuard([] { qunsetenv("QUILLON_FAIL_ALLOC"); });
    m_settings->setGroupMultiPageTIFFCount(2);
    const QStringList names{QStringLiteral("1.png"), QStringLiteral("2.jpg"), QStringLiteral("multi.tif"), QStringLiteral("3.bmp")};
    QList<FileItemPtr> items;
    for (const QString &n : names)
        items << item(n);
    startCapturingLog();
    auto p = makeProcess(mode, items, m_out);
    p->jobs = jobs;
    p->startInBackground();
    QVERIFY(p->waitForFinished(30000));
    stopCapturingLog();
    QStringList got;
    for (const LogFilesPtr &f : p->log().files)
        got << f->status;
    QCOMPARE(got, statuses);
    QCOMPARE(p->totalFileProcessed(), names.size());
    int memoryRecords = 0;
    for (const LogFilesPtr &f : p->log().files)
        for (const LogFilePtr &r : f->logFiles) {
            if (QFileInfo(r->sourceFile).fileName() == failing) {
                QCOMPARE(r->status, QStringLiteral("Not enough memory."));
                ++memoryRecords;
            } else {
                QCOMPARE(r->status, QStringLiteral("Completed"));
            }
        }
    QCOMPARE(memoryRecords, 1);
    QVERIFY(failedSources(p->log()).contains(m_src + QLatin1Char('/') + failing));
}

void TestProcess::memoryBudgetHolds_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<quint64>("budget");
    QTest::addColumn<int>("heldTogether"); // pages the run must have held at once
    const quint64 page = 600 * 400 * 3;
    QTest::newRow("single files, pages larger than the budget") << 0 << page / 2 << 1;
    QTest::newRow("single files, two pages fit") << 0 << page * 2 + page / 2 << 1;
    QTest::newRow("one file, pages larger than the budget") << 1 << page / 3 << 1;
    // The writer codes one page while the next is decoded: both count.
    QTest::newRow("one file, two pages fit") << 1 << page * 2 + page / 2 << 2;
    QTest::newRow("groups, two pages fit") << 2 << page * 2 + 100 << 1;
}

// With eight jobs the decoded pages held at once stay within the budget, or
// are a single page where one alone passes it, and every file is made.
void TestProcess::memoryBudgetHolds()
{
    QFETCH(int, mode);
    QFETCH(quint64, budget);
    QFETCH(int, heldTogether);
    QImage photo(600, 400, QImage::Format_RGB888);
    QList<FileItemPtr> items;
    for (int i = 0; i < 12; ++i) {
        photo.fill(QColor(20 * i, 255 - 20 * i, 7 * i));
        const QString name = QStringLiteral("big%1.png").arg(i);
        QVERIFY(photo.save(m_src + QLatin1Char('/') + name));
        items << item(name);
    }
    m_settings->setGroupMultiPageTIFFCount(3);
    auto p = makeProcess(mode, items, m_out);
    p->jobs = 8;
    p->memoryBudget = budget;
    p->start();
    QCOMPARE(p->message(), QStringLiteral("All files created successfully."));
    const quint64 page = 600 * 400 * 3;
    QVERIFY2(p->peakPageBytes() <= std::max(budget, page), qPrintable(QString::number(p->peakPageBytes())));
    QVERIFY(p->peakPageBytes() >= page * heldTogether);
    int pages = 0;
    for (const QString &name : QDir(m_out).entryList(QDir::Files))
        pages += pagesIn(m_out + QLatin1Char('/') + name);
    QCOMPARE(pages, 12);
}

void TestProcess::openFolderRules_data()
{
    QTest::addColumn<int>("edition");
    QTest::addColumn<bool>("ask");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("opened");
    QTest::newRow("asked and created") << 2 << true << QStringLiteral("1.png") << 1;
    QTest::newRow("not asked") << 2 << false << QStringLiteral("1.png") << 0;
    QTest::newRow("nothing created") << 2 << true << QStringLiteral("notes.jpg") << 0;
    QTest::newRow("edition one opens the settings folder") << 1 << true << QStringLiteral("1.png") << 1;
}

void TestProcess::openFolderRules()
{
    QFETCH(int, edition);
    QFETCH(bool, ask);
    QFETCH(QString, source);
    QFETCH(int, opened);
    setEdition(edition);
    Owner owner;
    const QString settingsFolder = m_dir->filePath(QStringLiteral("settings-out"));
    QDir().mkpath(settingsFolder);
    m_settings->setOutputFolderPath(edition == 1 ? settingsFolder : QString());
    m_settings->setIsOpenFolderAfterConversion(ask);
    auto p = makeProcess(0, {item(source)}, edition == 1 ? settingsFolder : m_out);
    p->setOwner(&owner, &owner);
    p->start();
    QCOMPARE(owner.opened.size(), opened);
    if (opened)
        QCOMPARE(owner.opened.first(), edition == 1 ? settingsFolder : m_out);
}

void TestProcess::sourceReplacedByItsOutput()
{
    // A .tiff source converted into its own folder is read whole before it is replaced.
    const QString path = m_src + QStringLiteral("/book.tiff");
    writeGreyTiff(path, 4);
    auto p = makeProcess(0, {item(QStringLiteral("book.tiff"))}, m_src);
    m_settings->setTiffCompressionIndex(4);
    p->start();
    QCOMPARE(p->log().files.first()->status, QStringLiteral("Completed"));
    QCOMPARE(pagesIn(path), 4);
    QString err;
    auto src = image::ImageSource::open(path, &err);
    image::Page page;
    QVERIFY(src->readPage(3, &page, &err));
    QCOMPARE(int(page.pixels.at(0)), 80);
}

void TestProcess::singleImageIsTheLastOfItsFile()
{
    // Content decides the decoder; the name decides single-image handling.
    const QString path = m_src + QStringLiteral("/scan.png");
    writeGreyTiff(path, 3);
    auto p = makeProcess(0, {item(QStringLiteral("scan.png"))}, m_out);
    p->start();
    const auto &file = p->log().files.first();
    QCOMPARE(file->status, QStringLiteral("Completed"));
    QCOMPARE(file->logFiles.size(), 1);
    QCOMPARE(file->logFiles.first()->sourcePageNo, 1);
    const QString out = m_out + QStringLiteral("/scan.tiff");
    QCOMPARE(pagesIn(out), 1);
    QString err;
    auto src = image::ImageSource::open(out, &err);
    QVERIFY2(src, qPrintable(err));
    image::Page page;
    QVERIFY(src->readPage(0, &page, &err));
    QCOMPARE(int(page.pixels.at(0)), 60); // the third page's grey
}

void TestProcess::unwritableFolderLeavesNothing()
{
    // The folder vanished after planning: the page is gathered but cannot be saved.
    const QString gone = m_dir->filePath(QStringLiteral("gone"));
    auto p = makeProcess(0, {item(QStringLiteral("1.png"))}, gone);
    startCapturingLog();
    p->start();
    const QStringList syslog = capturedLog();
    stopCapturingLog();
    QCOMPARE(syslog.filter(QStringLiteral("Unable to save file!")).size(), 1); // said once, not per step
    QCOMPARE(p->log().files.first()->status, QStringLiteral("Unable to save file!"));
    QCOMPARE(p->totalFileCreated(), 0);
    QVERIFY(!QFileInfo::exists(gone));
    QCOMPARE(p->message(), QStringLiteral("Total 0 files created successfully."));
}

void TestProcess::compressionTags_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("tag");
    QTest::newRow("none") << 0 << 1;
    QTest::newRow("g3") << 1 << 3;
    QTest::newRow("g4") << 2 << 4;
    QTest::newRow("lzw") << 3 << 5;
    QTest::newRow("packbits") << 4 << 32773;
    QTest::newRow("other") << 9 << 1;
    QTest::newRow("negative") << -1 << 1;
}

void TestProcess::compressionTags()
{
    QFETCH(int, index);
    QFETCH(int, tag);
    QCOMPARE(Process::compressionTagFor(index), tag);
}

void TestProcess::largeOutputsBecomeBigTiff()
{
    auto readMagic = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.read(4) : QByteArray();
    };
    auto p = makeProcess(1, {item(QStringLiteral("1.png")), item(QStringLiteral("multi.tif"))}, m_out);
    p->bigTiffThreshold = 1000; // the six decoded pages hold about 1.5 KB
    p->start();
    QCOMPARE(readMagic(m_out + QStringLiteral("/All.tiff")), QByteArray("II\x2b\0", 4));
    QCOMPARE(pagesIn(m_out + QStringLiteral("/All.tiff")), 6);

    auto q = makeProcess(1, {item(QStringLiteral("1.png")), item(QStringLiteral("multi.tif"))}, m_out);
    q->start();
    QCOMPARE(readMagic(m_out + QStringLiteral("/All.tiff")), QByteArray("II\x2a\0", 4));
}

QTEST_GUILESS_MAIN(TestProcess)
#include "tst_process.moc"
