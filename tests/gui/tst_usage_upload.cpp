#include "net/LocalHttpServer.h"

#include "net/NetworkQueue.h"
#include "usage/UsagesReportingWindowController.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

using namespace quillon;
using Store = UsagesReportingWindowController;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The one file part of a multipart body: its header block and its contents.
QPair<QByteArray, QByteArray> onlyPart(const RecordedRequest &request)
{
    const QByteArray type = request.header("Content-Type");
    const QByteArray delimiter = "--" + type.mid(type.indexOf("boundary=") + 9);
    const QByteArray body = request.body;
    if (!body.startsWith(delimiter + "\r\n") || !body.endsWith("\r\n" + delimiter + "--\r\n") ||
        body.count(delimiter) != 2)
        return {};
    const QByteArray inner = body.mid(delimiter.size() + 2, body.size() - 2 * delimiter.size() - 8);
    const qsizetype split = inner.indexOf("\r\n\r\n");
    return {inner.left(split), inner.mid(split + 4)};
}

} // namespace

class TestUsageUpload : public QObject
{
    Q_OBJECT

private:
    QDateTime m_now;
    std::unique_ptr<LocalHttpServer> m_server;
    QTemporaryDir m_ids;

    Store::Environment env(int timeoutMs = 0)
    {
        Store::Environment e;
        e.now = [this] { return m_now; };
        e.timeZone = QTimeZone::utc();
        e.siteURL = m_server->url(QStringLiteral("/")).toString();
        e.openUrl = [](const QUrl &) { return true; };
        e.machineIdFiles = {m_ids.filePath(QStringLiteral("none"))};
        e.uploadTimeoutMs = timeoutMs;
        return e;
    }

    QMessageBox *waitForAlert(QWidget *parent)
    {
        QMessageBox *box = nullptr;
        (void)QTest::qWaitFor([&] {
            box = parent->findChild<QMessageBox *>(QStringLiteral("usagesReportingAlert"));
            return box && box->isVisible();
        }, 3000);
        return box && box->isVisible() ? box : nullptr;
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void defaultTimeout();
    void uploadOutcomes_data();
    void uploadOutcomes();
    void submitRefused_data();
    void submitRefused();
    void secondSubmissionCancelsFirst();
    void monthsAndDays_data();
    void monthsAndDays();
    void periodicCheck_data();
    void periodicCheck();
    void sheetApplyAndCancel();
    void sheetSubmitAlerts_data();
    void sheetSubmitAlerts();
    void toolbarItem_data();
    void toolbarItem();
    void toolbarItemForOtherIdentifiers();
};

void TestUsageUpload::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestUsageUpload::init()
{
    m_now = QDateTime(QDate(2026, 1, 31), QTime(9, 0, 0, 125), QTimeZone::utc());
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->isListening());
}

void TestUsageUpload::defaultTimeout()
{
    QTemporaryDir dir;
    Store store(nullptr, dir.path());
    QCOMPARE(store.networkQueue()->timeoutInterval(), 10000);
    QCOMPARE(net::NetworkQueue::kDefaultTimeoutMs, 10000);
    QCOMPARE(store.uploadPageURL(), QStringLiteral("http://" QUILLON_WEB_HOST "/error/usagesubmit.php"));
}

void TestUsageUpload::uploadOutcomes_data()
{
    QTest::addColumn<CannedResponse>("response");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("OK") << CannedResponse::text("OK") << true;
    QTest::newRow("OK and a line break") << CannedResponse::text("OK<br>") << false;
    QTest::newRow("OK and a space") << CannedResponse::text("OK&nbsp;") << false;
    QTest::newRow("broken OK") << CannedResponse::text("O<br>K") << false;
    QTest::newRow("lower case") << CannedResponse::text("ok") << false;
    QTest::newRow("other text") << CannedResponse::text("Invalid upload id") << false;
    QTest::newRow("empty") << CannedResponse::text("") << false;
    QTest::newRow("server hangs up") << CannedResponse::hangUp() << false;
    QTest::newRow("server never answers") << CannedResponse::silent() << false;
}

void TestUsageUpload::uploadOutcomes()
{
    QFETCH(CannedResponse, response);
    QFETCH(bool, accepted);
    m_server->respondWith(response);

    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env(300));
    store.configureForApplication();
    store.updateUsages(Store::featureNameForCombineMode(1), 7);
    const QDateTime sentBefore = store.lastReportSentOn();
    const QByteArray fileAtSubmit = readAll(store.usagesFilePath());

    m_now = m_now.addDays(3);
    QSignalSpy done(&store, &Store::reportUploadFinished);
    QVERIFY(store.submitReport());
    QVERIFY(done.wait(5000));
    QCOMPARE(done.first().first().toBool(), accepted);

    // QtNetwork sends a request once more when the connection closes without an answer.
    QCOMPARE(m_server->requests().size(), response.kind == CannedResponse::Kind::HangUp ? 2 : 1);
    const RecordedRequest &request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    // Seconds since 1970 with six decimals.
    QCOMPARE(request.target, QByteArray("/error/usagesubmit.php?f=1770109200.125000"));
    QCOMPARE(request.header("UPLOAD_ID"), QByteArray("wpf57h902136"));
    const auto part = onlyPart(request);
    QVERIFY(part.first.contains("Content-Disposition: form-data; name=\"file\"; filename=\"Usages.Log\""));
    QVERIFY(part.first.contains("Content-Type: "));
    QCOMPARE(part.second, fileAtSubmit);

    QCOMPARE(store.lastReportSentOn(), accepted ? m_now : sentBefore);
    const QByteArray saved = readAll(store.usagesFilePath());
    if (accepted)
        QVERIFY(saved.contains("<lastreportsenton>2026-02-03T09:00:00.125000Z</lastreportsenton>"));
    else
        QCOMPARE(saved, fileAtSubmit);
    // Counters are never reset by an upload.
    QCOMPARE(store.totalFilesCount(), qint64(7));
}

void TestUsageUpload::submitRefused_data()
{
    QTest::addColumn<qint64>("size"); // -1: no file
    QTest::newRow("no file") << qint64(-1);
    // The cap every other read of the file has: the upload reads no more either.
    QTest::newRow("larger than 16 MiB") << qint64(16 * 1024 * 1024 + 1);
}

void TestUsageUpload::submitRefused()
{
    QFETCH(qint64, size);
    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env());
    QVERIFY(QFile::remove(store.usagesFilePath()));
    if (size >= 0) {
        QFile big(store.usagesFilePath());
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(size));
    }
    QVERIFY(!store.submitReport());
    QCOMPARE(store.networkQueue()->requestsCount(), 0);
}

void TestUsageUpload::secondSubmissionCancelsFirst()
{
    m_server->respondWith(CannedResponse::silent());
    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env(300));
    QSignalSpy done(&store, &Store::reportUploadFinished);
    QVERIFY(store.submitReport());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 3000);
    m_server->respondWith(CannedResponse::text("OK"));
    QVERIFY(store.submitReport());
    QCOMPARE(store.networkQueue()->requestsCount(), 1);
    QVERIFY(done.wait(5000));
    QTest::qWait(400); // past the first request's time-out: it must stay silent
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.first().first().toBool(), true);
}

void TestUsageUpload::monthsAndDays_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<int>("months");
    QTest::addColumn<int>("days");
    auto at = [](int y, int m, int d, int h = 12) { return QDateTime(QDate(y, m, d), QTime(h, 0), QTimeZone::utc()); };
    QTest::newRow("30 days") << at(2026, 1, 1) << at(2026, 1, 31) << 0 << 30;
    QTest::newRow("one month") << at(2026, 1, 1) << at(2026, 2, 1) << 1 << 0;
    QTest::newRow("45 days") << at(2026, 1, 1) << at(2026, 2, 15) << 1 << 14;
    QTest::newRow("not quite a day") << at(2026, 1, 1, 12) << at(2026, 1, 2, 11) << 0 << 0;
    QTest::newRow("not quite a month") << at(2026, 1, 1, 12) << at(2026, 2, 1, 11) << 0 << 30;
    QTest::newRow("over a year") << at(2025, 3, 10) << at(2026, 4, 12) << 13 << 2;
    QTest::newRow("backwards") << at(2026, 2, 1) << at(2026, 1, 1) << 0 << 0;
}

void TestUsageUpload::monthsAndDays()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(int, months);
    QFETCH(int, days);
    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env());
    const auto result = store.monthsAndDaysBetween(from, to);
    QCOMPARE(result.first, months);
    QCOMPARE(result.second, days);
}

void TestUsageUpload::periodicCheck_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("checkReport");
    QTest::addColumn<bool>("sends");
    QTest::newRow("31 January") << QDate(2026, 1, 31) << true << true << true;
    QTest::newRow("1 February") << QDate(2026, 2, 1) << true << true << false;
    QTest::newRow("15 February") << QDate(2026, 2, 15) << true << true << false;
    QTest::newRow("30 January, 29 days") << QDate(2026, 1, 30) << true << true << false;
    QTest::newRow("1 March, 1 month 28 days") << QDate(2026, 3, 1) << true << true << false;
    QTest::newRow("2 March, 2 months 1 day") << QDate(2026, 3, 2) << true << true << false;
    QTest::newRow("31 March, 2 months 30 days") << QDate(2026, 3, 31) << true << true << true;
    QTest::newRow("reporting not allowed") << QDate(2026, 1, 31) << false << true << false;
    QTest::newRow("validate with NO") << QDate(2026, 1, 31) << true << false << false;
}

void TestUsageUpload::periodicCheck()
{
    QFETCH(QDate, today);
    QFETCH(bool, enabled);
    QFETCH(bool, checkReport);
    QFETCH(bool, sends);
    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env());
    store.setIsEnabled(enabled);
    store.setLastReportSentOn(QDateTime(QDate(2026, 1, 1), QTime(9, 0), QTimeZone::utc()));
    m_now = QDateTime(today, QTime(10, 0), QTimeZone::utc());
    store.validate(checkReport);
    QCOMPARE(store.networkQueue()->requestsCount(), sends ? 1 : 0);
    if (sends)
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 1, 3000);
}

void TestUsageUpload::sheetApplyAndCancel()
{
    QMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTemporaryDir dir;
    Store store(&window, dir.path(), env());
    store.setIsEnabled(true);
    QVERIFY(!store.enableUsagesReportingButton());

    store.usagesAction();
    QDialog *sheet = store.usagesReportingSheet();
    QVERIFY(sheet);
    QTRY_VERIFY(sheet->isVisible());
    QCOMPARE(sheet->parentWidget(), &window);
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    QCheckBox *box = store.enableUsagesReportingButton();
    QVERIFY(box->isChecked());

    // Apply with the box off writes "false".
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::mouseClick(sheet->findChild<QPushButton *>(QStringLiteral("applyButton")), Qt::LeftButton);
    QVERIFY(!sheet->isVisible());
    QVERIFY(!store.isEnabled());
    QVERIFY(readAll(store.usagesFilePath()).contains("<enabled>false</enabled>"));

    // Cancel changes nothing, and the sheet keeps the box as the user left it.
    store.usagesAction();
    QTRY_VERIFY(sheet->isVisible());
    QVERIFY(!box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    const QByteArray before = readAll(store.usagesFilePath());
    QTest::mouseClick(sheet->findChild<QPushButton *>(QStringLiteral("cancelButton")), Qt::LeftButton);
    QVERIFY(!sheet->isVisible());
    QVERIFY(!store.isEnabled());
    QCOMPARE(readAll(store.usagesFilePath()), before);
    store.usagesAction();
    QCOMPARE(store.usagesReportingSheet(), sheet); // loaded once, reused
    QVERIFY(box->isChecked());

    // The privacy link is there and does nothing.
    QTest::mouseClick(sheet->findChild<QPushButton *>(QStringLiteral("privacyPolicyButton")), Qt::LeftButton);
    QVERIFY(sheet->isVisible());
    QCOMPARE(readAll(store.usagesFilePath()), before);
    store.cancelAction();
}

void TestUsageUpload::sheetSubmitAlerts_data()
{
    QTest::addColumn<bool>("haveFile");
    QTest::addColumn<CannedResponse>("response");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QMessageBox::Icon>("icon");
    // Success is claimed when the request is on its way, whatever the server says later.
    QTest::newRow("sent, server refuses") << true << CannedResponse::text("No") << QStringLiteral("Report submitted successfully.")
                                          << QMessageBox::Information;
    QTest::newRow("no file") << false << CannedResponse::text("OK") << QStringLiteral("Unable to submit report!")
                             << QMessageBox::Critical;
}

void TestUsageUpload::sheetSubmitAlerts()
{
    QFETCH(bool, haveFile);
    QFETCH(CannedResponse, response);
    QFETCH(QString, message);
    QFETCH(QMessageBox::Icon, icon);
    m_server->respondWith(response);

    QMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTemporaryDir dir;
    Store store(&window, dir.path(), env());
    if (!haveFile)
        QVERIFY(QFile::remove(store.usagesFilePath()));
    store.usagesAction();
    QDialog *sheet = store.usagesReportingSheet();
    QTRY_VERIFY(sheet->isVisible());
    QTest::mouseClick(sheet->findChild<QPushButton *>(QStringLiteral("submitButton")), Qt::LeftButton);

    QMessageBox *alert = waitForAlert(sheet);
    QVERIFY(alert);
    QCOMPARE(alert->windowTitle(), QStringLiteral("Usages Reporting :"));
    QCOMPARE(alert->text(), message);
    QCOMPARE(alert->icon(), icon);
    QCOMPARE(alert->buttons().size(), 1);
    QTest::mouseClick(alert->buttons().first(), Qt::LeftButton);
    QTRY_VERIFY(!sheet->findChild<QMessageBox *>(QStringLiteral("usagesReportingAlert")));
    QVERIFY(sheet->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), haveFile ? 1 : 0, 3000);
    store.cancelAction();
}

void TestUsageUpload::toolbarItem_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("expected");
    const QString id = QStringLiteral("USAGESREPORTING");
    QTest::newRow("after the middle item")
        << QStringLiteral("Convert") << QStringList({QStringLiteral("Add"), QStringLiteral("Convert"), id, QStringLiteral("Help"), QStringLiteral("Convert")});
    QTest::newRow("after the last item")
        << QStringLiteral("Help") << QStringList({QStringLiteral("Add"), QStringLiteral("Convert"), QStringLiteral("Help"), id, QStringLiteral("Convert")});
    QTest::newRow("no such label")
        << QStringLiteral("Usages") << QStringList({QStringLiteral("Add"), QStringLiteral("Convert"), QStringLiteral("Help"), QStringLiteral("Convert")});
}

void TestUsageUpload::toolbarItem()
{
    QFETCH(QString, label);
    QFETCH(QStringList, expected);
    QMainWindow window;
    QToolBar *bar = window.addToolBar(QStringLiteral("main"));
    for (const char *text : {"Add", "Convert", "Help", "Convert"}) {
        QAction *action = bar->addAction(QString::fromLatin1(text));
        action->setObjectName(QString::fromLatin1(text));
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTemporaryDir dir;
    Store store(&window, dir.path(), env());
    store.initToolbar(nullptr, label); // no toolbar: nothing happens
    store.initToolbar(bar, label);
    QStringList names;
    for (QAction *action : bar->actions())
        names << action->objectName();
    QCOMPARE(names, expected);

    QAction *item = bar->findChild<QAction *>(QStringLiteral("USAGESREPORTING"));
    if (!expected.contains(QStringLiteral("USAGESREPORTING"))) {
        QVERIFY(!item);
        return;
    }
    QCOMPARE(item->text(), QStringLiteral("Usages Reporting"));
    QCOMPARE(item->toolTip(), QStringLiteral("Usages Reporting"));
    QCOMPARE(item->property("paletteLabel").toString(), QStringLiteral("USAGESREPORTING"));
    QVERIFY(!item->icon().isNull());
    item->trigger();
    QVERIFY(store.usagesReportingSheet());
    QTRY_VERIFY(store.usagesReportingSheet()->isVisible());
    store.cancelAction();
}

void TestUsageUpload::toolbarItemForOtherIdentifiers()
{
    QToolBar bar;
    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env());
    QAction *item = store.toolbar(&bar, QStringLiteral("SOMETHING"), true);
    QCOMPARE(item->objectName(), QStringLiteral("SOMETHING"));
    QVERIFY(item->text().isEmpty());
    QVERIFY(item->icon().isNull());
    QCOMPARE(item->parent(), &bar);
}

QTEST_MAIN(TestUsageUpload)
#include "tst_usage_upload.moc"
