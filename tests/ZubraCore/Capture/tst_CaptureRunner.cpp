#include "ZubraCore/Capture/CaptureRunner.h"
#include "support/TestMain.h"

#include <QSignalSpy>
#include <QThread>
#include <future>

using namespace std::chrono_literals;

namespace {

CaptureResult result(const QString& text)
{
    CaptureResult r;
    r.text = text;
    r.appName = u"Editor"_qs;
    return r;
}

// Lives on the GUI thread, as the clipboard backend does; the job asks it for a value and
// blocks until the GUI thread's event loop answers.
class GuiSide : public QObject
{
public:
    QString answer() const
    {
        Q_ASSERT(QThread::currentThread() == thread());
        return u"from the GUI thread"_qs;
    }
};

} // namespace

class TestCaptureRunner : public QObject
{
    Q_OBJECT

private slots:
    void deliversOnItsThreadWhileTheEventLoopServesTheJob();
    void runsOneCaptureAtATime();
    void waitForIdleIsBounded();
    void destroyedWhileBusyDropsTheOutcome();
};

void TestCaptureRunner::deliversOnItsThreadWhileTheEventLoopServesTheJob()
{
    CaptureRunner runner;
    GuiSide gui;
    QThread* jobThread = nullptr;
    QThread* deliveryThread = nullptr;
    std::optional<CaptureOutcome> delivered;
    QList<bool> busy;
    connect(&runner, &CaptureRunner::busyChanged, this, [&busy](bool b) { busy.append(b); });
    connect(&runner, &CaptureRunner::finished, this, [&](const CaptureOutcome& outcome) {
        deliveryThread = QThread::currentThread();
        delivered = outcome;
        QVERIFY(!runner.isBusy());
    });
    QVERIFY(runner.start([&] {
        jobThread = QThread::currentThread();
        QString text;
        QMetaObject::invokeMethod(&gui, [&gui] { return gui.answer(); }, Qt::BlockingQueuedConnection, &text);
        return CaptureOutcome(result(text));
    }));
    QVERIFY(runner.isBusy());
    QVERIFY(runner.waitForIdle(10s));
    QVERIFY(jobThread && jobThread != QThread::currentThread());
    QCOMPARE(deliveryThread, QThread::currentThread());
    QVERIFY(delivered && std::holds_alternative<CaptureResult>(*delivered));
    QCOMPARE(std::get<CaptureResult>(*delivered).text, u"from the GUI thread"_qs);
    QCOMPARE(busy, (QList<bool> {true, false}));
}

void TestCaptureRunner::runsOneCaptureAtATime()
{
    CaptureRunner runner;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> runs = 0;
    QList<CaptureError::Code> outcomes;
    connect(&runner, &CaptureRunner::finished, this, [&outcomes](const CaptureOutcome& outcome) {
        outcomes.append(std::get<CaptureError>(outcome).code());
    });
    QVERIFY(runner.start([&] {
        released.wait();
        ++runs;
        return CaptureOutcome(CaptureError::noFrontmostApp());
    }));
    QVERIFY(!runner.start([&] {
        ++runs;
        return CaptureOutcome(CaptureError::notTrusted());
    }));
    release.set_value();
    QVERIFY(runner.waitForIdle(10s));
    QCOMPARE(runs.load(), 1);
    QCOMPARE(outcomes, QList<CaptureError::Code> {CaptureError::Code::noFrontmostApp});
    // Idle again: the next capture starts, from a slot of the last one's outcome too.
    QVERIFY(runner.start([] { return CaptureOutcome(CaptureError::notTrusted()); }));
    QVERIFY(runner.waitForIdle(10s));
    QCOMPARE(outcomes.size(), 2);
}

void TestCaptureRunner::waitForIdleIsBounded()
{
    CaptureRunner runner;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    QVERIFY(runner.start([released] {
        released.wait();
        return CaptureOutcome(CaptureError::noSelection(u"test"_qs));
    }));
    QVERIFY(!runner.waitForIdle(30ms)); // returns although the capture still runs
    QVERIFY(runner.isBusy());
    release.set_value();
    QVERIFY(runner.waitForIdle(10s));
}

void TestCaptureRunner::destroyedWhileBusyDropsTheOutcome()
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    {
        auto runner = std::make_unique<CaptureRunner>();
        QVERIFY(runner->start([released, &done] {
            released.wait();
            done.set_value();
            return CaptureOutcome(CaptureError::noFrontmostApp());
        }));
    }
    release.set_value();
    QCOMPARE(finished.wait_for(10s), std::future_status::ready);
    QTest::qWait(20); // a posted outcome would reach a destroyed runner here
}

TESSELLON_TEST_MAIN(TestCaptureRunner)
#include "tst_CaptureRunner.moc"
