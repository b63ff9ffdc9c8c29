#include "Platform/DiskFileSystem.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "ShellFixture.h"
#include "Zubra/Shell/CaptureFlow.h"
#include "Zubra/Shell/CaptureToast.h"
#include "ZubraCore/Library/StorePersistence.h"
#include "support/RecordingFeedback.h"
#include "support/TestMain.h"

#include <QTest>
#include <QTimer>

namespace {

const QString ownID = QStringLiteral("com.vesk.tessellon");
constexpr qint64 ownPid = 4242;

// One capture flow with doubles all round; the background work is whatever the test completes.
struct Harness
{
    explicit Harness(ShellFixture::Library library = ShellFixture::Library::empty)
        : fixture(library)
        , flow(CaptureFlow::Services {
              *fixture.store,
              workspace,
              feedback,
              [this] { return trusted; },
              [this] { events.append(QStringLiteral("window")); },
              [this] { events.append(QStringLiteral("accessibility prompt")); },
              [this](const CaptureToastView& view) { toasts.append(view); },
              [this](const Selection& selection, bool added) {
                  toasts.append(CaptureToastView::saved(selection, added));
                  saved.append({selection, added});
              },
              [this](CaptureFlow::Completion completion) {
                  events.append(QStringLiteral("started"));
                  pending.append(std::move(completion));
              },
              [] { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC); },
              ownPid,
          })
    {
        workspace.frontmost = RunningApplication {77, QStringLiteral("Editor"), QStringLiteral("org.example.Editor")};
    }

    void finish(CaptureFlow::Outcome outcome)
    {
        QVERIFY(!pending.isEmpty());
        pending.takeFirst()(std::move(outcome));
    }

    ShellFixture fixture;
    MemoryWorkspace workspace;
    RecordingFeedback feedback;
    bool trusted = true;
    QStringList events;
    QList<CaptureToastView> toasts;
    QList<QPair<Selection, bool>> saved;
    QList<CaptureFlow::Completion> pending;
    CaptureFlow flow;
};

CaptureResult resultFrom(const QString& app)
{
    CaptureResult result;
    result.text = QStringLiteral("Selected words");
    result.appName = app;
    result.bundleID = QStringLiteral("org.example.Editor");
    result.sourceTitle = QStringLiteral("notes.txt");
    result.filePath = QStringLiteral("/home/u/notes.txt");
    return result;
}

const QString insideTessellon
    = QStringLiteral("You're inside Tessellon. Switch to the app that has your text selected, then press the hotkey.");

} // namespace

Q_DECLARE_METATYPE(ShellFixture::Library)
Q_DECLARE_METATYPE(std::optional<RunningApplication>)

class TestCaptureFlow : public QObject
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void savedCapture_data();
    void savedCapture();
    void failures_data();
    void failures();
    void libraryTakenByAnotherSession_data();
    void libraryTakenByAnotherSession();
    void secondTriggerWhileRunningDoesNothing();
    void completionAfterTheFlowIsGoneDoesNothing();
    void waitUntilIdleKeepsTheEventLoopRunning();
};

void TestCaptureFlow::refusals_data()
{
    QTest::addColumn<ShellFixture::Library>("library");
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<std::optional<RunningApplication>>("front");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("snippet"); // of the one "Nothing saved" toast; empty: no toast
    QTest::addColumn<QStringList>("sounds");

    using L = ShellFixture::Library;
    const auto other = std::optional(RunningApplication {77, QStringLiteral("Editor"), QStringLiteral("org.example.Editor")});
    const auto ours = std::optional(RunningApplication {99, QStringLiteral("Tessellon"), ownID});
    const auto ourProcess = std::optional(RunningApplication {ownPid, QStringLiteral("tessellon"), std::nullopt});
    const auto unnamed = std::optional(RunningApplication {55, QStringLiteral("xterm"), std::nullopt});
    const QString unreadable = StorePersistenceStatus(StorePersistenceStatus::unreadablePrimary).blockedCaptureMessage().value();
    const QString incompatible
        = StorePersistenceStatus(StorePersistenceStatus::incompatibleVersion).blockedCaptureMessage().value();
    const QStringList beep {"beep"};

    QTest::newRow("another app in front") << L::empty << true << other << QStringList {"started"} << "" << QStringList {};
    QTest::newRow("an app without identifier") << L::empty << true << unnamed << QStringList {"started"} << ""
                                               << QStringList {};
    QTest::newRow("no frontmost app") << L::empty << true << std::optional<RunningApplication>() << QStringList {"started"}
                                      << "" << QStringList {};
    QTest::newRow("unreadable library") << L::unreadable << true << other << QStringList {"window"} << unreadable << beep;
    QTest::newRow("incompatible library") << L::incompatible << true << other << QStringList {"window"} << incompatible
                                          << beep;
    QTest::newRow("library checked before trust") << L::unreadable << false << ours << QStringList {"window"}
                                                  << unreadable << beep;
    QTest::newRow("not trusted") << L::empty << false << other << QStringList {"accessibility prompt"} << ""
                                 << QStringList {};
    QTest::newRow("trust checked before the front app") << L::empty << false << ours
                                                        << QStringList {"accessibility prompt"} << "" << QStringList {};
    QTest::newRow("Tessellon in front") << L::empty << true << ours << QStringList {} << insideTessellon << beep;
    QTest::newRow("this process in front") << L::empty << true << ourProcess << QStringList {} << insideTessellon << beep;
}

void TestCaptureFlow::refusals()
{
    QFETCH(ShellFixture::Library, library);
    QFETCH(bool, trusted);
    QFETCH(std::optional<RunningApplication>, front);
    QFETCH(QStringList, events);
    QFETCH(QString, snippet);
    QFETCH(QStringList, sounds);
    Harness h(library);
    h.trusted = trusted;
    h.workspace.frontmost = front;
    h.flow.captureNow();
    QCOMPARE(h.events, events);
    QCOMPARE(h.feedback.sounds, sounds);
    QCOMPARE(h.flow.isCapturing(), events.contains(QStringLiteral("started")));
    if (snippet.isEmpty()) {
        QVERIFY(h.toasts.isEmpty());
    } else {
        QCOMPARE(h.toasts.size(), 1);
        QCOMPARE(h.toasts[0].success, false);
        QCOMPARE(h.toasts[0].title, QStringLiteral("Nothing saved"));
        QCOMPARE(h.toasts[0].snippet, snippet);
        QCOMPARE(h.toasts[0].source, std::nullopt);
    }
    // Only a started capture logs.
    QCOMPARE(h.fixture.appLines().contains(QStringLiteral("Capture started")), h.flow.isCapturing());
    QVERIFY(h.fixture.store->selections().isEmpty());
}

void TestCaptureFlow::savedCapture_data()
{
    QTest::addColumn<bool>("collect");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("library only") << false << "Saved selection from Editor";
    QTest::newRow("collecting into the prompt") << true << "Saved selection from Editor + prompt";
}

void TestCaptureFlow::savedCapture()
{
    QFETCH(bool, collect);
    QFETCH(QString, logLine);
    Harness h;
    Store& store = *h.fixture.store;
    store.setCollectIntoActiveDraft(collect);
    h.flow.captureNow();
    QVERIFY(h.flow.isCapturing());
    h.finish(resultFrom(QStringLiteral("Editor")));
    QVERIFY(!h.flow.isCapturing());

    QCOMPARE(store.selections().size(), 1);
    const Selection& s = store.selections().first();
    QCOMPARE(s.text, QStringLiteral("Selected words"));
    QCOMPARE(s.markdown(), s.text); // no Markdown in the result
    QCOMPARE(s.appName, QStringLiteral("Editor"));
    QCOMPARE(s.filePath, QStringLiteral("/home/u/notes.txt"));
    QCOMPARE(s.createdAt, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
    QVERIFY(s.groupIDs.isEmpty());
    const auto draft = store.activeDraft();
    QCOMPARE(draft && !draft->entries.isEmpty() && draft->entries.first().selectionID == s.id, collect);
    QCOMPARE(h.saved.size(), 1);
    QCOMPARE(h.saved[0].second, collect);
    QCOMPARE(h.feedback.sounds, QStringList {"saved"});
    QCOMPARE(h.fixture.appLines(), (QStringList {"Capture started", logLine}));
}

void TestCaptureFlow::failures_data()
{
    QTest::addColumn<int>("kind"); // a CaptureError code, or -1 for another failure
    QTest::addColumn<QString>("snippet");
    QTest::addColumn<QString>("logLine");
    using C = CaptureError::Code;
    QTest::newRow("not trusted") << int(C::notTrusted)
                                 << "Tessellon needs Accessibility permission to read selected text."
                                 << "Capture failed: Tessellon needs Accessibility permission to read selected text.";
    QTest::newRow("no frontmost app") << int(C::noFrontmostApp) << "No frontmost application found."
                                      << "Capture failed: No frontmost application found.";
    QTest::newRow("PDF viewer") << int(C::chromePDF)
                                << QString::fromUtf16(u"Chrome\u2019s built-in PDF viewer can\u2019t be captured "
                                                      u"programmatically. Open the PDF in Preview (or use right-click "
                                                      u"\u2192 Copy inside Chrome), then capture again.")
                                << QString();
    QTest::newRow("clipboard not restored")
        << int(C::clipboardRestoreFailed)
        << "Capture was not saved because Tessellon could not restore your clipboard. Copy the original content again."
        << QString();
    QTest::newRow("clipboard owner silent")
        << int(C::clipboardOwnerSilent)
        << "Capture was not saved because the application that owns your clipboard is not responding. Copy "
           "something else, then capture again."
        << QString();
    QTest::newRow("clipboard too large")
        << int(C::clipboardTooLarge)
        << "Capture was not saved because your clipboard holds more than Tessellon can save and put back. Copy "
           "something else, then capture again."
        << QString();
    QTest::newRow("no selection, diagnostic hidden")
        << int(C::noSelection) << "No text was selected in the frontmost application."
        << "Capture failed: No text was selected in the frontmost application.";
    QTest::newRow("password refused, diagnostic hidden")
        << int(C::passwordRefused) << "A password field was refused. Tessellon never captures passwords."
        << "Capture failed: A password field was refused. Tessellon never captures passwords.";
    QTest::newRow("another failure") << -1 << "Tessellon could not capture the selected text."
                                     << "Capture failed: worker stopped";
}

void TestCaptureFlow::failures()
{
    QFETCH(int, kind);
    QFETCH(QString, snippet);
    QFETCH(QString, logLine);
    Harness h;
    h.fixture.store->setCollectIntoActiveDraft(true);
    h.flow.captureNow();
    CaptureFlow::Outcome outcome = CaptureFlow::UnexpectedFailure {QStringLiteral("worker stopped")};
    switch (kind) {
    case int(CaptureError::Code::notTrusted): outcome = CaptureError::notTrusted(); break;
    case int(CaptureError::Code::noFrontmostApp): outcome = CaptureError::noFrontmostApp(); break;
    case int(CaptureError::Code::chromePDF): outcome = CaptureError::chromePDF(); break;
    case int(CaptureError::Code::clipboardRestoreFailed): outcome = CaptureError::clipboardRestoreFailed(); break;
    case int(CaptureError::Code::clipboardOwnerSilent): outcome = CaptureError::clipboardOwnerSilent(); break;
    case int(CaptureError::Code::clipboardTooLarge): outcome = CaptureError::clipboardTooLarge(); break;
    case int(CaptureError::Code::noSelection):
        outcome = CaptureError::noSelection(QStringLiteral("app=Editor changed=false types=[]"));
        break;
    case int(CaptureError::Code::passwordRefused):
        outcome = CaptureError::passwordRefused(QStringLiteral("app=Editor changed=true types=[], protected=yes"));
        break;
    }
    h.finish(outcome);
    QVERIFY(!h.flow.isCapturing());
    QCOMPARE(h.toasts.size(), 1);
    QCOMPARE(h.toasts[0].title, QStringLiteral("Nothing saved"));
    QCOMPARE(h.toasts[0].snippet, snippet);
    QCOMPARE(h.toasts[0].success, false);
    QCOMPARE(h.feedback.sounds, QStringList {"beep"});
    QVERIFY(h.fixture.store->selections().isEmpty());
    QVERIFY(!h.fixture.store->activeDraft() || h.fixture.store->activeDraft()->entries.isEmpty());
    const QStringList lines = h.fixture.appLines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.last(), logLine.isEmpty() ? QStringLiteral("Capture failed: ") + snippet : logLine);
}

void TestCaptureFlow::libraryTakenByAnotherSession_data()
{
    QTest::addColumn<bool>("duringTheCapture");
    QTest::newRow("before the capture") << false;
    QTest::newRow("while it runs, its lock file removed") << true;
}

// This session opened a library without taking it (no file yet), or its lock file was removed;
// another session took the library for writing since. The capture is refused with the library's
// notice, never shown as saved.
void TestCaptureFlow::libraryTakenByAnotherSession()
{
    QFETCH(bool, duringTheCapture);
    Harness h;
    Store& store = *h.fixture.store;
    DiskFileSystem disk;
    LockAttempt other;
    const auto takeLibrary = [&] { other = disk.lock(StorePersistence::lockPath(h.fixture.libraryPath())); };
    if (!duringTheCapture)
        takeLibrary();
    h.flow.captureNow();
    if (duringTheCapture) {
        QCOMPARE(h.events, QStringList {"started"});
        QVERIFY(QFile::remove(StorePersistence::lockPath(h.fixture.libraryPath())));
        takeLibrary();
        h.finish(resultFrom(QStringLiteral("Editor")));
    }
    QVERIFY(other.lock);
    const QString inUse = StorePersistenceStatus(StorePersistenceStatus::openElsewhere).blockedCaptureMessage().value();
    QCOMPARE(store.persistenceStatus(), StorePersistenceStatus::openElsewhere);
    QVERIFY(h.events.contains(QStringLiteral("window")));
    QVERIFY(h.saved.isEmpty());
    QCOMPARE(h.toasts.size(), 1);
    QCOMPARE(h.toasts[0].title, QStringLiteral("Nothing saved"));
    QCOMPARE(h.toasts[0].snippet, inUse);
    QCOMPARE(h.feedback.sounds, QStringList {"beep"});
    QVERIFY(store.selections().isEmpty());
    QVERIFY(!h.fixture.appLines().join(u'\n').contains(QStringLiteral("Saved selection")));
    QVERIFY(!h.flow.isCapturing());
}

void TestCaptureFlow::secondTriggerWhileRunningDoesNothing()
{
    Harness h;
    h.flow.captureNow();
    h.flow.captureNow();
    h.flow.captureNow();
    QCOMPARE(h.events, QStringList {"started"});
    QVERIFY(h.toasts.isEmpty());
    QVERIFY(h.feedback.sounds.isEmpty());
    QCOMPARE(h.fixture.appLines(), QStringList {"Capture started"});
    // After the outcome the next trigger starts a new capture.
    h.finish(resultFrom(QStringLiteral("Editor")));
    h.flow.captureNow();
    QCOMPARE(h.events, (QStringList {"started", "started"}));
}

void TestCaptureFlow::completionAfterTheFlowIsGoneDoesNothing()
{
    CaptureFlow::Completion completion;
    auto h = std::make_unique<Harness>();
    h->flow.captureNow();
    completion = h->pending.takeFirst();
    h.reset();
    completion(resultFrom(QStringLiteral("Editor"))); // must not touch the destroyed flow
}

void TestCaptureFlow::waitUntilIdleKeepsTheEventLoopRunning()
{
    Harness h;
    QVERIFY(h.flow.waitUntilIdle(std::chrono::milliseconds(10))); // nothing running
    h.flow.captureNow();
    // The outcome arrives through the event loop, as the worker's does.
    QTimer::singleShot(50, [&h] { h.finish(resultFrom(QStringLiteral("Editor"))); });
    QVERIFY(h.flow.waitUntilIdle(std::chrono::milliseconds(5000)));
    QCOMPARE(h.fixture.store->selections().size(), 1);
    // A capture that never ends is given up after the bound.
    h.flow.captureNow();
    QVERIFY(!h.flow.waitUntilIdle(std::chrono::milliseconds(50)));
    QVERIFY(h.flow.isCapturing());
}

TESSELLON_GUI_TEST_MAIN(TestCaptureFlow)
#include "tst_CaptureFlow.moc"
