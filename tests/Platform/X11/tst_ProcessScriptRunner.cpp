#include "support/TestMain.h"

#include "support/RecordingSystemLog.h"
#include "Platform/X11/ProcessScriptRunner.h"
#include "Platform/X11/UnavailableScriptRunner.h"
#include "ZubraCore/Capture/BrowserScripting.h"
#include "ZubraCore/Support/Logging.h"

#include <QElapsedTimer>

using namespace std::chrono_literals;
using Status = ScriptRunner::Status;

// The shell stands in for the script runner program: `/bin/sh -c <script>`.
class TestProcessScriptRunner : public QObject
{
    Q_OBJECT

private slots:
    void outputs_data();
    void outputs();
    void outputPastTheCapIsFlagged();
    void programThatCannotStart();
    void largeBrowserAnswerArrivesWhole();
    void unavailableRunnerStartsNothing();
};

void TestProcessScriptRunner::outputs_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");

    QTest::newRow("output") << u"printf 'hello\\n'"_qs << 5000 << Status::finished << QByteArray("hello\n")
                            << QByteArray();
    QTest::newRow("error output only") << u"printf oops >&2; exit 1"_qs << 5000 << Status::finished << QByteArray()
                                       << QByteArray("oops");
    QTest::newRow("bytes that are not UTF-8")
        << u"printf '\\377\\376'"_qs << 5000 << Status::finished << QByteArray("\xff\xfe") << QByteArray();
    // Four times the pipe buffer: read only after the end, the child would block until killed.
    QTest::newRow("output over 64 KiB") << u"head -c 262144 /dev/zero | tr '\\0' x"_qs << 10000 << Status::finished
                                        << QByteArray(262144, 'x') << QByteArray();
    QTest::newRow("error output over 64 KiB, then output")
        << u"head -c 262144 /dev/zero | tr '\\0' e >&2; printf done"_qs << 10000 << Status::finished
        << QByteArray("done") << QByteArray(262144, 'e');
    QTest::newRow("outlives the limit") << u"printf partial; exec sleep 30"_qs << 300 << Status::timedOut
                                        << QByteArray() << QByteArray();
}

void TestProcessScriptRunner::outputs()
{
    QFETCH(QString, script);
    QFETCH(int, limitMs);
    QFETCH(Status, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    ProcessScriptRunner runner(u"/bin/sh"_qs, {u"-c"_qs});
    const ScriptRunner::Outcome outcome = runner.run(script, std::chrono::milliseconds(limitMs));
    QCOMPARE(outcome.status, status);
    QCOMPARE(outcome.standardOutput, out);
    QCOMPARE(outcome.standardError, err);
    QVERIFY(!outcome.outputTooLarge);
}

void TestProcessScriptRunner::outputPastTheCapIsFlagged()
{
    ProcessScriptRunner runner(u"/bin/sh"_qs, {u"-c"_qs});
    const QString script = u"head -c "_qs + QString::number(ScriptRunner::maxOutputBytes + 1000)
        + u" /dev/zero | tr '\\0' z; printf tail >&2"_qs;
    const ScriptRunner::Outcome outcome = runner.run(script, 30s);
    QCOMPARE(outcome.status, Status::finished);
    QVERIFY(outcome.outputTooLarge);
    QCOMPARE(outcome.standardOutput.size(), ScriptRunner::maxOutputBytes);
    QCOMPARE(outcome.standardError, QByteArray("tail"));
}

void TestProcessScriptRunner::programThatCannotStart()
{
    ProcessScriptRunner runner(u"/nonexistent/osascript"_qs);
    const ScriptRunner::Outcome outcome = runner.run(u"return 1"_qs, 1500ms);
    QCOMPARE(outcome.status, Status::failedToStart);
    QVERIFY(!outcome.errorText.isEmpty());
}

void TestProcessScriptRunner::largeBrowserAnswerArrivesWhole()
{
    RecordingSystemLog log;
    Loggers::setSystemLog(&log);
    // A selection of 200,000 characters, then a line feed that the caller trims.
    ProcessScriptRunner runner(u"/bin/sh"_qs, {u"-c"_qs});
    const auto text = BrowserURLProvider::runOSAScript(u"head -c 200000 /dev/zero | tr '\\0' s; echo"_qs, runner);
    Loggers::setSystemLog(nullptr);
    QVERIFY(text.has_value());
    QCOMPARE(*text, QString(200000, u's') + u'\n');
    QVERIFY(log.entries().isEmpty());
}

void TestProcessScriptRunner::unavailableRunnerStartsNothing()
{
    RecordingSystemLog log;
    Loggers::setSystemLog(&log);
    UnavailableScriptRunner runner;
    const QString chrome = u"com.google.Chrome"_qs;
    QCOMPARE(runner.run(*BrowserURLProvider::script(chrome), 1500ms).status, Status::unavailable);
    QCOMPARE(BrowserURLProvider::currentURL(chrome, runner), std::optional<QString>());
    QCOMPARE(BrowserSelectionProvider::currentSelectionText(chrome, runner), std::optional<QString>());
    Loggers::setSystemLog(nullptr);
    QVERIFY(log.entries().isEmpty());
}

TESSELLON_TEST_MAIN(TestProcessScriptRunner)
#include "tst_ProcessScriptRunner.moc"
