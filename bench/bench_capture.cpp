// Whole captures with the real X11 backends: from the small Qt target window, and from the
// applications people use (a GTK 3 editor, a GTK 4 editor, a GTK terminal, xterm, a browser, and
// the document applications AbiWord, gedit, Evince and LibreOffice Writer), each with a known
// text, and the GTK 3 editor with a 1 MiB selection; and the steps a capture spends its time in.
// (A browser's own copy of 1 MiB takes seconds with its accessibility tree on, before the capture
// can read anything, so it would measure the browser.) Each application
// case reports the median of its captures in milliseconds ("median_ms"). Needs an X server with
// the accessibility bus: run it as tests/support/x11-session build/bench/bench_capture. Without
// DISPLAY every case skips; an application that is not installed skips its case.

#include "Platform/Clock.h"
#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/QtPasteboard.h"
#include "Platform/X11/UnavailableScriptRunner.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/X11/XTestKeyInjector.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Capture/SelectionCapture.h"

#include "support/X11Programs.h"

#include <QApplication>
#include <QDebug>
#include <QDeadlineTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <algorithm>
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

// The document lookup every capture makes when the tree gives no address: a title that names no
// file, then the window process's open files.
void BM_ActiveWindowDocument(benchmark::State& state)
{
    if (!haveDisplay(state))
        return;
    Target target({});
    X11Workspace workspace;
    for (auto _ : state)
        benchmark::DoNotOptimize(workspace.activeWindowDocument());
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

// ---- Desktop applications ----

using namespace Qt::StringLiterals;
const QString knownText = u"Tessellon \u6F22\u5B57 \U0001F600 \u05E9\u05DC\u05D5\u05DD"_s;
QTemporaryDir* g_home = nullptr;

// The known text, or a text of about 1 MiB made of it, in a file of its own.
QString textFile(bool large)
{
    const QString path = g_home->path() + (large ? u"/large.txt"_s : u"/known.txt"_s);
    if (!QFile::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            const QByteArray line = knownText.toUtf8() + '\n';
            file.write(large ? line.repeated(1024 * 1024 / line.size() + 1) : line);
        }
    }
    return path;
}

QString expectedText(bool large)
{
    if (!large)
        return knownText;
    QFile file(textFile(true));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).trimmed();
}

QString pageFile()
{
    const QString path = g_home->path() + u"/page.html"_s;
    QFile file(path);
    if (!QFile::exists(path) && file.open(QIODevice::WriteOnly)) {
        const QByteArray body = knownText.toUtf8();
        file.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Tessellon page</title></head><body>"
                   "<p id=\"t\">"
            + body
            + "</p><script>function pick(){var r=document.createRange();"
              "r.selectNodeContents(document.getElementById('t'));var s=window.getSelection();"
              "s.removeAllRanges();s.addRange(r);}"
              "window.addEventListener('load',pick);window.addEventListener('focus',pick);</script></body></html>");
    }
    return path;
}

// A one-page PDF showing a Latin text, for the document viewer.
const QString pdfText = u"Tessellon document viewer sample"_s;
QString pdfFile()
{
    const QString path = g_home->path() + u"/known.pdf"_s;
    if (!QFile::exists(path)) {
        QPdfWriter pdf(path);
        QPainter painter(&pdf);
        painter.setFont(QFont(u"DejaVu Sans"_s, 14));
        painter.drawText(QRect(0, 0, pdf.width(), pdf.height() / 4), Qt::AlignLeft | Qt::AlignTop, pdfText);
    }
    return path;
}

enum class Kind { editor, terminal, xterm, browser, document };

// A document application: the program, its arguments before the file, the file, the name it goes
// by and the text it copies.
struct Document
{
    QString program;
    QStringList arguments;
    QString file;
    QString name;
    QString text;
};

Document documentFor(const char* program)
{
    const QString name = QString::fromLatin1(program);
    if (name == u"evince"_s)
        return {name, {}, pdfFile(), u"Document Viewer"_s, pdfText};
    if (name == u"gedit"_s)
        return {name, {u"--standalone"_s}, textFile(false), u"gedit"_s, knownText};
    if (name == u"libreoffice"_s)
        return {name, {u"--writer"_s, u"--norestore"_s, u"--nologo"_s}, textFile(false), u"LibreOffice Writer"_s,
            knownText};
    return {name, {}, textFile(false), u"AbiWord"_s, knownText};
}

// Starts the application with the text selected and in front; an empty window id on failure.
QString startApplication(X11Programs::Child& child, Kind kind, const QString& program, bool large)
{
    const QString lines = u"i=0; while [ $i -lt 12 ]; do printf '%s\\n' \""_s + knownText
        + u"\"; i=$((i+1)); done; while :; do sleep 1; done"_s;
    bool started = false;
    switch (kind) {
    case Kind::editor:
        // GTK 4's editor opens a window of its own only when told to.
        started = child.start(program,
            (program == u"gnome-text-editor"_s ? QStringList {u"--standalone"_s} : QStringList {})
                + QStringList {textFile(large)});
        break;
    case Kind::terminal:
        started = child.start(u"lxterminal"_s, {"--no-remote", "--geometry=60x6", "-e", "sh", "-c", lines});
        break;
    case Kind::xterm:
        started = child.start(u"xterm"_s, {"-u8", "-geometry", "60x6+0+0", "-e", "sh", "-c", lines});
        break;
    case Kind::document:
        break;
    case Kind::browser:
        started = child.start(u"chromium"_s,
            {"--no-sandbox", "--user-data-dir=" + g_home->path() + "/chromium", "--no-first-run",
                "--no-default-browser-check", "--force-renderer-accessibility", "--disable-gpu",
                "--password-store=basic", "--window-size=800,500", QUrl::fromLocalFile(pageFile()).toString()});
        break;
    }
    if (!started)
        return {};
    const QString window = X11Programs::windowOf(child.pid(), 20000);
    if (window.isEmpty() || !X11Programs::activate(window))
        return {};
    X11Workspace workspace;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (auto app = workspace.frontmostApplication(); app && app->processIdentifier == child.pid())
            break;
        QTest::qWait(20);
    }
    QTest::qWait(kind == Kind::browser ? 1500 : 500);
    if (kind == Kind::editor)
        X11Programs::key(u"ctrl+a"_s);
    else if (kind != Kind::browser)
        X11Programs::tripleClickMiddle(window);
    QTest::qWait(300);
    return window;
}

// Starts a document application on its file and selects everything once its window, named by
// the file (LibreOffice's window belongs to a child of the program started), is in front.
QString startDocument(X11Programs::Child& child, const Document& document)
{
    if (!child.start(document.program, document.arguments + QStringList {document.file}))
        return {};
    X11Workspace workspace;
    const QString fileName = document.file.section(u'/', -1);
    QString window;
    QDeadlineTimer deadline(90000);
    while (!deadline.hasExpired()) {
        if (window.isEmpty()) {
            const auto found = X11Programs::run(u"xdotool"_s, {"search", "--onlyvisible", "--name", fileName}, 2000);
            window = found ? QString::fromLatin1(found->trimmed().split('\n').value(0)) : QString();
        }
        if (!window.isEmpty()) {
            X11Programs::activate(window);
            if (workspace.activeWindowTitle().value_or(QString()).contains(fileName))
                break;
        }
        QTest::qWait(300);
    }
    if (deadline.hasExpired())
        return {};
    QTest::qWait(1500);
    X11Programs::key(u"ctrl+a"_s);
    QTest::qWait(500);
    return window;
}

void captureFromApplication(benchmark::State& state, Kind kind, const char* program, bool large)
{
    if (!haveDisplay(state))
        return;
    if (!X11Programs::available(QString::fromLatin1(program))) {
        state.SkipWithError("the application is not installed");
        return;
    }
    // Tessellon runs before the application starts, as on a desktop: it has seen its focus events.
    AtspiAccessibility accessibility;
    X11Programs::Child child;
    const Document document = documentFor(program);
    const QString window = kind == Kind::document ? startDocument(child, document)
                                                  : startApplication(child, kind, QString::fromLatin1(program), large);
    if (window.isEmpty()) {
        state.SkipWithError("the application did not come to the front");
        return;
    }
    QString expected = knownText;
    if (kind == Kind::editor)
        expected = expectedText(large);
    else if (kind == Kind::document)
        expected = document.text;
    putClipboard();
    X11Workspace workspace;
    XTestKeyInjector keys;
    UnavailableScriptRunner scripts;
    SystemClock clock;
    int failures = 0, named = 0, located = 0, restored = 0;
    std::vector<double> times;
    for (auto _ : state) {
        std::atomic<bool> done = false;
        double seconds = 0;
        std::optional<CaptureOutcome> outcome;
        QThread* worker = QThread::create([&] {
            const auto start = std::chrono::steady_clock::now();
            SelectionCapture capture({accessibility, workspace, keys, *g_pasteboard, scripts, clock});
            outcome = capture.capture();
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            done = true;
        });
        worker->start();
        spinUntil(done, 30000);
        worker->wait();
        delete worker;
        const CaptureResult* result = outcome ? std::get_if<CaptureResult>(&*outcome) : nullptr;
        failures += result && result->text == expected ? 0 : 1;
        if (kind == Kind::document) {
            // The documents' own checks: the name, the file and the clipboard given back.
            named += result && result->appName == document.name ? 1 : 0;
            located += result && result->filePath == document.file ? 1 : 0;
            restored += g_pasteboard->string(QStringLiteral("text/html")) == u"<p>before</p>"_s ? 1 : 0;
            if (!result && outcome)
                qWarning() << std::get<CaptureError>(*outcome).errorDescription();
        }
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    if (kind == Kind::document) {
        state.counters["named"] = named;
        state.counters["file_found"] = located;
        state.counters["restored"] = restored;
    }
    std::sort(times.begin(), times.end());
    if (!times.empty())
        state.counters["median_ms"] = 1000 * times[times.size() / 2];
    state.counters["failures"] = failures;
}
} // namespace

BENCHMARK(BM_CaptureThroughCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CaptureThroughTree)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FrontmostApplication)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ActiveWindowDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccessibilityWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotAndRestore)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(captureFromApplication, gtk_editor, Kind::editor, "mousepad", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);
BENCHMARK_CAPTURE(captureFromApplication, gtk4_editor, Kind::editor, "gnome-text-editor", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);
BENCHMARK_CAPTURE(captureFromApplication, gtk_editor_1MiB, Kind::editor, "mousepad", true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(captureFromApplication, gtk_terminal, Kind::terminal, "lxterminal", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);
BENCHMARK_CAPTURE(captureFromApplication, xterm, Kind::xterm, "xterm", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);
// Document applications: a word processor, a GTK editor, a document viewer, and LibreOffice
// Writer, which is too heavy to install for the test suite and is measured here only. Each
// also reports how many captures named the application right ("named"), found the document's
// file ("file_found") and gave the clipboard back ("restored").
BENCHMARK_CAPTURE(captureFromApplication, abiword, Kind::document, "abiword", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);
BENCHMARK_CAPTURE(captureFromApplication, gedit, Kind::document, "gedit", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);
BENCHMARK_CAPTURE(captureFromApplication, evince, Kind::document, "evince", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);
BENCHMARK_CAPTURE(captureFromApplication, libreoffice_writer, Kind::document, "libreoffice", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(captureFromApplication, browser, Kind::browser, "chromium", false)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);

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
    QTemporaryDir home;
    g_home = &home;
    qputenv("XDG_CONFIG_HOME", (home.path() + u"/config"_s).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + u"/cache"_s).toUtf8());
    qputenv("GSETTINGS_BACKEND", "memory");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_pasteboard = nullptr;
    return 0;
}
