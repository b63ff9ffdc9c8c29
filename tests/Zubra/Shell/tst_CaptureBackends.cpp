#include "Zubra/Shell/CaptureBackends.h"
#include "support/TestMain.h"

#include <QTest>
#include <atomic>
#include <future>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

// What the test sees of the services from outside them.
struct Probe
{
    std::shared_future<void> release;
    std::atomic<bool> started = false;
    std::atomic<bool> destroyed = false;
    std::atomic<bool> failsAfterRelease = false;
    QString captured; // written by the capture, read after it ended
};

// Services whose capture waits for the test and then reads their own state, as the real
// backends do (the clipboard, the window).
class HeldServices
{
public:
    explicit HeldServices(Probe& probe)
        : m_probe(probe)
    {
    }
    ~HeldServices() { m_probe.destroyed = true; }

    CaptureOutcome capture()
    {
        m_probe.started = true;
        m_probe.release.wait();
        if (m_probe.failsAfterRelease)
            throw std::runtime_error("the display went away");
        m_probe.captured = m_text;
        CaptureResult result;
        result.text = m_text;
        result.appName = u"Editor"_qs;
        return result;
    }

private:
    Probe& m_probe;
    QString m_text = u"the services' own text"_qs;
};

// An outcome as the tests compare it.
QString describe(const CaptureFlow::Outcome& outcome)
{
    if (const auto* result = std::get_if<CaptureResult>(&outcome))
        return u"captured: "_qs + result->text;
    if (const auto* failure = std::get_if<CaptureFlow::UnexpectedFailure>(&outcome))
        return u"unexpected: "_qs + failure->description;
    return u"capture error"_qs;
}

bool waitFor(const std::atomic<bool>& flag)
{
    return QTest::qWaitFor([&flag] { return flag.load(); }, 10000);
}

} // namespace

class TestCaptureBackends : public QObject
{
    Q_OBJECT

private slots:
    // A capture still running when the backends go (quitting gave up waiting for it) keeps the
    // services it uses until it ends; they are released then, and its outcome reaches nobody.
    void captureOutlivesTheBackends()
    {
        std::promise<void> release;
        Probe probe;
        probe.release = release.get_future().share();
        bool completed = false;
        {
            CaptureBackends<HeldServices> backends(probe);
            backends.start([&completed](CaptureFlow::Outcome) { completed = true; });
            QVERIFY(waitFor(probe.started));
        }
        QVERIFY(!probe.destroyed);
        release.set_value();
        QVERIFY(waitFor(probe.destroyed));
        QCOMPARE(probe.captured, u"the services' own text"_qs);
        QTest::qWait(20); // a posted outcome would arrive here
        QVERIFY(!completed);
    }

    // A start while a capture runs is refused at once; the running capture's outcome reaches
    // only its own completion.
    void startWhileCapturingIsRefused()
    {
        std::promise<void> release;
        Probe probe;
        probe.release = release.get_future().share();
        CaptureBackends<HeldServices> backends(probe);
        QStringList first;
        QStringList second;
        const auto record = [](QStringList& into) {
            return [&into](CaptureFlow::Outcome outcome) { into.append(describe(outcome)); };
        };
        backends.start(record(first));
        QVERIFY(waitFor(probe.started));
        backends.start(record(second));
        QTRY_COMPARE(second, QStringList {u"unexpected: Another capture is still running."_qs});
        QVERIFY(first.isEmpty());
        release.set_value();
        QVERIFY(backends.runner().waitForIdle(10s));
        QTRY_COMPARE(first, QStringList {u"captured: the services' own text"_qs});
        QTest::qWait(20); // a second delivery would arrive here
        QCOMPARE(second.size(), 1);
        QCOMPARE(first.size(), 1);
    }

    void outcomeReachesTheCompletion_data()
    {
        QTest::addColumn<bool>("throws");
        QTest::addColumn<QString>("expected");
        QTest::newRow("captured") << false << u"captured: the services' own text"_qs;
        QTest::newRow("a throw") << true << u"unexpected: the display went away"_qs;
    }

    void outcomeReachesTheCompletion()
    {
        QFETCH(bool, throws);
        QFETCH(QString, expected);
        std::promise<void> release;
        Probe probe;
        probe.release = release.get_future().share();
        probe.failsAfterRelease = throws;
        release.set_value();
        CaptureBackends<HeldServices> backends(probe);
        QString delivered;
        backends.start([&delivered](CaptureFlow::Outcome outcome) { delivered = describe(outcome); });
        QVERIFY(backends.runner().waitForIdle(10s));
        QCOMPARE(delivered, expected);
        QVERIFY(!probe.destroyed);
    }
};

TESSELLON_TEST_MAIN(TestCaptureBackends)
#include "tst_CaptureBackends.moc"
