// Listing many files through the window's real loading code: the time it
// takes and how long the main thread is ever kept from its event loop.
// Runs only when QUILLON_BENCH_FOLDER names a folder (bench/list10k.sh sets
// it); the folder is filled with small mixed images first when it is empty.
#include "app/FileListModel.h"
#include "tst_app_support.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace quillon;
using namespace quillon::apptest;

class TestList10k : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listFolder_data();
    void listFolder();

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

QTEST_MAIN(TestList10k)
#include "tst_app_list10k.moc"
