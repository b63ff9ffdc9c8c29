#include "ZubraCore/Library/EndOfRun.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"

#include "ZubraCore/Support/Logging.h"

#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A disk whose write of the library is held until released: a rename that takes seconds. Holds
// at most `cap`, so that a test of an unbounded end fails instead of hanging.
class HeldWrites
{
public:
    explicit HeldWrites(FailingFileSystem& files, const QString& path)
    {
        files.setBeforeWrite([this, path](const QString& written) {
            if (written != path)
                return;
            m_entered.store(true);
            std::unique_lock lock(m_mutex);
            m_released.wait_for(lock, cap, [this] { return m_open; });
            m_held = false;
        });
    }
    ~HeldWrites() { release(); }

    static constexpr std::chrono::seconds cap {20};

    bool entered() const { return m_entered.load(); }
    // True until the write has gone on (released, or held for the cap).
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
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_open = false;
    bool m_held = true; // until the write goes on
    std::atomic<bool> m_entered = false;
};

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
        HeldWrites held(*harness.files, harness.path());
        EndOfRun::begin(store);

        std::atomic<bool> signalEndWhileHeld = false;
        std::thread signalThread([&] {
            while (!held.entered())
                std::this_thread::sleep_for(1ms);
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
        QVERIFY(store.saveQueue().drainNow(10s));
        QVERIFY(LibraryFixtures::readFile(harness.path()).contains("held on a slow disk"));
        EndOfRun::finish();
    }

private:
    QTemporaryDir m_logDir;
};

TESSELLON_TEST_MAIN(TestEndOfRun)
#include "tst_EndOfRun.moc"
