// Whole captures on a real X server with the real backends, from the applications people use:
// a GTK editor, a GTK text viewer, a GTK terminal, xterm, a Qt editor and a browser, each
// showing a known text with CJK, an emoji and right-to-left script; a password dialog that is
// refused; and the clipboard of several kinds of owners given back byte for byte for every
// target. No capture may take more than five seconds, and the GUI thread keeps running
// throughout: a timer fires during and after every capture.

#include "Platform/Clock.h"
#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/PrimarySelection.h"
#include "Platform/X11/QtPasteboard.h"
#include "Platform/X11/SelectionTransfer.h"
#include "Platform/X11/UnavailableScriptRunner.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/X11/XTestKeyInjector.h"
#include "Platform/X11/XcbConnection.h"
#include "ZubraCore/Capture/LateCopyGuard.h"
#include "ZubraCore/Capture/SelectionCapture.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdlib>

using namespace Qt::StringLiterals;
using X11Programs::Child;
using namespace std::chrono_literals;

namespace {
// CJK, an emoji outside the BMP and Hebrew.
const QString knownText = u"Tessellon \u6F22\u5B57 \U0001F600 \u05E9\u05DC\u05D5\u05DD"_s;
// What the PDF shows: the viewers' text layer holds Latin text reliably.
const QString pdfText = u"Tessellon document viewer sample"_s;
constexpr std::chrono::seconds captureLimit {5};
// The longest the GUI thread's timer may stay silent during a capture. The clipboard is read
// through the GUI thread, which waits there as long as the owner takes to answer: a loaded
// machine's editor has taken over a second. A GUI thread that waits for the capture itself, or
// for an owner that never answers, stays silent for the clipboard's whole timeout.
constexpr std::chrono::milliseconds longestSilence {2500};

const QByteArray binary("\x00\x01\xfe\xff tessellon", 14);

// The clipboard content the user had before the capture: owned by this process.
const QList<Pasteboard::ItemData> before {{{u"text/plain"_s, QByteArrayLiteral("before the capture")},
    {u"text/html"_s, QByteArrayLiteral("<p>before</p>")}, {u"application/x-tessellon-test"_s, binary}}};

bool waitUntilFrontmost(qint64 pid)
{
    X11Workspace workspace;
    QDeadlineTimer deadline(8000);
    while (!deadline.hasExpired()) {
        if (auto app = workspace.frontmostApplication(); app && app->processIdentifier == pid)
            return true;
        QTest::qWait(20);
    }
    return false;
}

bool primaryOwnedBy(qint64 pid)
{
    auto x = XcbConnection::open();
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (PrimarySelection::ownerProcess(*x) == pid)
            return true;
        QTest::qWait(20);
    }
    return false;
}

bool clipboardOwnedBy(qint64 pid)
{
    auto x = XcbConnection::open();
    const xcb_atom_t clipboard = x->atom("CLIPBOARD");
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        auto* r = xcb_get_selection_owner_reply(
            x->connection(), xcb_get_selection_owner(x->connection(), clipboard), nullptr);
        const xcb_window_t owner = r ? r->owner : xcb_window_t(XCB_WINDOW_NONE);
        std::free(r);
        if (owner != XCB_WINDOW_NONE && x->processOf(owner) == pid)
            return true;
        QTest::qWait(20);
    }
    return false;
}

// Every target of the clipboard with its type, format and bytes, as another program reads them.
QList<SelectionTransfer::Data> clipboardTargets()
{
    SelectionTransfer::Reader reader;
    QList<SelectionTransfer::Data> all;
    const QDeadlineTimer deadline(10000);
    const auto targets = reader.targets(reader.atom("CLIPBOARD"), deadline);
    for (const QString& target : targets.value_or(QList<QString> {})) {
        if (SelectionTransfer::isMetaTarget(target))
            continue;
        if (auto data = reader.read(reader.atom("CLIPBOARD"), target, deadline))
            all.append(*data);
        else
            all.append(SelectionTransfer::Data {target, u"(refused)"_s, 0, {}});
    }
    return all;
}

QString describe(const QList<SelectionTransfer::Data>& targets)
{
    QStringList lines;
    for (const auto& t : targets)
        lines.append(
            t.target + u' ' + t.type + u'/' + QString::number(t.format) + u' ' + QString::number(t.bytes.size()));
    return lines.join(u"; "_s);
}

// Reads the selection of an application's focused element straight from its tree.
std::optional<QString> treeSelection(qint64 pid)
{
    AtspiAccessibility accessibility;
    accessibility.setPrimaryFallback(false);
    const auto app = accessibility.applicationElement(qint32(pid));
    if (!app)
        return std::nullopt;
    const AccessibleValue focused = app->attribute(AccessibleAttribute::FocusedElement);
    if (focused.kind != AccessibleValue::Kind::Element)
        return std::nullopt;
    const AccessibleValue text = focused.element->attribute(AccessibleAttribute::SelectedText);
    if (text.kind != AccessibleValue::Kind::Text)
        return std::nullopt;
    return text.text.trimmed();
}

// Whether the tree shows `text` as the selection within `timeout`. Each read opens a connection
// to the accessibility bus of its own: a few reads a second, not a busy poll, which makes Qt's
// bus connections come and go fast enough to race in their teardown.
bool treeShows(qint64 pid, const QString& text, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (true) {
        if (treeSelection(pid) == std::optional<QString>(text))
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(250);
    }
}

enum class Selecting { all, tripleClick };
// Where the test sees that the selection is made before it captures.
enum class Selected { inTree, inPrimary, unseen };
} // namespace

Q_DECLARE_METATYPE(Selecting)
Q_DECLARE_METATYPE(Selected)

class TestCaptureEndToEnd : public QObject
{
    Q_OBJECT
    QtPasteboard* m_pasteboard = nullptr;
    QTemporaryDir m_home;
    QString m_textFile;
    qint64 m_lastTook = 0; // how long the last capture took, in ms
    LateCopyGuard* m_lateCopies = nullptr; // given to the captures when set
    QString m_pdfFile;

    // Runs `work` on a worker thread, as the application runs a capture, while this thread's
    // event loop (which serves the clipboard) keeps going and a timer on it keeps firing. Fails
    // when the work takes longer than the capture limit or the timer falls silent.
    template <typename Fn> void onWorker(Fn work, const char* what)
    {
        QElapsedTimer clock;
        clock.start();
        qint64 lastTick = 0, longestGap = 0;
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(10);
        connect(&ticker, &QTimer::timeout, this, [&] {
            const qint64 now = clock.elapsed();
            longestGap = std::max(longestGap, now - lastTick);
            lastTick = now;
            ++ticks;
        });
        ticker.start();
        std::atomic<bool> done = false;
        QThread* worker = QThread::create([&] {
            work();
            done = true;
        });
        worker->start();
        QDeadlineTimer limit(captureLimit);
        while (!done && !limit.hasExpired())
            QTest::qWait(5);
        const qint64 took = clock.elapsed();
        if (!done) {
            // A hung capture: give it a last chance to end, else stop the whole program.
            QDeadlineTimer grace(20000);
            while (!done && !grace.hasExpired())
                QTest::qWait(20);
            if (!done)
                qFatal("%s never finished", what);
        }
        worker->wait();
        delete worker;
        m_lastTook = took;
        qInfo("%s took %lld ms", what, took);
        QVERIFY2(took < std::chrono::milliseconds(captureLimit).count(),
            qPrintable(QString::fromLatin1(what) + u" took "_s + QString::number(took) + u" ms"_s));
        const qint64 gap = std::max(longestGap, clock.elapsed() - lastTick);
        QVERIFY2(gap < longestSilence.count(),
            qPrintable(u"the GUI thread stalled for "_s + QString::number(gap) + u" ms"_s));
        // And it goes on running after the capture.
        const int ticksAtEnd = ticks;
        QTest::qWait(200);
        QVERIFY2(ticks >= ticksAtEnd + 5, "the GUI thread's timer stopped after the capture");
    }

    CaptureOutcome capture()
    {
        AtspiAccessibility accessibility;
        X11Workspace workspace;
        XTestKeyInjector keys;
        UnavailableScriptRunner scripts;
        SystemClock clock;
        std::optional<CaptureOutcome> outcome;
        onWorker(
            [&] {
                SelectionCapture capture({accessibility, workspace, keys, *m_pasteboard, scripts, clock, m_lateCopies});
                outcome = capture.capture();
            },
            "the capture");
        return outcome.value_or(CaptureError::noSelection(u"capture did not finish"_s));
    }

    void putBeforeContent()
    {
        QVERIFY(m_pasteboard->writeItems(before));
        QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->types().contains(u"application/x-tessellon-test"_s), 5000);
    }

    // Another program reads every type back from the X server: it must be what the user had.
    void verifyBeforeContentIsBack()
    {
        for (const auto& [type, bytes] : before.first()) {
            const auto read = X11Programs::run(u"xclip"_s, {"-o", "-selection", "clipboard", "-t", type});
            QVERIFY2(read, qPrintable(type));
            QCOMPARE(*read, bytes);
        }
    }

    // Starts a program, waits for its window and brings it to the front.
    QString startWindow(Child& child, const QString& program, const QStringList& arguments)
    {
        if (!child.start(program, arguments))
            return {};
        const QString window = X11Programs::windowOf(child.pid(), 20000);
        if (window.isEmpty())
            return {};
        X11Programs::activate(window);
        return waitUntilFrontmost(child.pid()) ? window : QString();
    }

private slots:
    void initTestCase()
    {
        if (!X11Programs::available(u"xclip"_s) || !X11Programs::available(u"xdotool"_s))
            QSKIP("xclip or xdotool is not installed");
        m_pasteboard = new QtPasteboard(this);
        // The applications keep their settings away from the user's.
        qputenv("XDG_CONFIG_HOME", (m_home.path() + u"/config"_s).toUtf8());
        qputenv("XDG_CACHE_HOME", (m_home.path() + u"/cache"_s).toUtf8());
        qputenv("GSETTINGS_BACKEND", "memory");
        m_textFile = m_home.path() + u"/known.txt"_s;
        QFile file(m_textFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(knownText.toUtf8() + '\n');
        file.close();
        // A one-page PDF showing the known text, for the document viewers.
        m_pdfFile = m_home.path() + u"/known.pdf"_s;
        QPdfWriter pdf(m_pdfFile);
        QPainter painter(&pdf);
        painter.setFont(QFont(u"DejaVu Sans"_s, 14));
        painter.drawText(QRect(0, 0, pdf.width(), pdf.height() / 4), Qt::AlignLeft | Qt::AlignTop, pdfText);
        QVERIFY(painter.end());
    }

    void fromApplication_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Selecting>("selecting");
        QTest::addColumn<bool>("throughCopy"); // else through the tree or PRIMARY
        QTest::addColumn<QString>("appName");
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<Selected>("selected");
        QTest::addColumn<QString>("filePath"); // @FILE@ or @PDF@ when the document's path is expected

        const QString lines = u"i=0; while [ $i -lt 12 ]; do printf '%s\\n' \""_s + knownText
            + u"\"; i=$((i+1)); done; while :; do sleep 1; done"_s;
        QTest::newRow("GTK editor: mousepad") << u"mousepad"_s << QStringList {u"@FILE@"_s} << Selecting::all << true
                                              << u"Mousepad"_s << u"org.xfce.mousepad"_s << Selected::inTree << QString();
        QTest::newRow("GTK text viewer: zenity --text-info")
            << u"zenity"_s << QStringList {u"--text-info"_s, u"--filename=@FILE@"_s} << Selecting::all << true
            << u"Zenity"_s << u"Zenity"_s << Selected::inTree << QString();
        QTest::newRow("GTK terminal: lxterminal")
            << u"lxterminal"_s << QStringList {u"--no-remote"_s, u"--geometry=60x6"_s, u"-e"_s, u"sh"_s, u"-c"_s, lines}
            << Selecting::tripleClick << true << u"LXTerminal"_s << u"lxterminal"_s << Selected::inPrimary
            << QString();
        QTest::newRow("Qt editor: featherpad") << u"featherpad"_s << QStringList {u"@FILE@"_s} << Selecting::all << true
                                               << u"FeatherPad"_s << u"featherpad"_s << Selected::inTree << QString();
        QTest::newRow("GTK editor: gedit") << u"gedit"_s << QStringList {u"--standalone"_s, u"@FILE@"_s}
                                           << Selecting::all << true << u"gedit"_s << u"org.gnome.gedit"_s
                                           << Selected::inTree << u"@FILE@"_s;
        QTest::newRow("word processor: abiword") << u"abiword"_s << QStringList {u"@FILE@"_s} << Selecting::all
                                                 << true << u"AbiWord"_s << u"abiword"_s << Selected::inPrimary << QString();
        QTest::newRow("document viewer: evince")
            << u"evince"_s << QStringList {u"@PDF@"_s} << Selecting::all << true << u"Document Viewer"_s
            << u"org.gnome.Evince"_s << Selected::unseen << u"@PDF@"_s;
    }
    void fromApplication()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(Selecting, selecting);
        QFETCH(bool, throughCopy);
        QFETCH(QString, appName);
        QFETCH(QString, bundleID);
        QFETCH(Selected, selected);
        QFETCH(QString, filePath);
        if (!X11Programs::available(program))
            QSKIP(qPrintable(program + u" is not installed"_s));
        for (QString& argument : arguments)
            argument.replace(u"@FILE@"_s, m_textFile).replace(u"@PDF@"_s, m_pdfFile);
        filePath.replace(u"@FILE@"_s, m_textFile).replace(u"@PDF@"_s, m_pdfFile);
        putBeforeContent();
        // PRIMARY belongs to someone else until the application selects.
        Child decoy;
        QVERIFY(decoy.start(u"xclip"_s, {"-quiet", "-selection", "primary", "-i"}, "decoy", true));
        QVERIFY(primaryOwnedBy(decoy.pid()));

        Child app;
        const QString window = startWindow(app, program, arguments);
        QVERIFY2(!window.isEmpty(), qPrintable(program + u" showed no window"_s));
        // A viewer shows its window before the document: wait until the title names it.
        if (arguments.contains(m_pdfFile))
            QTRY_VERIFY_WITH_TIMEOUT(
                X11Workspace().activeWindowTitle().value_or(QString()).contains(u"known.pdf"_s), 15000);
        if (selecting == Selecting::all)
            QVERIFY(X11Programs::key(u"ctrl+a"_s));
        else
            QVERIFY(X11Programs::tripleClickMiddle(window));
        if (selected == Selected::inTree) {
            // An editor that shows its window before it takes keys drops an early Control+A:
            // select again, a few times, until the tree shows the selection.
            for (int tries = 0; tries < 4 && selecting == Selecting::all; ++tries) {
                if (treeShows(app.pid(), knownText, 2500ms))
                    break;
                X11Programs::key(u"ctrl+a"_s);
            }
            QVERIFY2(treeShows(app.pid(), knownText, 10s), "the tree never showed the selection");
        } else if (selected == Selected::inPrimary) {
            // A word processor opens its document after showing its window: select again until
            // it owns PRIMARY.
            for (int tries = 0; tries < 4 && selecting == Selecting::all && !primaryOwnedBy(app.pid()); ++tries)
                X11Programs::key(u"ctrl+a"_s);
            QVERIFY(primaryOwnedBy(app.pid()));
        } else {
            QTest::qWait(300);
        }

        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = capture();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        const CaptureResult result = std::get<CaptureResult>(outcome);
        QCOMPARE(result.text, arguments.contains(m_pdfFile) ? pdfText : knownText);
        QCOMPARE(result.appName, appName);
        QCOMPARE(result.bundleID.value_or(QString()), bundleID);
        QVERIFY(!result.sourceURL);
        if (!filePath.isEmpty())
            QCOMPARE(result.filePath.value_or(QString()), filePath);
        QCOMPARE(m_pasteboard->changeCount() != countBefore, throughCopy);
        verifyBeforeContentIsBack();
        // The application still answers its tree after the capture (a loaded one within seconds).
        if (selected == Selected::inTree)
            QVERIFY2(treeShows(app.pid(), knownText, 10s), "the tree no longer shows the selection");
    }

    // xterm has no copy keystroke: its PRIMARY selection is read at once, and no key reaches
    // the program running in it (a Control+C would be a SIGINT there).
    void fromXtermWithoutAnyKey()
    {
        if (!X11Programs::available(u"xterm"_s))
            QSKIP("xterm is not installed");
        if (!QFile::exists(u"/usr/share/applications/debian-xterm.desktop"_s))
            QSKIP("the xterm desktop entry is not installed");
        putBeforeContent();
        const QString interrupts = m_home.path() + u"/interrupts"_s;
        QFile::remove(interrupts);
        const QString script = u"trap 'echo INT >> \""_s + interrupts
            + u"\"' INT; i=0; while [ $i -lt 12 ]; do printf '%s\\n' \""_s + knownText
            + u"\"; i=$((i+1)); done; while :; do sleep 1; done"_s;
        Child xterm;
        const QString window
            = startWindow(xterm, u"xterm"_s, {"-u8", "-geometry", "60x6+0+0", "-e", "sh", "-c", script});
        QVERIFY(!window.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(X11Programs::tripleClickMiddle(window) && primaryOwnedBy(xterm.pid()), 10000);

        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = capture();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        const CaptureResult result = std::get<CaptureResult>(outcome);
        QCOMPARE(result.text, knownText);
        QCOMPARE(result.appName, u"XTerm"_s);
        QCOMPARE(result.bundleID.value_or(QString()), u"debian-xterm"_s);
        QCOMPARE(m_pasteboard->changeCount(), countBefore);
        QTest::qWait(300);
        QVERIFY2(!QFile::exists(interrupts), "the program in xterm received an interrupt");
        verifyBeforeContentIsBack();
    }

    // Programs where Control+C is not a copy get no keystroke: their PRIMARY selection is the
    // capture, read at once. In Emacs a Control+C twice would be C-c C-c, which ticks the Org
    // checkbox and modifies the buffer; in GUI Vim it ends Visual mode and the selection is gone.
    // The window title shows the buffer's modified flag (Emacs) or the mode (Vim) afterwards.
    void fromProgramWithoutCopyKeystroke_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("selectKeys");
        QTest::addColumn<QString>("titleAfter");

        QTest::newRow("Emacs, Org file")
            << u"emacs"_s
            << QStringList {u"-Q"_s, u"--no-splash"_s, u"--eval"_s,
                   u"(setq frame-title-format '(\"%+ %b\"))"_s, u"@ORG@"_s}
            << QStringList {u"ctrl+x"_s, u"h"_s} << u"- known.org"_s;
        QTest::newRow("GUI Vim, Visual mode")
            << u"gvim"_s
            << QStringList {u"-f"_s, u"-u"_s, u"NONE"_s, u"-U"_s, u"NONE"_s, u"-N"_s, u"--cmd"_s,
                   u"set title titlestring=%{mode()}"_s, u"@ORG@"_s}
            << QStringList {u"shift+v"_s} << u"V"_s;
    }
    void fromProgramWithoutCopyKeystroke()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, selectKeys);
        QFETCH(QString, titleAfter);
        if (!X11Programs::available(program))
            QSKIP(qPrintable(program + u" is not installed"_s));
        const QString line = u"- [ ] "_s + knownText;
        const QString org = m_home.path() + u"/known.org"_s;
        QFile file(org);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(line.toUtf8() + '\n');
        file.close();
        for (QString& argument : arguments)
            argument.replace(u"@ORG@"_s, org);
        putBeforeContent();
        Child decoy;
        QVERIFY(decoy.start(u"xclip"_s, {"-quiet", "-selection", "primary", "-i"}, "decoy", true));
        QVERIFY(primaryOwnedBy(decoy.pid()));

        Child app;
        const QString window = startWindow(app, program, arguments);
        QVERIFY2(!window.isEmpty(), qPrintable(program + u" showed no window"_s));
        // The keys select once the buffer is shown and takes keys, which a loaded machine may
        // delay: keys that selected nothing within the wait are sent again.
        bool selected = false;
        for (int attempt = 0; attempt < 3 && !selected; ++attempt) {
            QTest::qWait(500);
            for (const QString& key : selectKeys)
                QVERIFY(X11Programs::key(key));
            selected = primaryOwnedBy(app.pid());
        }
        QVERIFY(selected);
        X11Workspace workspace;
        QTRY_COMPARE_WITH_TIMEOUT(workspace.activeWindowTitle().value_or(QString()), titleAfter, 5000);

        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = capture();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        const CaptureResult result = std::get<CaptureResult>(outcome);
        QCOMPARE(result.text, line);
        qInfo() << "name" << result.appName << "bundle" << result.bundleID.value_or(QString()) << "file"
                << result.filePath.value_or(QString()) << "title" << result.sourceTitle.value_or(QString());
        // No keystroke reached the program: the clipboard never moved, the document is unchanged
        // and the selection is still there.
        QCOMPARE(m_pasteboard->changeCount(), countBefore);
        QTest::qWait(700);
        QCOMPARE(workspace.activeWindowTitle().value_or(QString()), titleAfter);
        QVERIFY(primaryOwnedBy(app.pid()));
        verifyBeforeContentIsBack();
    }

    // An application slower than the copy window (stopped here, resumed once the capture gave
    // up) performs both queued copies later: the user's clipboard is put back each time.
    void lateCopyFromAFrozenApplication()
    {
        putBeforeContent();
        SystemClock clock;
        LateCopyGuard guard(*m_pasteboard, clock);
        m_lateCopies = &guard;
        const auto forget = qScopeGuard([this] { m_lateCopies = nullptr; });
        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET), {"--text", knownText, "--select", knownText}));
        QVERIFY(target.waitForLine("ready"));
        QVERIFY(waitUntilFrontmost(target.pid()));
        QCOMPARE(::kill(pid_t(target.pid()), SIGSTOP), 0);
        const auto resume = qScopeGuard([&target] { ::kill(pid_t(target.pid()), SIGCONT); });
        const CaptureOutcome outcome = capture();
        const auto* error = std::get_if<CaptureError>(&outcome);
        QVERIFY2(error, "a stopped application gave a capture");
        QCOMPARE(error->code(), CaptureError::Code::noSelection);
        const qint64 countBefore = m_pasteboard->changeCount();
        QCOMPARE(::kill(pid_t(target.pid()), SIGCONT), 0);
        // The application copies (the clipboard moves) and the copy is taken back.
        QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->changeCount() >= countBefore + 2, 3000);
        QTest::qWait(int(LateCopyGuard::watchTime.count()) / 2);
        verifyBeforeContentIsBack();
    }

    // A desktop where no accessibility bus runs: no tree and no PRIMARY, the copy keystroke alone
    // gives the text, and the clipboard comes back.
    void withoutAccessibilityBus()
    {
        if (!X11Programs::available(u"mousepad"_s))
            QSKIP("mousepad is not installed");
        putBeforeContent();
        QVERIFY(X11Programs::run(u"xprop"_s,
            {"-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", "unix:path=/nonexistent/tessellon-a11y"}));
        const auto busBack = qScopeGuard([] { X11Programs::run(u"xprop"_s, {"-root", "-remove", "AT_SPI_BUS"}); });
        qputenv("NO_AT_BRIDGE", "1");
        Child app;
        const QString window = startWindow(app, u"mousepad"_s, {m_textFile});
        qputenv("NO_AT_BRIDGE", "0");
        QVERIFY(!window.isEmpty());
        QTest::qWait(300);
        QVERIFY(X11Programs::key(u"ctrl+a"_s));
        QVERIFY(primaryOwnedBy(app.pid()));

        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = capture();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        const CaptureResult result = std::get<CaptureResult>(outcome);
        QCOMPARE(result.text, knownText);
        qInfo() << "name" << result.appName << "file" << result.filePath.value_or(QString()) << "title"
                << result.sourceTitle.value_or(QString());
        QVERIFY(m_pasteboard->changeCount() != countBefore);
        verifyBeforeContentIsBack();
    }

    // A password field, in a dialog and as a plain GTK entry that hides its text: the capture is
    // refused from the focused element at once, as a password and with no keystroke, and neither
    // the clipboard nor the password's text is touched.
    void passwordFieldIsRefused_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        const QString entry = u"import gi\n"
                              "gi.require_version('Gtk', '3.0')\n"
                              "from gi.repository import Gtk, GLib\n"
                              "w = Gtk.Window(title='Sign in')\n"
                              "e = Gtk.Entry()\n"
                              "e.set_visibility(False)\n"
                              "w.add(e)\n"
                              "w.connect('destroy', Gtk.main_quit)\n"
                              "w.show_all()\n"
                              "e.grab_focus()\n"
                              "GLib.timeout_add(120000, Gtk.main_quit)\n"
                              "Gtk.main()\n"_s;
        QTest::newRow("zenity --password") << u"zenity"_s << QStringList {u"--password"_s};
        QTest::newRow("GTK 3 entry without visible text") << u"/usr/bin/python3"_s << QStringList {u"-c"_s, entry};
    }
    void passwordFieldIsRefused()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        if (!X11Programs::available(program))
            QSKIP(qPrintable(program + u" is not installed"_s));
        putBeforeContent();
        Child dialog;
        QVERIFY(!startWindow(dialog, program, arguments).isEmpty());
        QVERIFY(X11Programs::run(u"xdotool"_s, {"type", "--delay", "20", "hunter2secret"}));
        QVERIFY(X11Programs::key(u"ctrl+a"_s));
        QTest::qWait(200);
        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = capture();
        const auto* error = std::get_if<CaptureError>(&outcome);
        QVERIFY2(error, "a password was captured");
        QCOMPARE(error->code(), CaptureError::Code::passwordRefused);
        QCOMPARE(error->errorDescription(), u"A password field was refused. Tessellon never captures passwords."_s);
        // Refused from the focused element, before any keystroke.
        QVERIFY2(error->diagnostic().contains(u"protected=yes"_s), qPrintable(error->diagnostic()));
        QVERIFY(!error->diagnostic().contains(u"hunter2"_s));
        QCOMPARE(m_pasteboard->changeCount(), countBefore);
        verifyBeforeContentIsBack();
    }

    // A browser with its accessibility tree on: the text from its copy, the address from the
    // source type it adds to the copy, the title from its window.
    void fromBrowser()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the browser runs in the plain build only (too slow beside the sanitizers)");
#endif
        if (!X11Programs::available(u"chromium"_s))
            QSKIP("chromium is not installed");
        const QString page = m_home.path() + u"/page.html"_s;
        QFile file(page);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Tessellon page</title></head><body>"
                   "<p id=\"t\">"_s.toUtf8()
            + knownText.toUtf8()
            + "</p><script>function pick(){var r=document.createRange();"
              "r.selectNodeContents(document.getElementById('t'));var s=window.getSelection();"
              "s.removeAllRanges();s.addRange(r);}"
              "window.addEventListener('load',pick);window.addEventListener('focus',pick);</script></body></html>");
        file.close();
        putBeforeContent();
        const QString address = QUrl::fromLocalFile(page).toString(QUrl::FullyEncoded);
        Child browser;
        const QString window = startWindow(browser, u"chromium"_s,
            {"--no-sandbox", "--user-data-dir=" + m_home.path() + "/chromium", "--no-first-run",
                "--no-default-browser-check", "--force-renderer-accessibility", "--disable-gpu",
                "--password-store=basic", "--window-size=800,500", address});
        QVERIFY(!window.isEmpty());
        X11Workspace workspace;
        QTRY_COMPARE_WITH_TIMEOUT(
            workspace.activeWindowTitle().value_or(QString()), u"Tessellon page - Chromium"_s, 15000);
        // The page selects its text once loaded and focused.
        QTest::qWait(500);

        const CaptureOutcome outcome = capture();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        const CaptureResult result = std::get<CaptureResult>(outcome);
        QCOMPARE(result.text, knownText);
        QCOMPARE(result.appName, u"Chromium Web Browser"_s);
        QCOMPARE(result.bundleID.value_or(QString()), u"chromium"_s);
        QCOMPARE(result.sourceURL.value_or(QString()), address);
        QCOMPARE(result.sourceTitle.value_or(QString()), u"Tessellon page"_s);
        QVERIFY(result.markdown);
        verifyBeforeContentIsBack();
    }

    // A page whose selection is in a frame of another origin: the address and the title are the
    // top-level page's pair, not the frame's address beside the page's title.
    void fromBrowserFrameOfAnotherOrigin()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the browser runs in the plain build only (too slow beside the sanitizers)");
#endif
        if (!X11Programs::available(u"chromium"_s))
            QSKIP("chromium is not installed");
        const QString site = m_home.path() + u"/site"_s;
        QVERIFY(QDir().mkpath(site));
        // Two servers on two loopback addresses: two origins.
        Child top, other;
        const QString topOrigin = X11Programs::serveFolder(top, site, u"127.0.0.1"_s);
        const QString frameOrigin = X11Programs::serveFolder(other, site, u"127.0.0.2"_s);
        QVERIFY(!topOrigin.isEmpty() && !frameOrigin.isEmpty());
        QFile page(site + u"/top.html"_s);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Tessellon page</title></head>"
                    "<body style=\"margin:0\"><iframe style=\"border:0\" width=\"760\" height=\"380\" src=\""
            + frameOrigin + "/frame.html\"></iframe></body></html>")
                       .toUtf8());
        page.close();
        QFile frame(site + u"/frame.html"_s);
        QVERIFY(frame.open(QIODevice::WriteOnly));
        frame.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Frame page</title></head>"
                    "<body style=\"margin:0\"><p id=\"t\" style=\"margin:0;padding:120px 20px;font-size:24px\">"
            + knownText.toUtf8() + "</p></body></html>");
        frame.close();
        putBeforeContent();
        const QString address = topOrigin + u"/top.html"_s;
        Child browser;
        const QString window = startWindow(browser, u"chromium"_s,
            {"--no-sandbox", "--user-data-dir=" + m_home.path() + "/chromium-frames", "--no-first-run",
                "--no-default-browser-check", "--force-renderer-accessibility", "--disable-gpu",
                "--password-store=basic", "--site-per-process", "--window-size=800,500", address});
        QVERIFY(!window.isEmpty());
        X11Workspace workspace;
        QTRY_COMPARE_WITH_TIMEOUT(
            workspace.activeWindowTitle().value_or(QString()), u"Tessellon page - Chromium"_s, 15000);
        QTest::qWait(1000);
        // A triple click in the frame selects its paragraph and gives the frame the focus.
        QVERIFY(X11Programs::run(u"xdotool"_s,
            {"mousemove", "--window", window, "200", "230", "click", "--repeat", "3", "--delay", "80", "1"}));
        QTest::qWait(500);

        const CaptureOutcome outcome = capture();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        const CaptureResult result = std::get<CaptureResult>(outcome);
        QCOMPARE(result.text, knownText);
        QCOMPARE(result.sourceURL.value_or(QString()), address);
        QCOMPARE(result.sourceTitle.value_or(QString()), u"Tessellon page"_s);
        verifyBeforeContentIsBack();
    }

    // An owner that offers a flood of targets, and one that never answers: their clipboard cannot
    // be saved, so no copy is made and it stays theirs; the text comes from the tree, else the
    // capture says why it failed. The capture stays within its limit and the GUI thread never
    // waits for them.
    void hostileClipboardOwners_data()
    {
        QTest::addColumn<int>("targets"); // 0: the owner never answers
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("code"); // the CaptureError code; -1: the known text
        const int tooLarge = int(CaptureError::Code::clipboardTooLarge);
        const int silent = int(CaptureError::Code::clipboardOwnerSilent);
        QTest::newRow("10,000 targets, text in the tree") << 10000 << true << -1;
        QTest::newRow("10,000 targets, nothing selected") << 10000 << false << tooLarge;
        QTest::newRow("silent owner, text in the tree") << 0 << true << -1;
        QTest::newRow("silent owner, nothing selected") << 0 << false << silent;
    }
    void hostileClipboardOwners()
    {
        QFETCH(int, targets);
        QFETCH(bool, selected);
        QFETCH(int, code);
        Child owner;
        QVERIFY(owner.start(QStringLiteral(TESSELLON_CAPTURE_TARGET), {"--hostile-clipboard", QString::number(targets)}));
        QVERIFY(owner.waitForLine("ready"));
        QVERIFY(clipboardOwnedBy(owner.pid()));
        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET),
            {"--text", knownText, "--select", selected ? knownText : u"absent"_s}));
        QVERIFY(target.waitForLine("ready"));
        QVERIFY(waitUntilFrontmost(target.pid()));
        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = capture();
        if (code < 0) {
            if (const auto* error = std::get_if<CaptureError>(&outcome))
                QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
            QCOMPARE(std::get<CaptureResult>(outcome).text, knownText);
        } else {
            const auto* error = std::get_if<CaptureError>(&outcome);
            QVERIFY2(error, "the capture succeeded");
            QCOMPARE(int(error->code()), code);
        }
        QCOMPARE(m_pasteboard->changeCount(), countBefore);
        QVERIFY(clipboardOwnedBy(owner.pid()));
    }

    // Whatever kind of program owned the clipboard, every target it offered comes back with its
    // exact bytes, type and format, and no target is added.
    void restoreIsExact_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");

        QTest::newRow("UTF8_STRING only")
            << u"xclip"_s << QStringList {"-quiet", "-selection", "clipboard", "-t", "UTF8_STRING", "-i"}
            << (u"\u20AC caf\u00E9 "_s + knownText).toUtf8();
        QTest::newRow("large, handed out in chunks")
            << u"xclip"_s << QStringList {"-quiet", "-selection", "clipboard", "-t", "UTF8_STRING", "-i"}
            << QByteArray(3 * 1024 * 1024 + 7, 'x');
        QByteArray png = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
        QTest::newRow("an image") << u"xclip"_s
                                  << QStringList {"-quiet", "-selection", "clipboard", "-t", "image/png", "-i"} << png;
        const QString gtkOwner = u"import gi, sys\n"
                                 "gi.require_version('Gtk', '3.0')\n"
                                 "from gi.repository import Gtk, Gdk, GLib\n"
                                 "text = sys.stdin.read()\n"
                                 "Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD).set_text(text, -1)\n"
                                 "GLib.timeout_add(120000, Gtk.main_quit)\n"
                                 "Gtk.main()\n"_s;
        QTest::newRow("a GTK program") << u"/usr/bin/python3"_s << QStringList {u"-c"_s, gtkOwner}
                                       << (u"\u20AC caf\u00E9 "_s + knownText).repeated(20).toUtf8();
    }
    void restoreIsExact()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        if (!X11Programs::available(program))
            QSKIP(qPrintable(program + u" is not installed"_s));
        Child owner;
        QVERIFY(owner.start(program, arguments, input, true));
        QVERIFY(clipboardOwnedBy(owner.pid()));
        const auto original = clipboardTargets();
        QVERIFY(!original.isEmpty());

        // The Qt target window copies on Control+C: the capture goes through the clipboard.
        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET), {"--text", knownText, "--select", knownText}));
        QVERIFY(target.waitForLine("ready"));
        QVERIFY(waitUntilFrontmost(target.pid()));
        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = capture();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        QCOMPARE(std::get<CaptureResult>(outcome).text, knownText);
        QVERIFY(m_pasteboard->changeCount() != countBefore);

        const auto restored = clipboardTargets();
        QVERIFY2(
            restored == original, qPrintable(u"before: "_s + describe(original) + u"\nafter: "_s + describe(restored)));
    }
};

TESSELLON_GUI_TEST_MAIN(TestCaptureEndToEnd)
#include "tst_CaptureEndToEnd.moc"
