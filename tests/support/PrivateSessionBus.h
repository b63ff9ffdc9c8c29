#pragma once
// A D-Bus session bus of the test's own, optionally with an accessibility bus launcher of its own
// on it (org.a11y.Bus). Both are this test's children: the launcher can be stopped (SIGSTOP) as a
// hung service would be, and everything is ended by its own handle when the object goes.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <signal.h>

class PrivateSessionBus
{
public:
    static QString launcherPath()
    {
        for (const char* path : {"/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher"})
            if (QFile::exists(QString::fromLatin1(path)))
                return QString::fromLatin1(path);
        return {};
    }

    // Starts the bus; with `launcher`, also the accessibility bus launcher on it. Check isRunning().
    explicit PrivateSessionBus(bool launcher)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() || !m_dir.isValid())
            return;
        QFile config(m_dir.filePath(QStringLiteral("session.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir="
            + m_dir.path().toUtf8()
            + "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
            {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--print-address"),
                QStringLiteral("--nofork")});
        if (!m_daemon.waitForReadyRead(5000))
            return;
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        if (!launcher || m_address.isEmpty())
            return;
        const QString path = launcherPath();
        if (path.isEmpty()) {
            m_address.clear();
            return;
        }
        // No display: the launcher would publish its bus on the session's root window. Its
        // switch is kept in memory: this bus starts no settings service to keep it in.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_launcher.setProcessEnvironment(environment);
        m_launcher.start(path, {QStringLiteral("--launch-immediately")});
        // Answering: the bus is there.
        QDBusConnection bus = connection();
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && !bus.interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus")).value())
            QTest::qWait(20);
        if (deadline.hasExpired())
            m_address.clear();
    }

    ~PrivateSessionBus()
    {
        if (m_launcher.state() != QProcess::NotRunning) {
            resume();
            m_launcher.terminate();
            if (!m_launcher.waitForFinished(5000))
                m_launcher.kill();
            m_launcher.waitForFinished(2000);
        }
        QDBusConnection::disconnectFromBus(connectionName);
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(2000);
        }
    }

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // This process's connection to the bus.
    QDBusConnection connection() const { return QDBusConnection::connectToBus(m_address, connectionName); }

    // The launcher stops answering, as a hung service does, and answers again.
    void stop() { signalLauncher(SIGSTOP); }
    void resume() { signalLauncher(SIGCONT); }

    static inline const QString connectionName = QStringLiteral("tessellon-test-private-session");

private:
    void signalLauncher(int number)
    {
        if (m_launcher.state() == QProcess::Running && m_launcher.processId() > 0)
            ::kill(pid_t(m_launcher.processId()), number);
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_launcher;
    QString m_address;
};
