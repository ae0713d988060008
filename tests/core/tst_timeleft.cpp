// The time a run has left, as the progress sheet and the CLI show it.
#include "core/TimeLeft.h"

#include <QTest>

using namespace quillon;

class TestTimeLeft : public QObject {
    Q_OBJECT
private slots:
    void estimate_data();
    void estimate();
    void texts_data();
    void texts();
};

void TestTimeLeft::estimate_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("done");
    QTest::addColumn<int>("files");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("left");
    QTest::addColumn<int>("percent");
    // 1000 bytes in 2 s: 500 B/s, 3000 bytes to go.
    QTest::newRow("at the sample") << qint64(4000) << qint64(1000) << 1 << qint64(2000) << qint64(2000) << qint64(6000) << 25;
    QTest::newRow("counts down between files") << qint64(4000) << qint64(1000) << 1 << qint64(2000) << qint64(5000) << qint64(3000) << 25;
    QTest::newRow("never below zero") << qint64(4000) << qint64(1000) << 1 << qint64(2000) << qint64(60000) << qint64(0) << 25;
    QTest::newRow("before the first file") << qint64(4000) << qint64(1000) << 0 << qint64(2000) << qint64(2000) << qint64(-1) << 25;
    QTest::newRow("sizes unknown") << qint64(0) << qint64(0) << 3 << qint64(2000) << qint64(2000) << qint64(-1) << 30;
    QTest::newRow("no time passed") << qint64(4000) << qint64(1000) << 1 << qint64(0) << qint64(0) << qint64(-1) << 25;
    // A source that grew after planning can't make more than all of it done.
    QTest::newRow("more done than planned") << qint64(4000) << qint64(5000) << 2 << qint64(1000) << qint64(1000) << qint64(0) << 100;
}

void TestTimeLeft::estimate()
{
    QFETCH(qint64, total);
    QFETCH(qint64, done);
    QFETCH(int, files);
    QFETCH(qint64, at);
    QFETCH(qint64, now);
    QFETCH(qint64, left);
    QFETCH(int, percent);
    TimeLeftEstimate e;
    e.reset(total);
    QCOMPARE(e.msecsLeft(0), qint64(-1));
    e.update(done, files, at);
    QCOMPARE(e.msecsLeft(now), left);
    QCOMPARE(e.percent(files, 10), percent);
    QCOMPARE(e.bytesPerSecond() > 0, left >= 0);
    // A new run forgets the old one.
    e.reset(total);
    QCOMPARE(e.msecsLeft(now), qint64(-1));
}

void TestTimeLeft::texts_data()
{
    QTest::addColumn<qint64>("msecs");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown") << qint64(-1) << QString();
    QTest::newRow("almost done") << qint64(1200) << "less than 5 s";
    QTest::newRow("seconds") << qint64(12000) << "about 12 s";
    QTest::newRow("tens of seconds in fives") << qint64(41000) << "about 45 s";
    QTest::newRow("minutes and seconds") << qint64(130000) << "about 2 min 10 s";
    QTest::newRow("whole minutes") << qint64(1260000) << "about 21 min";
    QTest::newRow("hours") << qint64(3 * 3600000 + 5 * 60000) << "about 3 h 5 min";
}

void TestTimeLeft::texts()
{
    QFETCH(qint64, msecs);
    QFETCH(QString, text);
    QCOMPARE(timeLeftText(msecs), text);
    QCOMPARE(throughputText(0), QString());
    QCOMPARE(throughputText(3.5 * 1024 * 1024), QStringLiteral("3.5 MB/s"));
    QCOMPARE(throughputText(820 * 1024), QStringLiteral("820 KB/s"));
}

QTEST_GUILESS_MAIN(TestTimeLeft)
#include "tst_timeleft.moc"
