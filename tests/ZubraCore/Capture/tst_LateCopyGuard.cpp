// The user's clipboard after a capture whose copy came too late: the late copy by the
// application is undone while the watch lasts; anything else is left alone.

#include "support/SteppingClock.h"
#include "support/TestMain.h"
#include "Platform/Memory/MemoryPasteboard.h"
#include "ZubraCore/Capture/LateCopyGuard.h"

#include <QCoreApplication>
#include <QTest>
#include <thread>

using Items = QList<Pasteboard::ItemData>;

namespace {
const QString plainType = QStringLiteral("text/plain");
constexpr qint32 appPid = 4242;
constexpr qint32 otherPid = 777;
const Items users {{{plainType, QByteArrayLiteral("the user's")}, {QStringLiteral("text/html"), "<b>u</b>"}}};
const Items selection {{{plainType, QByteArrayLiteral("the selection")}}};
const Items otherCopy {{{plainType, QByteArrayLiteral("copied elsewhere")}}};

// What happens after the capture gave up, in order.
enum class Step { lateCopy, otherCopy, pass5s, cancel };
} // namespace

Q_DECLARE_METATYPE(Step)

class TestLateCopyGuard : public QObject
{
    Q_OBJECT

private slots:
    void afterTheCaptureGaveUp_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<Items>("expected");
        QTest::addColumn<bool>("stillWatching");

        QTest::newRow("a late copy is put back") << QList<Step> {Step::lateCopy} << users << true;
        QTest::newRow("both late keystrokes are put back")
            << QList<Step> {Step::lateCopy, Step::lateCopy} << users << true;
        QTest::newRow("another program's copy stays")
            << QList<Step> {Step::otherCopy, Step::lateCopy} << selection << false;
        QTest::newRow("after the watch, a copy stays") << QList<Step> {Step::pass5s, Step::lateCopy} << selection << false;
        QTest::newRow("a new capture took over") << QList<Step> {Step::cancel, Step::lateCopy} << selection << false;
        QTest::newRow("no copy: nothing is written") << QList<Step> {} << users << true;
    }
    void afterTheCaptureGaveUp()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(Items, expected);
        QFETCH(bool, stillWatching);
        MemoryPasteboard pasteboard(users);
        SteppingClock clock;
        LateCopyGuard guard(pasteboard, clock);
        guard.watch(Clipboard::snapshot(pasteboard), pasteboard.changeCount(), appPid, QStringLiteral("Editor"));
        QVERIFY(guard.isWatching());
        const qint64 writesBefore = pasteboard.changeCount();
        for (Step step : steps) {
            switch (step) {
            case Step::lateCopy:
                pasteboard.owner = appPid;
                pasteboard.replaceContent(selection);
                break;
            case Step::otherCopy:
                pasteboard.owner = otherPid;
                pasteboard.replaceContent(otherCopy);
                guard.poll();
                pasteboard.owner = appPid;
                break;
            case Step::pass5s:
                clock.advance(LateCopyGuard::watchTime);
                break;
            case Step::cancel:
                guard.cancel();
                break;
            }
            guard.poll();
        }
        QCOMPARE(pasteboard.items(), expected);
        QCOMPARE(guard.isWatching(), stillWatching);
        if (steps.isEmpty())
            QCOMPARE(pasteboard.changeCount(), writesBefore);
    }

    // The put-back is announced as a change by this very process: the watch goes on.
    void ownPutBackKeepsTheWatch()
    {
        MemoryPasteboard pasteboard(users);
        SteppingClock clock;
        LateCopyGuard guard(pasteboard, clock);
        guard.watch(Clipboard::snapshot(pasteboard), pasteboard.changeCount(), appPid, QStringLiteral("Editor"));
        pasteboard.owner = qint32(QCoreApplication::applicationPid());
        pasteboard.replaceContent(users);
        guard.poll();
        QVERIFY(guard.isWatching());
        pasteboard.owner = appPid;
        pasteboard.replaceContent(selection);
        guard.poll();
        QCOMPARE(pasteboard.items(), users);
    }

    // A snapshot that cannot be restored, or no known process, is not watched.
    void nothingToWatch()
    {
        MemoryPasteboard pasteboard(users);
        SteppingClock clock;
        LateCopyGuard guard(pasteboard, clock);
        Clipboard::PasteboardSnapshot incomplete = Clipboard::snapshot(pasteboard);
        incomplete.complete = false;
        guard.watch(incomplete, pasteboard.changeCount(), appPid, QStringLiteral("Editor"));
        QVERIFY(!guard.isWatching());
        guard.watch(Clipboard::snapshot(pasteboard), pasteboard.changeCount(), 0, QStringLiteral("Editor"));
        QVERIFY(!guard.isWatching());
    }

    // The checks run by themselves on the guard's thread once a watch starts from a worker.
    void pollsByItself()
    {
        MemoryPasteboard pasteboard(users);
        SystemClock clock;
        LateCopyGuard guard(pasteboard, clock);
        const auto snapshot = Clipboard::snapshot(pasteboard);
        const qint64 count = pasteboard.changeCount();
        std::thread worker([&] { guard.watch(snapshot, count, appPid, QStringLiteral("Editor")); });
        worker.join();
        pasteboard.owner = appPid;
        pasteboard.replaceContent(selection);
        QTRY_COMPARE_WITH_TIMEOUT(pasteboard.items(), users, 2000);
    }
};

TESSELLON_TEST_MAIN(TestLateCopyGuard)
#include "tst_LateCopyGuard.moc"
