#include "Platform/DispatchQueue.h"
#include "support/ManualClock.h"
#include "support/TestMain.h"

#include <QStringList>
#include <QTest>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Records the order in which work ran; safe from the worker thread.
class RunLog
{
public:
    void add(const QString& name)
    {
        std::lock_guard lock(m_mutex);
        m_names.append(name);
    }
    QStringList names() const
    {
        std::lock_guard lock(m_mutex);
        return m_names;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_names;
};

std::shared_ptr<DispatchWorkItem> logItem(RunLog& log, const QString& name)
{
    return std::make_shared<DispatchWorkItem>([&log, name] { log.add(name); });
}

} // namespace

class TestDispatchQueue : public QObject
{
    Q_OBJECT

private slots:
    void runsInOrderOfDeadline_data();
    void runsInOrderOfDeadline();
    void nothingRunsBeforeItsTime();
    void cancelledItemNeverRunsAndReleasesItsWork();
    void dueItemWaitingBehindRunningWorkIsCancellable();
    void cancelAfterRunReportsFalse();
    void syncWaitsForDueWorkAndRunsInline();
    void drainNowRunsDelayedWorkAtOnce_data();
    void drainNowRunsDelayedWorkAtOnce();
    void destructorFinishesRunningWorkAndDropsTheRest();
    void systemClockRunsDelayedWork();
};

void TestDispatchQueue::runsInOrderOfDeadline_data()
{
    QTest::addColumn<QList<int>>("delaysMs");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("later first submitted") << QList<int> {300, 100, 200} << QStringList {"1", "2", "0"};
    QTest::newRow("equal delays keep submission order") << QList<int> {100, 100, 100} << QStringList {"0", "1", "2"};
    QTest::newRow("immediate before delayed") << QList<int> {50, 0, 50, 0} << QStringList {"1", "3", "0", "2"};
    QTest::newRow("negative delay counts as now") << QList<int> {10, -5} << QStringList {"1", "0"};
}

void TestDispatchQueue::runsInOrderOfDeadline()
{
    QFETCH(QList<int>, delaysMs);
    QFETCH(QStringList, expected);
    auto clock = std::make_shared<ManualClock>();
    RunLog log;
    DispatchQueue queue("test.order", clock);
    // Hold the worker until everything is queued, so the order is decided by deadlines alone.
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    queue.async([opened] { opened.wait(); });
    for (qsizetype i = 0; i < delaysMs.size(); ++i)
        queue.asyncAfter(std::chrono::milliseconds(delaysMs[i]), logItem(log, QString::number(i)));
    clock->advance(1s);
    gate.set_value();
    queue.sync([] {});
    QCOMPARE(log.names(), expected);
}

void TestDispatchQueue::nothingRunsBeforeItsTime()
{
    auto clock = std::make_shared<ManualClock>();
    RunLog log;
    DispatchQueue queue("test.time", clock);
    queue.asyncAfter(400ms, logItem(log, "save"));
    clock->advance(399ms);
    queue.sync([] {});
    QVERIFY(log.names().isEmpty());
    clock->advance(1ms);
    queue.sync([] {});
    QCOMPARE(log.names(), QStringList {"save"});
}

void TestDispatchQueue::cancelledItemNeverRunsAndReleasesItsWork()
{
    auto clock = std::make_shared<ManualClock>();
    RunLog log;
    DispatchQueue queue("test.cancel", clock);
    auto held = std::make_shared<int>(7);
    auto item = std::make_shared<DispatchWorkItem>([&log, held] { log.add("held " + QString::number(*held)); });
    queue.asyncAfter(400ms, item);
    QCOMPARE(held.use_count(), 2L);
    QVERIFY(item->cancel());
    QVERIFY(item->isCancelled());
    QCOMPARE(held.use_count(), 1L); // released at cancel time, not when the deadline passes
    QVERIFY(!item->cancel());
    clock->advance(1s);
    queue.sync([] {});
    QVERIFY(log.names().isEmpty());
}

void TestDispatchQueue::dueItemWaitingBehindRunningWorkIsCancellable()
{
    auto clock = std::make_shared<ManualClock>();
    RunLog log;
    DispatchQueue queue("test.behind", clock);
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    queue.async([&started, released, &log] {
        started.set_value();
        released.wait();
        log.add("write");
    });
    started.get_future().wait();
    auto pending = logItem(log, "pending");
    queue.asyncAfter(100ms, pending);
    clock->advance(200ms); // due now, but the worker is busy
    QVERIFY(pending->cancel());
    release.set_value();
    queue.sync([] {});
    QCOMPARE(log.names(), QStringList {"write"});
}

void TestDispatchQueue::cancelAfterRunReportsFalse()
{
    auto clock = std::make_shared<ManualClock>();
    RunLog log;
    DispatchQueue queue("test.late-cancel", clock);
    auto item = logItem(log, "ran");
    queue.asyncAfter(0ms, item);
    queue.sync([] {});
    QVERIFY(!item->cancel());
    QCOMPARE(log.names(), QStringList {"ran"});
}

void TestDispatchQueue::syncWaitsForDueWorkAndRunsInline()
{
    auto clock = std::make_shared<ManualClock>();
    RunLog log;
    DispatchQueue queue("test.sync", clock);
    queue.asyncAfter(100ms, logItem(log, "due"));
    queue.asyncAfter(500ms, logItem(log, "not yet"));
    clock->advance(100ms);
    bool onQueue = false;
    queue.sync([&] {
        log.add("sync");
        onQueue = queue.isCurrent();
        queue.sync([&] { log.add("nested"); }); // on its own thread: runs at once
    });
    QVERIFY(onQueue);
    QVERIFY(!queue.isCurrent());
    QCOMPARE(log.names(), (QStringList {"due", "sync", "nested"}));
}

void TestDispatchQueue::drainNowRunsDelayedWorkAtOnce_data()
{
    QTest::addColumn<bool>("busy"); // a write is running when the drain is asked for
    QTest::addColumn<bool>("blockedLong"); // and it outlasts the bound
    QTest::newRow("idle queue") << false << false;
    QTest::newRow("behind a running write") << true << false;
    QTest::newRow("behind a write that outlasts the bound") << true << true;
}

// The last resort of an ending process: delayed work runs now, in its order, cancelled work
// never; the wait is bounded.
void TestDispatchQueue::drainNowRunsDelayedWorkAtOnce()
{
    QFETCH(bool, busy);
    QFETCH(bool, blockedLong);
    auto clock = std::make_shared<ManualClock>(); // never advanced
    RunLog log;
    DispatchQueue queue("test.drain", clock);
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    if (busy) {
        queue.async([&started, released, &log] {
            started.set_value();
            released.wait();
            log.add("write");
        });
        started.get_future().wait();
    }
    queue.asyncAfter(400ms, logItem(log, "pending save"));
    queue.asyncAfter(10s, logItem(log, "later"));
    auto cancelled = logItem(log, "cancelled");
    queue.asyncAfter(100ms, cancelled);
    QVERIFY(cancelled->cancel());
    std::thread releaser;
    if (busy && !blockedLong)
        releaser = std::thread([&release] {
            std::this_thread::sleep_for(50ms);
            release.set_value();
        });
    const bool drained = queue.drainNow(blockedLong ? 200ms : 5s);
    if (releaser.joinable())
        releaser.join();
    QCOMPARE(drained, !blockedLong);
    if (blockedLong) {
        QVERIFY(log.names().isEmpty());
        release.set_value();
        QVERIFY(queue.drainNow(5s));
    }
    const QStringList ran = busy ? QStringList {"write", "pending save", "later"} : QStringList {"pending save", "later"};
    QCOMPARE(log.names(), ran);
    bool fromWorker = true;
    queue.sync([&] { fromWorker = queue.drainNow(1s); });
    QVERIFY(!fromWorker);
}

void TestDispatchQueue::destructorFinishesRunningWorkAndDropsTheRest()
{
    auto clock = std::make_shared<ManualClock>();
    RunLog log;
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::thread releaser;
    {
        DispatchQueue queue("test.teardown", clock);
        queue.async([&started, released, &log] {
            started.set_value();
            released.wait();
            log.add("running");
        });
        started.get_future().wait();
        queue.async([&log] { log.add("queued"); });
        queue.asyncAfter(10ms, logItem(log, "delayed"));
        releaser = std::thread([&release] {
            std::this_thread::sleep_for(20ms);
            release.set_value();
        });
    }
    releaser.join();
    QCOMPARE(log.names(), QStringList {"running"});
}

void TestDispatchQueue::systemClockRunsDelayedWork()
{
    DispatchQueue queue("test.system");
    std::promise<QString> ran;
    queue.asyncAfter(5ms, std::make_shared<DispatchWorkItem>([&ran] { ran.set_value("done"); }));
    auto result = ran.get_future();
    QCOMPARE(result.wait_for(10s), std::future_status::ready);
    QCOMPARE(result.get(), QString("done"));
}

TESSELLON_TEST_MAIN(TestDispatchQueue)
#include "tst_DispatchQueue.moc"
