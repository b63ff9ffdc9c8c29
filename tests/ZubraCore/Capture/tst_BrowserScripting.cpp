#include "support/TestMain.h"

#include "support/RecordingSystemLog.h"
#include "ZubraCore/Capture/BrowserScripting.h"
#include "ZubraCore/Support/Logging.h"

using OptionalString = std::optional<QString>;

namespace {

// Answers every run with one prepared outcome and remembers what it was asked to run.
class FakeScriptRunner final : public ScriptRunner
{
public:
    explicit FakeScriptRunner(Outcome outcome = {})
        : m_outcome(std::move(outcome))
    {
    }
    Outcome run(const QString& script, std::chrono::milliseconds limit) override
    {
        scripts.append(script);
        limits.append(limit);
        return m_outcome;
    }
    QStringList scripts;
    QList<std::chrono::milliseconds> limits;

private:
    Outcome m_outcome;
};

ScriptRunner::Outcome finished(const QByteArray& out, const QByteArray& err = {})
{
    ScriptRunner::Outcome outcome;
    outcome.status = ScriptRunner::Status::finished;
    outcome.standardOutput = out;
    outcome.standardError = err;
    return outcome;
}

SystemLogEntry entry(SystemLogLevel level, const QString& text)
{
    return {QStringLiteral("capture"), level, text, QString()};
}

} // namespace

class TestBrowserScripting : public QObject
{
    Q_OBJECT

private slots:
    // The page title in a browser window's title, the browser's own name taken off.
    void pageTitleFromWindowTitle_data()
    {
        QTest::addColumn<QString>("windowTitle");
        QTest::addColumn<OptionalString>("expected");
        QTest::newRow("Firefox") << QStringLiteral("Caf\u00e9 \u2014 Mozilla Firefox") << OptionalString(u"Caf\u00e9"_qs);
        QTest::newRow("Firefox, private") << QStringLiteral("News \u2014 Mozilla Firefox Private Browsing")
                                          << OptionalString(u"News"_qs);
        QTest::newRow("Chromium") << QStringLiteral("A - B - Chromium") << OptionalString(u"A - B"_qs);
        QTest::newRow("Chrome") << QStringLiteral("Inbox - Google Chrome") << OptionalString(u"Inbox"_qs);
        QTest::newRow("only the browser's name") << QStringLiteral(" - Chromium") << OptionalString();
        QTest::newRow("the browser's name alone") << QStringLiteral("Mozilla Firefox") << OptionalString();
        QTest::newRow("an editor") << QStringLiteral("notes.txt - Mousepad") << OptionalString();
        QTest::newRow("suffix without the separator") << QStringLiteral("MyChromium") << OptionalString();
    }
    void pageTitleFromWindowTitle()
    {
        QFETCH(QString, windowTitle);
        QFETCH(OptionalString, expected);
        QCOMPARE(BrowserWindow::pageTitle(windowTitle), expected);
    }

    void init() { Loggers::setSystemLog(&m_log); }
    void cleanup()
    {
        Loggers::setSystemLog(nullptr);
        m_log.clear();
    }

    void choosers_data();
    void choosers();
    void unknownBrowserRunsNothing_data();
    void unknownBrowserRunsNothing();
    void runOutcome_data();
    void runOutcome();
    void callersTrimAndRejectBlank_data();
    void callersTrimAndRejectBlank();

private:
    RecordingSystemLog m_log;
};

void TestBrowserScripting::choosers_data()
{
    QTest::addColumn<QString>("bundleID");
    QTest::addColumn<bool>("address");
    QTest::addColumn<bool>("title");
    QTest::addColumn<bool>("selection");
    QTest::newRow("Safari") << u"com.apple.Safari"_qs << true << true << true;
    QTest::newRow("Brave") << u"com.brave.Browser"_qs << true << true << true;
    QTest::newRow("Firefox has no selection script") << u"org.mozilla.firefox"_qs << true << true << false;
    QTest::newRow("empty identifier") << QString() << false << false << false;
    QTest::newRow("case differs") << u"com.google.chrome"_qs << false << false << false;
    QTest::newRow("trailing space") << u"com.apple.Safari "_qs << false << false << false;
    QTest::newRow("other browser") << u"org.gnome.Epiphany"_qs << false << false << false;
}

void TestBrowserScripting::choosers()
{
    QFETCH(QString, bundleID);
    QFETCH(bool, address);
    QFETCH(bool, title);
    QFETCH(bool, selection);
    QCOMPARE(BrowserURLProvider::script(bundleID).has_value(), address);
    QCOMPARE(BrowserURLProvider::titleScript(bundleID).has_value(), title);
    QCOMPARE(BrowserSelectionProvider::script(bundleID).has_value(), selection);
    if (BrowserScripting::chromiumBundleIDs().contains(bundleID)) {
        const QString tell = u"tell application id \""_qs + bundleID + u'"';
        QVERIFY(BrowserURLProvider::script(bundleID)->startsWith(tell + u'\n'));
        QVERIFY(BrowserSelectionProvider::script(bundleID)->startsWith(tell + u'\n'));
    }
}

void TestBrowserScripting::unknownBrowserRunsNothing_data()
{
    QTest::addColumn<QString>("bundleID");
    QTest::newRow("empty") << QString();
    QTest::newRow("text editor") << u"org.gnome.TextEditor"_qs;
}

void TestBrowserScripting::unknownBrowserRunsNothing()
{
    QFETCH(QString, bundleID);
    FakeScriptRunner runner(finished("https://example.com/\n"));
    QCOMPARE(BrowserURLProvider::currentURL(bundleID, runner), OptionalString());
    QCOMPARE(BrowserURLProvider::currentPageTitle(bundleID, runner), OptionalString());
    QCOMPARE(BrowserSelectionProvider::currentSelectionText(bundleID, runner), OptionalString());
    QVERIFY(runner.scripts.isEmpty());
    // Firefox gives no selection script, so nothing runs for it either.
    QCOMPARE(BrowserSelectionProvider::currentSelectionText(u"org.mozilla.firefox"_qs, runner), OptionalString());
    QVERIFY(runner.scripts.isEmpty());
}

void TestBrowserScripting::runOutcome_data()
{
    QTest::addColumn<ScriptRunner::Outcome>("outcome");
    QTest::addColumn<OptionalString>("expected");
    QTest::addColumn<QList<SystemLogEntry>>("logged");
    using L = QList<SystemLogEntry>;
    const auto error = SystemLogLevel::error;

    QTest::newRow("output returned unchanged") << finished("  Title \n") << OptionalString(u"  Title \n"_qs) << L {};
    QTest::newRow("output wins over error text") << finished("x", "warning") << OptionalString(u"x"_qs) << L {};
    QTest::newRow("error text only") << finished("", "execution error: -1728") << OptionalString(u""_qs)
                                     << L {entry(SystemLogLevel::debug, u"osascript: execution error: -1728"_qs)};
    QTest::newRow("nothing at all") << finished("") << OptionalString(u""_qs) << L {};
    QTest::newRow("invalid UTF-8 output") << finished("ab\xff") << OptionalString() << L {};
    QTest::newRow("invalid UTF-8 output, error text")
        << finished("\xc3", "boom") << OptionalString() << L {entry(SystemLogLevel::debug, u"osascript: boom"_qs)};

    ScriptRunner::Outcome timedOut;
    timedOut.status = ScriptRunner::Status::timedOut;
    QTest::newRow("timed out") << timedOut << OptionalString()
                               << L {entry(error, u"osascript timed out for browser URL"_qs)};
    ScriptRunner::Outcome failed;
    failed.status = ScriptRunner::Status::failedToStart;
    failed.errorText = u"No such file or directory"_qs;
    QTest::newRow("failed to start") << failed << OptionalString()
                                     << L {entry(error, u"osascript failed to launch: No such file or directory"_qs)};
    QTest::newRow("no runner on this system") << ScriptRunner::Outcome {} << OptionalString() << L {};
    ScriptRunner::Outcome tooMuch = finished(QByteArray(100, 'a'));
    tooMuch.outputTooLarge = true;
    QTest::newRow("cut output is dropped")
        << tooMuch << OptionalString() << L {entry(error, u"osascript output too large"_qs)};
}

void TestBrowserScripting::runOutcome()
{
    QFETCH(ScriptRunner::Outcome, outcome);
    QFETCH(OptionalString, expected);
    QFETCH(QList<SystemLogEntry>, logged);
    FakeScriptRunner runner(outcome);
    QCOMPARE(BrowserURLProvider::runOSAScript(u"script"_qs, runner), expected);
    QCOMPARE(runner.scripts, QStringList {u"script"_qs});
    QCOMPARE(runner.limits.value(0), std::chrono::milliseconds(1500));
    QCOMPARE(m_log.entries(), logged);
}

void TestBrowserScripting::callersTrimAndRejectBlank_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<OptionalString>("url");
    QTest::addColumn<OptionalString>("text"); // title and selection
    QTest::newRow("address with spaces around")
        << QByteArray("  https://example.com/a?b=c#d\n") << OptionalString(u"https://example.com/a?b=c#d"_qs)
        << OptionalString(u"https://example.com/a?b=c#d"_qs);
    QTest::newRow("host case kept") << QByteArray("https://Example.COM/Path\n")
                                    << OptionalString(u"https://Example.COM/Path"_qs)
                                    << OptionalString(u"https://Example.COM/Path"_qs);
    QTest::newRow("blank output") << QByteArray(" \n\t\n") << OptionalString() << OptionalString();
    QTest::newRow("not an address") << QByteArray("http://exa mple.com/\n") << OptionalString()
                                    << OptionalString(u"http://exa mple.com/"_qs);
    QTest::newRow("text with inner lines")
        << QByteArray("\n line one\nline two \n") << OptionalString() << OptionalString(u"line one\nline two"_qs);
}

void TestBrowserScripting::callersTrimAndRejectBlank()
{
    QFETCH(QByteArray, output);
    QFETCH(OptionalString, url);
    QFETCH(OptionalString, text);
    FakeScriptRunner runner(finished(output));
    const QString chrome = u"com.google.Chrome"_qs;
    QCOMPARE(BrowserURLProvider::currentURL(chrome, runner), url);
    QCOMPARE(BrowserURLProvider::currentPageTitle(chrome, runner), text);
    QCOMPARE(BrowserSelectionProvider::currentSelectionText(chrome, runner), text);
    const QStringList expectedScripts = {*BrowserURLProvider::script(chrome), *BrowserURLProvider::titleScript(chrome),
        *BrowserSelectionProvider::script(chrome)};
    QCOMPARE(runner.scripts, expectedScripts);
}

TESSELLON_TEST_MAIN(TestBrowserScripting)
#include "tst_BrowserScripting.moc"
