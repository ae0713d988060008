// Listing many files through the window's real loading code, and working
// on the long list: the time each step takes and how long the main thread is
// ever kept from its event loop (which is how long the window froze).
// Runs only when QUILLON_BENCH_FOLDER names a folder (bench/list10k.sh sets
// it); the folder is filled with small mixed images first when it is empty.
#include "app/FileListModel.h"
#include "app/ImportFilesWindowController.h"
#include "core/FolderScan.h"
#include "tst_app_support.h"

#include "app/UiForms.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QSignalSpy>

namespace {

// How long a step took, and the longest gap between two turns of the event
// loop meanwhile, seen by a 5 ms timer.
class StallMeter : public QObject {
public:
    StallMeter()
    {
        m_ticker.setInterval(5);
        connect(&m_ticker, &QTimer::timeout, this, [this] { m_longest = qMax(m_longest, m_sinceTick.restart()); });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_sinceTick.start();
        m_ticker.start();
    }
    // The step has returned (or its job ended): lets the window catch up
    // (layout, painting), which counts for the stall, not for the time.
    void stop()
    {
        m_took = m_clock.elapsed();
        QTest::qWait(50);
        m_ticker.stop();
        m_longest = qMax(m_longest, m_sinceTick.elapsed());
    }
    qint64 took() const { return m_took; }
    qint64 longest() const { return m_longest; }

private:
    QTimer m_ticker;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
    qint64 m_took = 0;
};

} // namespace

using namespace quillon;
using namespace quillon::apptest;

class TestList10k : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listFolder_data();
    void listFolder();
    void workOnTheList();

private:
    QString m_folder;
    int m_count = 10000;
};

void TestList10k::initTestCase()
{
    m_folder = qEnvironmentVariable("QUILLON_BENCH_FOLDER");
    if (m_folder.isEmpty())
        QSKIP("set QUILLON_BENCH_FOLDER (see bench/list10k.sh)");
    m_count = qEnvironmentVariableIntValue("QUILLON_BENCH_COUNT");
    if (m_count <= 0)
        m_count = 10000;
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon Converter"));
    setEdition(2);

    // A folder filled completely before is reused as it is.
    const QString complete = m_folder + QStringLiteral("/.complete");
    if (QFileInfo::exists(complete))
        return;
    QDir(m_folder).removeRecursively();
    QDir().mkpath(m_folder);
    // One small source per type, copied under numbered names.
    const QString seeds = m_folder + QStringLiteral("/.seeds");
    QVERIFY(writeImage(seeds + QStringLiteral("/s.png"), "PNG", Qt::red, QSize(64, 48)));
    QVERIFY(writeImage(seeds + QStringLiteral("/s.jpg"), "JPG", Qt::green, QSize(64, 48)));
    QVERIFY(writeImage(seeds + QStringLiteral("/s.bmp"), "BMP", Qt::blue, QSize(64, 48)));
    QVERIFY(testing::writeGif(seeds + QStringLiteral("/s.gif"), {testing::makePage(testing::PageKind::Palette8, 64, 48)}));
    QVERIFY(writeMultiPageTiff(seeds + QStringLiteral("/s.tif"), 3));
    const QStringList types{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("bmp"), QStringLiteral("gif"), QStringLiteral("tif")};
    for (int i = 0; i < m_count; ++i) {
        const QString type = types.at(i % types.size());
        // A few subfolders, as real scan folders have.
        const QString target = QStringLiteral("%1/batch%2/image%3.%4").arg(m_folder).arg(i / 2500).arg(i, 5, 10, QLatin1Char('0')).arg(type);
        QDir().mkpath(QFileInfo(target).absolutePath());
        QVERIFY(QFile::copy(seeds + QStringLiteral("/s.") + type, target));
    }
    QVERIFY(testing::writeBytes(complete, QByteArrayLiteral("done\n")));
}

void TestList10k::listFolder_data()
{
    QTest::addColumn<int>("sortColumn");
    QTest::newRow("unsorted") << -1;
    // The new items are sorted into the list on the main thread.
    QTest::newRow("sorted by name") << int(FileListModel::Name);
    QTest::newRow("sorted by date modified") << int(FileListModel::DateModified);
}

void TestList10k::listFolder()
{
    QFETCH(int, sortColumn);
    Fixture fx;
    fx.store->setValue(QStringLiteral("INCLUDESUBFOLDERS"), true);
    auto app = fx.makeWindow();
    QVERIFY(app->awakeFromNib());
    QVERIFY(QTest::qWaitForWindowExposed(app->window()));
    if (sortColumn >= 0)
        app->fileListModel()->sort(sortColumn);

    // The longest time the event loop was kept away, measured by a 5 ms timer.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    ticker.setInterval(5);
    connect(&ticker, &QTimer::timeout, this, [&] {
        longestStall = qMax(longestStall, sinceTick.restart());
    });

    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    QElapsedTimer total;
    total.start();
    sinceTick.start();
    ticker.start();
    QVERIFY(app->loadURLs(Arguments{{QUrl::fromLocalFile(m_folder)}, true, true}));
    QVERIFY(done.wait(600000));
    const qint64 ms = total.elapsed();
    ticker.stop();

    QCOMPARE(app->files().size(), m_count);
    QVERIFY(!app->isProcessing());
    qInfo().noquote() << QStringLiteral("Listed %1 files in %2 ms (%3 files/s); longest main-thread stall %4 ms")
                             .arg(app->files().size())
                             .arg(ms)
                             .arg(ms > 0 ? qint64(app->files().size()) * 1000 / ms : 0)
                             .arg(longestStall);
    // The window must stay responsive while it lists.
    QVERIFY2(longestStall < 500, qPrintable(QStringLiteral("main thread stalled for %1 ms").arg(longestStall)));
}

void TestList10k::workOnTheList()
{
    Fixture fx;
    fx.store->setValue(QStringLiteral("INCLUDESUBFOLDERS"), true);
    QStringList table;
    StallMeter meter;
    auto report = [&](const QString &step) {
        meter.stop();
        table << QStringLiteral("bench: %1 | %2 | %3 ms | %4 ms%5")
                     .arg(step, -34)
                     .arg(m_count, 6)
                     .arg(meter.took(), 6)
                     .arg(meter.longest(), 5)
                     .arg(meter.longest() > 100 && m_count <= 10000 ? QStringLiteral("  over 100 ms") : QString());
    };

    // Importing a list: a text file of every path into an empty window.
    {
        QStringList paths;
        scanFolder(m_folder, true, {}, [&paths](const QString &f) { paths << f; });
        QCOMPARE(paths.size(), m_count);
        paths << paths.mid(0, m_count / 10); // some lines twice
        const QString list = fx.path(QStringLiteral("list.txt"));
        QVERIFY(testing::writeBytes(list, paths.join(QLatin1Char('\n')).toUtf8()));
        auto importer = fx.makeWindow();
        QVERIFY(importer->awakeFromNib());
        QVERIFY(QTest::qWaitForWindowExposed(importer->window()));
        importer->importAction();
        ImportFilesWindowController *sheet = importer->importPanel();
        QTRY_VERIFY(sheet && sheet->isVisible());
        sheet->ui()->importFile->setText(list);
        QSignalSpy done(importer.get(), &QuillonAppDelegate::loadFinished);
        meter.start();
        sheet->ui()->importBtn->click();
        QVERIFY(done.wait(900000));
        report(QStringLiteral("import a list"));
        QCOMPARE(importer->files().size(), m_count);
    }

    auto app = fx.makeWindow();
    QVERIFY(app->awakeFromNib());
    QVERIFY(QTest::qWaitForWindowExposed(app->window()));
    CustomTableView *table10k = app->mainTableView();
    {
        QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
        meter.start();
        QVERIFY(app->loadURLs(Arguments{{QUrl::fromLocalFile(m_folder)}, true, true}));
        QVERIFY(done.wait(900000));
        report(QStringLiteral("add a folder"));
        QCOMPARE(app->files().size(), m_count);
    }
    // Sorting, as a click on a column header does.
    for (int column : {int(FileListModel::Name), int(FileListModel::DateModified), int(FileListModel::SizeInKB)}) {
        meter.start();
        emit table10k->horizontalHeader()->sectionClicked(column);
        report(QStringLiteral("sort by ") + app->fileListModel()->headerData(column, Qt::Horizontal).toString());
    }
    // Every other row selected: the most ranges a selection can have.
    auto selectEveryOther = [&] {
        QItemSelection every;
        for (int r = 0; r < app->files().size(); r += 2)
            every.select(app->fileListModel()->index(r, 0), app->fileListModel()->index(r, FileListModel::ColumnCount - 1));
        table10k->selectionModel()->select(every, QItemSelectionModel::ClearAndSelect);
    };
    meter.start();
    selectEveryOther();
    report(QStringLiteral("select every other row"));
    table10k->setFocus();
    const QString second = app->files().at(1)->name();
    meter.start();
    QTest::keyClick(table10k, Qt::Key_Down, Qt::ControlModifier);
    report(QStringLiteral("move the selection down"));
    QCOMPARE(app->files().at(0)->name(), second);
    meter.start();
    QTest::keyClick(table10k, Qt::Key_Up, Qt::ControlModifier);
    report(QStringLiteral("move the selection up"));
    QCOMPARE(app->files().at(1)->name(), second);
    meter.start();
    QTest::keyClick(table10k, Qt::Key_Delete);
    report(QStringLiteral("remove every other row"));
    QCOMPARE(app->files().size(), m_count / 2);

    qInfo().noquote() << QStringLiteral("bench: %1 | %2 | %3 | %4").arg(QStringLiteral("step"), -34).arg(QStringLiteral("files"), 6)
                                 .arg(QStringLiteral("time"), 9).arg(QStringLiteral("longest stall"));
    for (const QString &line : std::as_const(table))
        qInfo().noquote() << line;
}

QTEST_MAIN(TestList10k)
#include "tst_app_list10k.moc"
