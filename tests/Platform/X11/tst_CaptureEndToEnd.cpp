// One whole capture on a real X server with the real backends: from a Qt window (through the
// accessibility tree, or through its copy command) and from xterm (through PRIMARY, or through
// its Control+Shift+C copy). Whatever the clipboard held before comes back byte for byte.

#include "Platform/Clock.h"
#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/PrimarySelection.h"
#include "Platform/X11/QtPasteboard.h"
#include "Platform/X11/UnavailableScriptRunner.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/X11/XTestKeyInjector.h"
#include "Platform/X11/XcbConnection.h"
#include "ZubraCore/Capture/SelectionCapture.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>

using X11Programs::Child;

namespace {
const QByteArray kBinary("\x00\x01\xfe\xff tessellon", 14);

// The clipboard content the user had before the capture: owned by this process.
const QList<Pasteboard::ItemData> kBefore {{{QStringLiteral("text/plain"), QByteArrayLiteral("before the capture")},
    {QStringLiteral("text/html"), QByteArrayLiteral("<p>before</p>")},
    {QStringLiteral("application/x-tessellon-test"), kBinary}}};

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

bool accessibilityShowsSelection(Accessibility& accessibility, qint64 pid)
{
    const auto app = accessibility.applicationElement(qint32(pid));
    if (!app)
        return false;
    const AccessibleValue focused = app->attribute(AccessibleAttribute::FocusedElement);
    return focused.kind == AccessibleValue::Kind::Element
        && focused.element->attribute(AccessibleAttribute::SelectedText).text == QLatin1String("quick brown");
}

bool startXterm(Child& xterm, bool copiesOnShiftControlC)
{
    QStringList options;
    if (copiesOnShiftControlC)
        options << "-xrm"
                << "XTerm*VT100.translations: #override Shift Ctrl<Key>C: copy-selection(CLIPBOARD)";
    return X11Programs::startXtermWithWordSelected(xterm, QStringLiteral("tessellate"), options);
}
} // namespace

class TestCaptureEndToEnd : public QObject
{
    Q_OBJECT
    QtPasteboard* m_pasteboard = nullptr;

    // Runs the capture on a worker thread, as the application does, keeping this thread's
    // event loop (which serves the clipboard) going.
    CaptureOutcome captureOnWorker()
    {
        AtspiAccessibility accessibility;
        X11Workspace workspace;
        XTestKeyInjector keys;
        UnavailableScriptRunner scripts;
        SystemClock clock;
        std::optional<CaptureOutcome> outcome;
        std::atomic<bool> done = false;
        QThread* worker = QThread::create([&] {
            SelectionCapture capture({accessibility, workspace, keys, *m_pasteboard, scripts, clock});
            outcome = capture.capture();
            done = true;
        });
        worker->start();
        QDeadlineTimer deadline(30000);
        while (!done && !deadline.hasExpired())
            QTest::qWait(5);
        worker->wait();
        delete worker;
        return outcome.value_or(CaptureError::noSelection(QStringLiteral("capture did not finish")));
    }

    void putBeforeContent()
    {
        QVERIFY(m_pasteboard->writeItems(kBefore));
        QTRY_VERIFY_WITH_TIMEOUT(m_pasteboard->types().contains(QStringLiteral("application/x-tessellon-test")), 5000);
    }

    // Another program reads every type back from the X server: it must be what the user had.
    void verifyBeforeContentIsBack()
    {
        for (const auto& [type, bytes] : kBefore.first()) {
            const auto read = X11Programs::run(QStringLiteral("xclip"), {"-o", "-selection", "clipboard", "-t", type});
            QVERIFY2(read, qPrintable(type));
            QCOMPARE(*read, bytes);
        }
    }

private slots:
    void initTestCase()
    {
        if (!X11Programs::available(QStringLiteral("xclip")))
            QSKIP("xclip is not installed");
        m_pasteboard = new QtPasteboard(this);
    }

    void fromQtWindow_data()
    {
        QTest::addColumn<bool>("refuseCopy");
        QTest::addColumn<bool>("clipboardUsed");
        QTest::newRow("copy refused: through the accessibility tree") << true << false;
        QTest::newRow("copy works: through the clipboard") << false << true;
    }
    void fromQtWindow()
    {
        QFETCH(bool, refuseCopy);
        QFETCH(bool, clipboardUsed);
        // PRIMARY belongs to someone else, so only the tree or the copy can give the text.
        Child decoy;
        QVERIFY(decoy.start(QStringLiteral("xclip"), {"-quiet", "-selection", "primary", "-i"}, "decoy", true));
        QVERIFY(primaryOwnedBy(decoy.pid()));
        putBeforeContent();

        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        QDir().mkpath(home.path() + QStringLiteral("/applications"));
        QFile entry(home.path() + QStringLiteral("/applications/org.example.Target.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Target Editor\n");
        entry.close();

        QStringList arguments {
            "--text", "The quick brown fox jumps", "--select", "quick brown", "--desktop-file", "org.example.Target"};
        if (refuseCopy)
            arguments << "--refuse-copy";
        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET), arguments));
        QVERIFY(target.waitForLine("ready"));
        QVERIFY(waitUntilFrontmost(target.pid()));
        // The window registers with the accessibility bus shortly after it shows.
        AtspiAccessibility accessibility;
        QTRY_VERIFY_WITH_TIMEOUT(accessibilityShowsSelection(accessibility, target.pid()), 8000);

        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = captureOnWorker();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        const CaptureResult result = std::get<CaptureResult>(outcome);
        QCOMPARE(result.text, QStringLiteral("quick brown"));
        QCOMPARE(result.appName, QString::fromLatin1("Target Editor"));
        QCOMPARE(result.bundleID.value_or(QString()), QString::fromLatin1("org.example.Target"));
        QCOMPARE(m_pasteboard->changeCount() != countBefore, clipboardUsed);
        QCOMPARE(result.markdown.has_value(), clipboardUsed); // Qt's copy carries HTML
        verifyBeforeContentIsBack();
        qunsetenv("XDG_DATA_HOME");
    }

    void fromXterm_data()
    {
        QTest::addColumn<bool>("copiesOnShiftControlC");
        QTest::newRow("no copy binding: through PRIMARY") << false;
        QTest::newRow("copy on Control+Shift+C: through the clipboard") << true;
    }
    void fromXterm()
    {
        QFETCH(bool, copiesOnShiftControlC);
        if (!X11Programs::available(QStringLiteral("xterm")) || !X11Programs::available(QStringLiteral("xdotool")))
            QSKIP("xterm or xdotool is not installed");
        if (!QFile::exists(QStringLiteral("/usr/share/applications/debian-xterm.desktop")))
            QSKIP("the xterm desktop entry is not installed");
        putBeforeContent();
        Child xterm;
        QVERIFY(startXterm(xterm, copiesOnShiftControlC));
        QVERIFY(waitUntilFrontmost(xterm.pid()));

        const qint64 countBefore = m_pasteboard->changeCount();
        const CaptureOutcome outcome = captureOnWorker();
        if (const auto* error = std::get_if<CaptureError>(&outcome))
            QFAIL(qPrintable(error->errorDescription() + u' ' + error->diagnostic()));
        const CaptureResult result = std::get<CaptureResult>(outcome);
        QCOMPARE(result.text, QStringLiteral("tessellate"));
        QCOMPARE(result.appName, QString::fromLatin1("XTerm"));
        QCOMPARE(result.bundleID.value_or(QString()), QString::fromLatin1("debian-xterm"));
        QCOMPARE(m_pasteboard->changeCount() != countBefore, copiesOnShiftControlC);
        verifyBeforeContentIsBack();
    }
};

TESSELLON_GUI_TEST_MAIN(TestCaptureEndToEnd)
#include "tst_CaptureEndToEnd.moc"
