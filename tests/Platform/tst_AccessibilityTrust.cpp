// The published trust: what each desktop state means for captures, a signal only when trust
// changes, and a state published from a reading thread seen at once and signalled on the
// object's own thread.

#include "Platform/Memory/MemoryAccessibilityTrust.h"
#include "support/TestMain.h"

#include <QSignalSpy>
#include <QTest>
#include <thread>

using State = AccessibilityBusState;
Q_DECLARE_METATYPE(State)

class TestAccessibilityTrust : public QObject
{
    Q_OBJECT

private slots:
    void trustOfEachState_data()
    {
        QTest::addColumn<bool>("keystrokes");
        QTest::addColumn<State>("state");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("not read yet") << true << State::unknown << true;
        QTest::newRow("on") << true << State::enabled << true;
        QTest::newRow("off") << true << State::disabled << false;
        QTest::newRow("cannot exist") << true << State::unavailable << true;
        QTest::newRow("no keystroke, on") << false << State::enabled << false;
        QTest::newRow("no keystroke, not read yet") << false << State::unknown << false;
        QTest::newRow("no keystroke, cannot exist") << false << State::unavailable << false;
    }

    void trustOfEachState()
    {
        QFETCH(bool, keystrokes);
        QFETCH(State, state);
        QFETCH(bool, trusted);
        MemoryAccessibilityTrust trust(keystrokes, state);
        QCOMPARE(trust.busState(), state);
        QCOMPARE(trust.canPostKeystrokes(), keystrokes);
        QCOMPARE(trust.isTrusted(), trusted);
    }

    // Each state read is published; the signal comes only when trust itself changes.
    void signalsOnlyChanges_data()
    {
        QTest::addColumn<QList<State>>("states");
        QTest::addColumn<QList<bool>>("expected");
        QTest::newRow("same answer again") << QList {State::enabled, State::enabled} << QList<bool> {};
        QTest::newRow("turned off and on")
            << QList {State::disabled, State::disabled, State::enabled} << QList {false, true};
        QTest::newRow("off, then gone") << QList {State::disabled, State::unavailable, State::unknown}
                                        << QList {false, true};
    }

    void signalsOnlyChanges()
    {
        QFETCH(QList<State>, states);
        QFETCH(QList<bool>, expected);
        MemoryAccessibilityTrust trust(true, State::unknown);
        QSignalSpy spy(&trust, &AccessibilityTrust::trustChanged);
        for (const State state : states)
            trust.setBusState(state);
        QList<bool> seen;
        for (const QList<QVariant>& arguments : spy)
            seen.append(arguments.first().toBool());
        QCOMPARE(seen, expected);
        QCOMPARE(trust.busState(), states.last());
    }

    // A reading thread publishes: readers see the state at once, the signal arrives through the
    // object's event loop on its own thread.
    void publishedFromAnotherThread()
    {
        MemoryAccessibilityTrust trust(true, State::enabled);
        QThread* signalledOn = nullptr;
        QList<bool> seen;
        connect(&trust, &AccessibilityTrust::trustChanged, &trust, [&](bool trusted) {
            signalledOn = QThread::currentThread();
            seen.append(trusted);
        });
        std::thread reader([&trust] {
            trust.setBusState(State::disabled);
            trust.setBusState(State::enabled);
            trust.setBusState(State::disabled);
        });
        reader.join();
        QCOMPARE(trust.busState(), State::disabled);
        QVERIFY(!trust.isTrusted());
        QVERIFY(seen.isEmpty()); // not delivered on the reading thread
        QTRY_COMPARE(seen, (QList {false, true, false}));
        QCOMPARE(signalledOn, trust.thread());
    }
};

TESSELLON_TEST_MAIN(TestAccessibilityTrust)
#include "tst_AccessibilityTrust.moc"
