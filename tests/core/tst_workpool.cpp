#include "core/WorkPool.h"

#include <QTest>

#include <atomic>
#include <future>
#include <stdexcept>

using namespace quillon;

class TestWorkPool : public QObject {
    Q_OBJECT
private slots:
    void jobsAndTasks_data();
    void jobsAndTasks();
};

void TestWorkPool::jobsAndTasks_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("jobs");
    QTest::addColumn<int>("tasksPerJob");
    QTest::addColumn<bool>("tasksThrow");
    QTest::addColumn<bool>("jobsThrow");
    QTest::addColumn<bool>("shutDownAtOnce"); // the pool is destroyed with all of it still queued
    // One thread: the job waiting for its tasks must run them itself.
    QTest::newRow("one thread, a job waits on its tasks") << 1 << 3 << 8 << false << false << false;
    QTest::newRow("more jobs than threads") << 2 << 9 << 5 << false << false << false;
    QTest::newRow("throwing tasks still count as done") << 2 << 4 << 6 << true << false << false;
    QTest::newRow("throwing tasks, one thread") << 1 << 2 << 6 << true << false << false;
    QTest::newRow("throwing jobs are reported") << 3 << 6 << 2 << false << true << false;
    QTest::newRow("shutdown with work queued") << 2 << 12 << 4 << false << false << true;
    QTest::newRow("shutdown with throwing work queued") << 1 << 5 << 3 << true << true << true;
}

// Every job and task runs once, whatever throws; what throws is reported,
// nothing waits for ever.
void TestWorkPool::jobsAndTasks()
{
    QFETCH(int, threads);
    QFETCH(int, jobs);
    QFETCH(int, tasksPerJob);
    QFETCH(bool, tasksThrow);
    QFETCH(bool, jobsThrow);
    QFETCH(bool, shutDownAtOnce);
    std::atomic<int> tasksRun{0};
    std::atomic<int> jobsEnded{0};
    std::atomic<int> reported{0};
    std::promise<void> go;
    std::shared_future<void> started = go.get_future().share();
    {
        WorkPool pool(threads, [&](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::runtime_error &) {
                ++reported;
            }
        });
        for (int j = 0; j < jobs; ++j) {
            pool.submitJob([&, started] {
                started.wait();
                WorkPool::Group group;
                for (int t = 0; t < tasksPerJob; ++t)
                    pool.submitTask(group, [&, t] {
                        ++tasksRun;
                        if (tasksThrow && t % 2 == 0)
                            throw std::runtime_error("task");
                    });
                pool.wait(group);
                ++jobsEnded;
                if (jobsThrow)
                    throw std::runtime_error("job");
            });
        }
        go.set_value();
        if (!shutDownAtOnce)
            QTRY_COMPARE_WITH_TIMEOUT(jobsEnded.load(), jobs, 20000);
        // Otherwise the destructor runs what is still queued before it returns.
    }
    QCOMPARE(jobsEnded.load(), jobs);
    QCOMPARE(tasksRun.load(), jobs * tasksPerJob);
    const int expected = (tasksThrow ? jobs * ((tasksPerJob + 1) / 2) : 0) + (jobsThrow ? jobs : 0);
    QCOMPARE(reported.load(), expected);
}

QTEST_GUILESS_MAIN(TestWorkPool)
#include "tst_workpool.moc"
