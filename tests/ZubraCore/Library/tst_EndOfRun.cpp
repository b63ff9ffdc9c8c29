#include "ZubraCore/Library/EndOfRun.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"

#include "ZubraCore/Support/Logging.h"

#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A disk that holds the calls it is hooked into (a rename or a sync that takes seconds) until
// released. Holds at most `cap`, so that a test of an unbounded end fails instead of hanging.
class HeldDisk
{
public:
    // Holds the calls for which `holds` answers true.
    explicit HeldDisk(std::function<bool(const QString& path)> holds)
        : m_holds(std::move(holds))
    {
    }
    ~HeldDisk() { release(); }

    static constexpr std::chrono::seconds cap {20};

    // For FailingFileSystem's setBeforeWrite or setBeforeSync.
    std::function<void(const QString&)> hook()
    {
        return [this](const QString& path) {
            if (!m_holds(path))
                return;
            m_entered.store(true);
            std::unique_lock lock(m_mutex);
            m_released.wait_for(lock, cap, [this] { return m_open; });
            m_held = false;
        };
    }
    bool entered() const { return m_entered.load(); }
    // True until a held call has gone on (released, or held for the cap).
    bool isHeld() const
    {
        const std::lock_guard lock(m_mutex);
        return m_held;
    }
    void release()
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_released.notify_all();
    }

private:
    std::function<bool(const QString&)> m_holds;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_open = false;
    bool m_held = true; // until a held call goes on
    std::atomic<bool> m_entered = false;
};

void waitUntilEntered(const HeldDisk& held)
{
    const auto deadline = std::chrono::steady_clock::now() + HeldDisk::cap;
    while (!held.entered() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
}

} // namespace

class TestEndOfRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TESSELLON_LOG_DIR", m_logDir.path().toUtf8());
        QVERIFY(FileLogger::start());
    }

    // Either end writes the change still waiting for its save; after Quit neither writes.
    void endsWriteThePendingChange_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("quitSaved");
        QTest::newRow("exit") << "exit" << false;
        QTest::newRow("second signal") << "signal" << false;
        QTest::newRow("exit after Quit") << "exit" << true;
        QTest::newRow("second signal after Quit") << "signal" << true;
    }

    void endsWriteThePendingChange()
    {
        QFETCH(QString, end);
        QFETCH(bool, quitSaved);
        StoreHarness harness;
        Store& store = harness.open();
        store.add(capture(u"written on the way out"_qs));
        EndOfRun::begin(store);
        if (quitSaved)
            EndOfRun::finish();
        if (end == "exit")
            QVERIFY(EndOfRun::saveOnExit());
        else
            std::thread(EndOfRun::saveBeforeForcedEnd).join(); // from the signals' thread
        // What the end wrote is on disk when it returns; the queue is not waited for.
        const bool written = LibraryFixtures::readFile(harness.path()).contains("written on the way out");
        QCOMPARE(written, !quitSaved);
        EndOfRun::finish();
    }

    // Qt's exit() after the display is lost writes the save on the GUI thread while the disk takes
    // seconds to rename; a second signal then ends the process at once: neither end waits for
    // the write past its bound, nor the signal's end for the exit.
    void slowSaveHoldsNeitherEnd()
    {
        StoreHarness harness;
        Store& store = harness.open();
        store.add(capture(u"held on a slow disk"_qs));
        HeldDisk held([path = harness.path()](const QString& written) { return written == path; });
        harness.files->setBeforeWrite(held.hook());
        EndOfRun::begin(store);

        std::atomic<bool> signalEndWhileHeld = false;
        std::thread signalThread([&] {
            waitUntilEntered(held);
            EndOfRun::saveBeforeForcedEnd();
            signalEndWhileHeld = held.isHeld();
        });
        const bool saved = EndOfRun::saveOnExit();
        const bool exitWhileHeld = held.isHeld();
        signalThread.join();
        QVERIFY(held.entered());
        QVERIFY(exitWhileHeld);
        QVERIFY(!saved);
        QVERIFY(signalEndWhileHeld);

        // The write goes on, with its own snapshot, once the disk answers.
        held.release();
        harness.store.reset(); // waits for the write
        QVERIFY(LibraryFixtures::readFile(harness.path()).contains("held on a slow disk"));
        EndOfRun::finish();
    }

    // The disk is slow to take what is written: a save under way is stuck in its sync while a
    // newer change waits, or every sync takes seconds. Either end puts the newest change in the
    // library file without waiting for the disk, and counts it saved; the older save never
    // replaces it afterwards.
    void endsDoNotWaitForASlowDisk_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("slow");
        QTest::newRow("exit, a save under way") << "exit" << "earlier save";
        QTest::newRow("second signal, a save under way") << "signal" << "earlier save";
        QTest::newRow("exit, every sync") << "exit" << "sync";
        QTest::newRow("second signal, every sync") << "signal" << "sync";
    }

    void endsDoNotWaitForASlowDisk()
    {
        QFETCH(QString, end);
        QFETCH(QString, slow);
        StoreHarness harness;
        Store& store = harness.open();
        const bool earlierSave = slow == u"earlier save";
        // Only what the save queue writes, or every sync.
        HeldDisk held([&queue = store.saveQueue(), earlierSave](const QString&) {
            return !earlierSave || queue.isCurrent();
        });
        if (earlierSave) {
            harness.files->setBeforeWrite(held.hook());
            store.add(capture(u"saved before"_qs));
            harness.clock->advance(Store::saveDelay);
            waitUntilEntered(held);
            QVERIFY(held.entered());
        } else {
            harness.files->setBeforeSync(held.hook());
        }
        store.add(capture(u"the newest change"_qs));
        EndOfRun::begin(store);
        bool saved = true;
        if (end == u"exit")
            saved = EndOfRun::saveOnExit();
        else
            std::thread(EndOfRun::saveBeforeForcedEnd).join();
        const bool heldWhenEnded = held.isHeld();
        const QByteArray atEnd = LibraryFixtures::readFile(harness.path());
        EndOfRun::finish();
        held.release();
        harness.store.reset(); // the slow save and the sync go on
        QVERIFY(saved);
        QVERIFY(heldWhenEnded);
        QVERIFY(atEnd.contains("the newest change"));
        const QByteArray afterwards = LibraryFixtures::readFile(harness.path());
        QVERIFY(afterwards.contains("the newest change"));
        QCOMPARE(LibraryFixtures::readFile(harness.backupPath()), afterwards);
    }

private:
    QTemporaryDir m_logDir;
};

TESSELLON_TEST_MAIN(TestEndOfRun)
#include "tst_EndOfRun.moc"
