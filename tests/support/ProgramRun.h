#pragma once
// One start of the built program (TESSELLON_PROGRAM) in a private home of its own: its data,
// settings, state, cache, log and runtime folders inside that home unless the test names
// others, its standard streams forwarded, killed when the run goes while it still runs.

#include "support/LibraryFixtures.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <functional>
#include <sys/stat.h>

struct ProgramRun
{
    QTemporaryDir home;
    QProcess app;
    QString logFolder = path(QStringLiteral("log"));

    QString path(const QString& relative) const { return home.filePath(relative); }
    QString libraryFolder() const { return path(QStringLiteral("data/Tessellon")); }
    QString libraryPath() const { return libraryFolder() + QStringLiteral("/Tessellon.json"); }
    QString settingsPath() const { return path(QStringLiteral("config/vesk/Tessellon.conf")); }
    QString logText() const
    {
        return QString::fromUtf8(LibraryFixtures::readFile(logFolder + QStringLiteral("/tessellon.log")));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), path(QStringLiteral("state")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("cache")));
        environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), logFolder);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        return environment;
    }

    // `prepare` runs in the started process before the program does (limits, standard streams);
    // it starts with the default dispositions of SIGPIPE and SIGXFSZ, as a shell's child does.
    bool start(const QStringList& arguments, const QProcessEnvironment& environment,
        const std::function<void()>& prepare = {}, const QString& workingFolder = {})
    {
        for (const char* folder : {"data", "config", "state", "log", "run"})
            QDir().mkpath(path(QString::fromLatin1(folder)));
        ::chmod(QFile::encodeName(path(QStringLiteral("run"))).constData(), 0700);
        app.setProcessEnvironment(environment);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        if (!workingFolder.isEmpty())
            app.setWorkingDirectory(workingFolder);
        app.setChildProcessModifier([prepare] {
            ::signal(SIGPIPE, SIG_DFL);
            ::signal(SIGXFSZ, SIG_DFL);
            if (prepare)
                prepare();
        });
        app.start(QStringLiteral(TESSELLON_PROGRAM), arguments);
        return app.waitForStarted(5000);
    }
    bool start(const QStringList& arguments = {}) { return start(arguments, environment()); }

    bool waitForLog(const QString& line, int timeoutMs = 15000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (logText().contains(line))
                return true;
            if (app.state() == QProcess::NotRunning)
                return false;
            QTest::qWait(5);
        }
        return false;
    }

    void signal(int number) { ::kill(pid_t(app.processId()), number); }

    // How long a quit may take before it counts as hung: it syncs the library and the settings,
    // and a busy disk may hold each sync for most of a second.
    static constexpr std::chrono::milliseconds hangBound {30000};

    // SIGTERM, the quit that saves; true when the program ended by itself with status 0.
    bool quit()
    {
        signal(SIGTERM);
        return app.waitForFinished(int(hangBound.count())) && app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
    }

    ~ProgramRun()
    {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(5000);
        }
    }
};
