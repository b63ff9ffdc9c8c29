// One capture against the small Qt target window, from capture() to its result, with the real
// X11 backends; and the steps it spends its time in. Needs an X server (run it inside
// tests/support/x11-session for the accessibility bus); without DISPLAY every case skips.

#include "Platform/Clock.h"
#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/QtPasteboard.h"
#include "Platform/X11/UnavailableScriptRunner.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/X11/XTestKeyInjector.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Capture/SelectionCapture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>

namespace {
QtPasteboard* g_pasteboard = nullptr;

// Keeps the GUI thread's event loop (which serves the clipboard) going until done.
void spinUntil(const std::atomic<bool>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::usleep(200);
    }
}

// The target window, started once per benchmark; the first line it prints says it is ready.
class Target
{
public:
    explicit Target(const QStringList& extra)
    {
        m_process.start(QStringLiteral(TESSELLON_CAPTURE_TARGET),
            QStringList {"--text", "The quick brown fox jumps", "--select", "quick brown"} + extra);
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            QCoreApplication::processEvents();
            if (m_process.waitForReadyRead(20) && m_process.readLine().startsWith("ready"))
                break;
        }
        X11Workspace workspace;
        while (!deadline.hasExpired()) {
            if (auto app = workspace.frontmostApplication(); app && app->processIdentifier == m_process.processId()) {
                m_ready = true;
                break;
            }
            QThread::msleep(20);
        }
        QThread::msleep(200);
    }
    ~Target()
    {
        m_process.closeWriteChannel();
        m_process.terminate();
        if (!m_process.waitForFinished(2000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
    bool ready() const { return m_ready; }
    qint32 pid() const { return qint32(m_process.processId()); }

private:
    QProcess m_process;
    bool m_ready = false;
};

bool haveDisplay(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !g_pasteboard) {
        state.SkipWithError("no X server (DISPLAY is not set)");
        return false;
    }
    return true;
}

void putClipboard()
{
    g_pasteboard->writeItems({{{QStringLiteral("text/plain"), QByteArrayLiteral("before the capture")},
        {QStringLiteral("text/html"), QByteArrayLiteral("<p>before</p>")}}});
    QCoreApplication::processEvents();
}

void runCaptures(benchmark::State& state, const QStringList& targetArguments)
{
    if (!haveDisplay(state))
        return;
    Target target(targetArguments);
    if (!target.ready()) {
        state.SkipWithError("the target window did not become active");
        return;
    }
    putClipboard();
    AtspiAccessibility accessibility;
    X11Workspace workspace;
    XTestKeyInjector keys;
    UnavailableScriptRunner scripts;
    SystemClock clock;
    int failures = 0;
    for (auto _ : state) {
        std::atomic<bool> done = false;
        double seconds = 0;
        bool ok = false;
        QThread* worker = QThread::create([&] {
            const auto start = std::chrono::steady_clock::now();
            SelectionCapture capture({accessibility, workspace, keys, *g_pasteboard, scripts, clock});
            const CaptureOutcome outcome = capture.capture();
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            ok = std::holds_alternative<CaptureResult>(outcome)
                && std::get<CaptureResult>(outcome).text == QLatin1String("quick brown");
            done = true;
        });
        worker->start();
        spinUntil(done, 30000);
        worker->wait();
        delete worker;
        failures += ok ? 0 : 1;
        state.SetIterationTime(seconds);
    }
    state.counters["failures"] = failures;
}

// The window copies on Control+C: the usual road, through the clipboard.
void BM_CaptureThroughCopy(benchmark::State& state)
{
    runCaptures(state, {});
}

// The window refuses to copy: two polling passes, then the accessibility tree's text.
void BM_CaptureThroughTree(benchmark::State& state)
{
    runCaptures(state, {"--refuse-copy"});
}

void BM_FrontmostApplication(benchmark::State& state)
{
    if (!haveDisplay(state))
        return;
    Target target({});
    X11Workspace workspace;
    for (auto _ : state)
        benchmark::DoNotOptimize(workspace.frontmostApplication());
}

void BM_AccessibilityWalk(benchmark::State& state)
{
    if (!haveDisplay(state))
        return;
    Target target({"--refuse-copy"});
    AtspiAccessibility accessibility;
    UnavailableScriptRunner scripts;
    X11Workspace workspace;
    XTestKeyInjector keys;
    SystemClock clock;
    SelectionCapture capture({accessibility, workspace, keys, *g_pasteboard, scripts, clock});
    for (auto _ : state)
        benchmark::DoNotOptimize(capture.extractAX(target.pid()));
}

void BM_SnapshotAndRestore(benchmark::State& state)
{
    if (!haveDisplay(state))
        return;
    putClipboard();
    for (auto _ : state) {
        std::atomic<bool> done = false;
        QThread* worker = QThread::create([&] {
            const auto snapshot = Clipboard::snapshot(*g_pasteboard);
            benchmark::DoNotOptimize(Clipboard::restore(snapshot, *g_pasteboard));
            done = true;
        });
        worker->start();
        spinUntil(done, 10000);
        worker->wait();
        delete worker;
    }
}
} // namespace

BENCHMARK(BM_CaptureThroughCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CaptureThroughTree)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FrontmostApplication)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccessibilityWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotAndRestore)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (!display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::unique_ptr<QtPasteboard> pasteboard;
    if (display && QGuiApplication::platformName() == QLatin1String("xcb")) {
        pasteboard = std::make_unique<QtPasteboard>();
        g_pasteboard = pasteboard.get();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_pasteboard = nullptr;
    return 0;
}
