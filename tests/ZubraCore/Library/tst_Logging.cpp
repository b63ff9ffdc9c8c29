#include "support/TestMain.h"

#include "Platform/PosixTestGuards.h"
#include "support/RecordingSystemLog.h"
#include "Platform/X11/SyslogSystemLog.h"
#include "ZubraCore/Support/LogFile.h"
#include "ZubraCore/Support/Logging.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <sys/stat.h>

namespace {

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Drops the "[time] " stamp after checking its form.
QString withoutStamp(const QString& line)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\\] "));
    const QRegularExpressionMatch match = stamp.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : QStringLiteral("<no stamp> ") + line;
}

enum class Describable { first = 7 };

} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void init() { Loggers::setSystemLog(&m_log); }
    void cleanup()
    {
        Loggers::setSystemLog(nullptr);
        m_log.clear();
    }

    void categoryLoggersFileTheirEntries()
    {
        Loggers::capture().notice(QStringLiteral("captured"));
        Loggers::store().error(QStringLiteral("The store failed."), QStringLiteral("disk full"));
        Loggers::hotkey().debug(QStringLiteral("pressed"));
        Loggers::app().notice(QStringLiteral("up"));
        logMP(QStringLiteral("Capture finished"), 2);

        const QList<SystemLogEntry> expected {
            {QStringLiteral("capture"), SystemLogLevel::notice, QStringLiteral("captured"), {}},
            {QStringLiteral("store"), SystemLogLevel::error, QStringLiteral("The store failed."),
                QStringLiteral("disk full")},
            {QStringLiteral("hotkey"), SystemLogLevel::debug, QStringLiteral("pressed"), {}},
            {QStringLiteral("app"), SystemLogLevel::notice, QStringLiteral("up"), {}},
            {QStringLiteral("app"), SystemLogLevel::debug, QStringLiteral("Capture finished 2"), {}},
        };
        QCOMPARE(m_log.entries(), expected);
    }

    void syslogLinesLeaveOutPrivateParts()
    {
        const SystemLogEntry entry {QStringLiteral("store"), SystemLogLevel::error,
            QStringLiteral("The store backup is unavailable or unreadable."),
            QStringLiteral("/home/someone/secret.json: No such file")};
        QCOMPARE(
            SyslogSystemLog::formatLine(entry), QByteArray("[store] The store backup is unavailable or unreadable."));
    }

    void logMPAppendsDescriptions_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        const QUuid id = QUuid::fromString(QStringLiteral("{6f1c2b3a-0d4e-4f50-9a61-b7c8d9e0f1a2}"));
        const QDateTime time(QDate(2025, 3, 14), QTime(9, 26, 53, 870), Qt::UTC);
        const auto line = [](auto&&... values) {
            Loggers::setSystemLog(nullptr);
            RecordingSystemLog log;
            Loggers::setSystemLog(&log);
            logMP(QStringLiteral("Saved"), values...);
            Loggers::setSystemLog(nullptr);
            return log.entries().value(0).publicPart;
        };
        QTest::newRow("no values") << line() << QStringLiteral("Saved");
        QTest::newRow("numbers") << line(3, -2.5, qsizetype(70000)) << QStringLiteral("Saved 3 -2.5 70000");
        QTest::newRow("texts") << line(QStringLiteral("a b"), "c\u00e9") << QStringLiteral("Saved a b c\u00e9");
        QTest::newRow("characters") << line('a', QChar(u'\u00e9')) << QStringLiteral("Saved a \u00e9");
        QTest::newRow("bool") << line(true, false) << QStringLiteral("Saved true false");
        QTest::newRow("uuid") << line(id) << QStringLiteral("Saved 6F1C2B3A-0D4E-4F50-9A61-B7C8D9E0F1A2");
        QTest::newRow("date") << line(time) << QStringLiteral("Saved 2025-03-14T09:26:53Z");
        QTest::newRow("optional") << line(std::optional<int>(4), std::optional<int>())
                                  << QStringLiteral("Saved 4 none");
        QTest::newRow("enum") << line(Describable::first) << QStringLiteral("Saved 7");
        QTest::newRow("list") << line(QStringList {QStringLiteral("x"), QStringLiteral("y")})
                              << QStringLiteral("Saved QList(x, y)");
    }

    void logMPAppendsDescriptions()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        QCOMPARE(line, expected);
    }

    void formatLine_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("utc, fraction dropped")
            << QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53, 870), Qt::UTC) << QStringLiteral("Saved.")
            << QByteArray("[2025-03-14T09:26:53Z] Saved.\n");
        QTest::newRow("offset converted to utc") << QDateTime(QDate(2025, 1, 1), QTime(1, 0, 0), Qt::OffsetFromUTC,
            2 * 3600) << QStringLiteral("x") << QByteArray("[2024-12-31T23:00:00Z] x\n");
        QTest::newRow("utf-8") << QDateTime(QDate(2025, 3, 14), QTime(0, 0, 0), Qt::UTC)
                               << QStringLiteral("caf\u00e9 \u2014 ok")
                               << QByteArray("[2025-03-14T00:00:00Z] caf\xc3\xa9 \xe2\x80\x94 ok\n");
    }

    void formatLine()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, message);
        QFETCH(QByteArray, expected);
        QCOMPARE(LogFile::formatLine(time, message), expected);
    }

    // Two writers that opened the same file (a second instance handing off while the first
    // logs) must both keep their lines: each write lands at the end of the file as it is then.
    void twoWritersKeepEveryLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tessellon.log"));
        {
            QFile existing(path);
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write("old line\n");
        }
        LogFile first, second;
        QVERIFY(!first.open(path));
        QVERIFY(!second.open(path));
        QStringList expected {QStringLiteral("old line")};
        for (int i = 0; i < 50; ++i) {
            const LogFile& writer = i % 3 == 0 ? second : first;
            const QString line = QStringLiteral("line ") + QString::number(i);
            QVERIFY(writer.append(line.toUtf8() + '\n'));
            expected.append(line);
        }
        QCOMPARE(readLines(path), expected);
    }

    void openFailsOnFolder()
    {
        QTemporaryDir dir;
        LogFile file;
        const std::optional<QString> failure = file.open(dir.path());
        QVERIFY(failure.has_value());
        QVERIFY(!failure->isEmpty());
        QVERIFY(!file.isOpen());
        QVERIFY(!file.append("x\n"));
    }

    // In a shared log folder another user may plant a link at the log's name: it is never
    // followed, wherever it points.
    void openRefusesLinks_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("link to a file") << true;
        QTest::newRow("link to nothing yet") << false;
    }

    void openRefusesLinks()
    {
        QFETCH(bool, targetExists);
        QTemporaryDir dir;
        const QString victim = dir.filePath(QStringLiteral("victim"));
        if (targetExists) {
            QFile file(victim);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("precious\n") == 9);
        }
        const QString path = dir.filePath(QStringLiteral("tessellon.log"));
        QVERIFY(QFile::link(victim, path));
        LogFile log;
        QVERIFY(log.open(path).has_value());
        QVERIFY(!log.append("planted line\n"));
        QFile file(victim);
        if (targetExists) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("precious\n"));
        } else {
            QVERIFY(!file.exists());
        }
    }

    void newFileIsPrivate_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("umask 022") << 022;
        QTest::newRow("umask 077") << 077;
    }

    void newFileIsPrivate()
    {
        QFETCH(int, mask);
        const UmaskGuard guard {mode_t(mask)};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tessellon.log"));
        {
            LogFile log;
            QVERIFY(!log.open(path));
            QVERIFY(log.append("line\n"));
        }
        QCOMPARE(permissionsOf(path), mode_t(0600));
        // An existing file is appended to and keeps the mode its owner gave it.
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        LogFile again;
        QVERIFY(!again.open(path));
        QVERIFY(again.append("more\n"));
        QCOMPARE(permissionsOf(path), mode_t(0640));
        QCOMPARE(readLines(path), QStringList({QStringLiteral("line"), QStringLiteral("more")}));
    }

    void logDirectory_data()
    {
        QTest::addColumn<QByteArray>("logDir");
        QTest::addColumn<QByteArray>("stateHome");
        QTest::addColumn<QString>("expected");
        const QString home = QDir::homePath();
        QTest::newRow("log dir wins") << QByteArray("/var/tmp/logs") << QByteArray("/state")
                                      << QStringLiteral("/var/tmp/logs");
        QTest::newRow("log dir taken as given") << QByteArray("~/x/../y") << QByteArray() << QStringLiteral("~/x/../y");
        QTest::newRow("empty log dir ignored")
            << QByteArray("") << QByteArray("/state") << QStringLiteral("/state/Tessellon");
        QTest::newRow("default") << QByteArray() << QByteArray() << home + QStringLiteral("/.local/state/Tessellon");
        QTest::newRow("relative state home ignored")
            << QByteArray() << QByteArray("relative/state") << home + QStringLiteral("/.local/state/Tessellon");
    }

    void logDirectory()
    {
        QFETCH(QByteArray, logDir);
        QFETCH(QByteArray, stateHome);
        QFETCH(QString, expected);
        const EnvironmentGuard guard {"TESSELLON_LOG_DIR", "XDG_STATE_HOME"};
        // A null array stands for an unset variable, an empty one for a set but empty variable.
        logDir.isNull() ? qunsetenv("TESSELLON_LOG_DIR") : qputenv("TESSELLON_LOG_DIR", logDir);
        stateHome.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", stateHome);
        QCOMPARE(FileLogger::logDirectory(), expected);
        QCOMPARE(FileLogger::logFilePath(), expected + QStringLiteral("/tessellon.log"));
    }

    // The file logger is process-wide, so its whole life is one test: a failed start, lines
    // dropped before a successful one, then ordered lines from several threads.
    void fileLoggerLifecycle()
    {
        QTemporaryDir dir;
        const EnvironmentGuard guard {"TESSELLON_LOG_DIR"};
        QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("TESSELLON_LOG_DIR", blocker.fileName().toUtf8() + "/logs");
        QVERIFY(!FileLogger::start());

        const QString folder = dir.filePath(QStringLiteral("state/logs"));
        qputenv("TESSELLON_LOG_DIR", folder.toUtf8());
        FileLogger::log(QStringLiteral("before start"));
        FileLogger::flush();
        {
            const UmaskGuard mask {022};
            QVERIFY(FileLogger::start());
        }
        QVERIFY(FileLogger::start());
        const QString path = folder + QStringLiteral("/tessellon.log");
        QVERIFY(QFile::exists(path));
        // The folders made for the log, and the log itself, are private.
        QCOMPARE(permissionsOf(dir.filePath(QStringLiteral("state"))), mode_t(0700));
        QCOMPARE(permissionsOf(folder), mode_t(0700));
        QCOMPARE(permissionsOf(path), mode_t(0600));

        FileLogger::log(QStringLiteral("first"));
        logMP(QStringLiteral("second"), 2);
        QList<QThread*> threads;
        for (int t = 0; t < 4; ++t) {
            threads.append(QThread::create([t] {
                for (int i = 0; i < 100; ++i)
                    FileLogger::log(QStringLiteral("thread %1 line %2").arg(t).arg(i));
            }));
            threads.last()->start();
        }
        for (QThread* thread : threads) {
            QVERIFY(thread->wait(10000));
            delete thread;
        }
        FileLogger::flush();

        QStringList lines;
        for (const QString& line : readLines(path))
            lines.append(withoutStamp(line));
        QCOMPARE(lines.size(), 402);
        QCOMPARE(lines.mid(0, 2), QStringList({QStringLiteral("first"), QStringLiteral("second 2")}));
        for (int t = 0; t < 4; ++t) {
            const QString prefix = QStringLiteral("thread %1 ").arg(t);
            QStringList ofThread;
            for (const QString& line : lines)
                if (line.startsWith(prefix))
                    ofThread.append(line);
            QCOMPARE(ofThread.size(), 100);
            for (int i = 0; i < 100; ++i)
                QCOMPARE(ofThread[i], prefix + QStringLiteral("line ") + QString::number(i));
        }
    }

private:
    RecordingSystemLog m_log;
};

TESSELLON_TEST_MAIN(TestLogging)
#include "tst_Logging.moc"
