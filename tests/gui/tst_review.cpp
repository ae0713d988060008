#include "usage/ReviewWindowController.h"
#include "usage/UsagesReportingWindowController.h"

#include <QCheckBox>
#include <QFile>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace quillon;
using Store = UsagesReportingWindowController;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool promptShown(const Store &store)
{
    return store.reviewPanel() && store.reviewPanel()->isWindowLoaded() && store.reviewPanel()->window()->isVisible();
}

struct RecordingDelegate : ReviewWindowControllerDelegate
{
    virtual ~RecordingDelegate() = default;
    int calls = 0;
    bool neverAskSeen = false;
    void reviewWindowControllerDidFinished(ReviewWindowController *controller) override
    {
        ++calls;
        neverAskSeen = controller->neverAskForReview();
    }
};

} // namespace

class TestReview : public QObject
{
    Q_OBJECT

private:
    QDateTime m_now = QDateTime(QDate(2026, 3, 1), QTime(8, 30), QTimeZone::utc());
    QList<QUrl> m_opened;
    QTemporaryDir m_ids;
    std::unique_ptr<QMainWindow> m_window;

    Store::Environment env()
    {
        Store::Environment e;
        e.now = [this] { return m_now; };
        e.timeZone = QTimeZone::utc();
        e.siteURL = QStringLiteral("http://127.0.0.1:9");
        e.openUrl = [this](const QUrl &url) {
            m_opened << url;
            return true;
        };
        e.machineIdFiles = {m_ids.filePath(QStringLiteral("none"))};
        return e;
    }

    // One launch of the application as far as the store is concerned.
    std::unique_ptr<Store> launch(const QString &folder)
    {
        auto store = std::make_unique<Store>(m_window.get(), folder, env());
        store->configureForApplication();
        store->validate(false);
        return store;
    }

    void press(Store &store, const char *button)
    {
        QPushButton *b = store.reviewPanel()->window()->findChild<QPushButton *>(QLatin1String(button));
        QVERIFY(b);
        QTest::mouseClick(b, Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void reviewCheck_data();
    void reviewCheck();
    void promptAcrossLaunches();
    void closingMovesTheTarget_data();
    void closingMovesTheTarget();
    void missingReviewUrlOpensNothing();
    void neverAskAgain();
    void escapeCountsAsCancel();
    void controllerMirrorsCheckBox();
};

void TestReview::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestReview::init()
{
    m_opened.clear();
    m_now = QDateTime(QDate(2026, 3, 1), QTime(8, 30), QTimeZone::utc());
    m_window = std::make_unique<QMainWindow>();
    m_window->resize(600, 400);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestReview::cleanup()
{
    m_window.reset();
}

void TestReview::reviewCheck_data()
{
    QTest::addColumn<qint32>("files");
    QTest::addColumn<qint64>("target");
    QTest::addColumn<bool>("reviewEnabled");
    QTest::addColumn<bool>("neverAsk");
    QTest::addColumn<bool>("shown");
    QTest::newRow("499 of 500") << 499 << qint64(500) << true << false << false;
    QTest::newRow("500 of 500") << 500 << qint64(500) << true << false << true;
    QTest::newRow("past the target") << 731 << qint64(500) << true << false << true;
    QTest::newRow("1229 of 1230") << 1229 << qint64(1230) << true << false << false;
    QTest::newRow("1230 of 1230") << 1230 << qint64(1230) << true << false << true;
    QTest::newRow("nothing converted, target 0") << 0 << qint64(0) << true << false << false;
    QTest::newRow("nothing converted, negative target") << 0 << qint64(-5) << true << false << false;
    QTest::newRow("never ask") << 900 << qint64(500) << true << true << false;
    QTest::newRow("prompt disabled") << 900 << qint64(500) << false << false << false;
}

void TestReview::reviewCheck()
{
    QFETCH(qint32, files);
    QFETCH(qint64, target);
    QFETCH(bool, reviewEnabled);
    QFETCH(bool, neverAsk);
    QFETCH(bool, shown);
    QTemporaryDir dir;
    Store store(m_window.get(), dir.path(), env());
    // Spread over two modes: the check adds up all of them.
    store.features().append(FeatureUsages::initWithName(QStringLiteral("a"), 1, files / 2));
    store.features().append(FeatureUsages::initWithName(QStringLiteral("b"), 1, files - files / 2));
    store.setNextReviewTargetValue(target);
    store.setIsReviewEnabled(reviewEnabled);
    store.setNeverAskForReview(neverAsk);
    store.validate(false);
    QCOMPARE(promptShown(store), shown);
    if (shown) {
        QCOMPARE(store.reviewPanel()->window()->parentWidget(), m_window.get());
        QCOMPARE(store.reviewPanel()->window()->windowModality(), Qt::WindowModal);
    }
}

void TestReview::promptAcrossLaunches()
{
    QTemporaryDir dir;
    const QString mode = Store::featureNameForCombineMode(0);
    {
        auto store = launch(dir.path()); // first launch: no file yet
        QCOMPARE(store->nextReviewTargetValue(), qint64(500));
        QVERIFY(!promptShown(*store));
        store->updateUsages(mode, 300);
        store->updateUsages(Store::featureNameForCombineMode(2), 199);
        QVERIFY(!promptShown(*store)); // counting never prompts by itself
    }
    {
        auto store = launch(dir.path());
        QVERIFY(!promptShown(*store)); // 499
        store->updateUsages(mode, 1);
        QVERIFY(!promptShown(*store)); // due, but only checked at launch
    }
    auto store = launch(dir.path());
    QVERIFY(promptShown(*store));
}

void TestReview::closingMovesTheTarget_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("opens");
    QTest::newRow("OK") << QByteArray("okButton") << true;
    QTest::newRow("Cancel") << QByteArray("cancelButton") << false;
}

void TestReview::closingMovesTheTarget()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    {
        auto store = launch(dir.path());
        store->updateUsages(Store::featureNameForCombineMode(1), 730);
    }
    auto store = launch(dir.path());
    QVERIFY(promptShown(*store));
    m_now = m_now.addDays(2);
    press(*store, button.constData());
    QVERIFY(!promptShown(*store));
    QCOMPARE(store->nextReviewTargetValue(), qint64(1230));
    QCOMPARE(store->lastReviewAskDate(), m_now);
    QVERIFY(!store->neverAskForReview());
    const QByteArray saved = readAll(store->usagesFilePath());
    QVERIFY(saved.contains("<nextReviewTargetValue>1230</nextReviewTargetValue>"));
    QVERIFY(saved.contains("<lastReviewAskDate>2026-03-03T08:30:00.000000Z</lastReviewAskDate>"));
    QCOMPARE(m_opened, opens ? QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:9/review.php?pid=2007"))} : QList<QUrl>{});

    // The next launch keeps quiet until 1230.
    store.reset();
    store = launch(dir.path());
    QVERIFY(!promptShown(*store));
}

void TestReview::missingReviewUrlOpensNothing()
{
    QTemporaryDir dir;
    Store store(m_window.get(), dir.path(), env());
    store.setReviewFileCountLimit(500);
    store.setReviewURL(QString());
    store.updateUsages(QStringLiteral("x"), 40);
    store.submitReview();
    QVERIFY(promptShown(store));
    press(store, "okButton");
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(store.nextReviewTargetValue(), qint64(540)); // the outcome is still recorded
}

void TestReview::neverAskAgain()
{
    QTemporaryDir dir;
    {
        auto store = launch(dir.path());
        store->updateUsages(Store::featureNameForCombineMode(0), 600);
    }
    auto store = launch(dir.path());
    QVERIFY(promptShown(*store));
    QCheckBox *box = store->reviewPanel()->neverAskmeAgainButton();
    QVERIFY(box && !box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    press(*store, "cancelButton");
    QVERIFY(store->neverAskForReview());
    QVERIFY(readAll(store->usagesFilePath()).contains("<neverAskForReview>true</neverAskForReview>"));

    // Far past any target: no automatic prompt any more.
    store->updateUsages(Store::featureNameForCombineMode(0), 100000);
    store.reset();
    store = launch(dir.path());
    QVERIFY(!promptShown(*store));

    // On demand it still comes, with the box ticked; unticking re-enables the prompts.
    store->submitReview();
    QVERIFY(promptShown(*store));
    box = store->reviewPanel()->neverAskmeAgainButton();
    QVERIFY(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    press(*store, "okButton");
    QVERIFY(!store->neverAskForReview());
    QCOMPARE(store->nextReviewTargetValue(), qint64(100600 + 500));
    store->updateUsages(Store::featureNameForCombineMode(0), 500);
    store.reset();
    store = launch(dir.path());
    QVERIFY(promptShown(*store));
}

void TestReview::escapeCountsAsCancel()
{
    QTemporaryDir dir;
    Store store(m_window.get(), dir.path(), env());
    store.updateUsages(QStringLiteral("x"), 10);
    store.submitReview();
    QVERIFY(promptShown(store));
    QSignalSpy finished(store.reviewPanel(), &ReviewWindowController::finished);
    QTest::keyClick(store.reviewPanel()->window(), Qt::Key_Escape);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!promptShown(store));
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(store.nextReviewTargetValue(), qint64(10 + 1000));

    // The same window comes back on the next request.
    QDialog *first = store.reviewPanel()->window();
    store.submitReview();
    QCOMPARE(store.reviewPanel()->window(), first);
    QVERIFY(promptShown(store));
}

void TestReview::controllerMirrorsCheckBox()
{
    ReviewWindowController controller;
    QVERIFY(controller.reviewURL().isEmpty());
    QVERIFY(!controller.neverAskForReview());
    QVERIFY(!controller.isWindowLoaded());
    QVERIFY(!controller.neverAskmeAgainButton());

    RecordingDelegate delegate;
    controller.setDelegate(&delegate);
    controller.setNeverAskForReview(true);
    QCheckBox *box = (controller.window(), controller.neverAskmeAgainButton());
    QVERIFY(box->isChecked()); // property set before the window existed
    controller.setNeverAskForReview(false);
    QVERIFY(!box->isChecked());
    box->setChecked(true);
    QVERIFY(controller.neverAskForReview());

    QUrl opened;
    controller.setUrlOpener([&](const QUrl &url) {
        opened = url;
        return true;
    });
    controller.setReviewURL(QStringLiteral("https://example.invalid/review.php?pid=2007"));
    controller.showWindow(m_window.get());
    controller.reviewOKAction();
    QCOMPARE(opened, QUrl(QStringLiteral("https://example.invalid/review.php?pid=2007")));
    QCOMPARE(delegate.calls, 1);
    QVERIFY(delegate.neverAskSeen);
    controller.reviewCancelAction();
    QCOMPARE(delegate.calls, 2);
}

QTEST_MAIN(TestReview)
#include "tst_review.moc"
