#pragma once
// Other programs the X11 tests start and drive: the capture target window, desktop
// applications, xdotool and xclip. Each is this test's own child, ended by its own handle; every
// wait is bounded.

#include "Platform/X11/PrimarySelection.h"
#include "Platform/X11/XcbConnection.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <chrono>
#include <cstring>
#include <memory>

namespace X11Programs {

inline bool available(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// Runs a short command to its end, keeping the event loop going (this process may own a
// selection the command reads). Standard output, or nothing when it failed or took too long.
inline std::optional<QByteArray> run(
    const QString& program, const QStringList& arguments, int timeoutMs = 5000, const QByteArray& input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return std::nullopt;
    if (!input.isNull())
        process.write(input);
    process.closeWriteChannel();
    QDeadlineTimer deadline(timeoutMs);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(5);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// The id of a window the process shows, once the window manager lists it; empty after ten
// seconds.
inline QString windowOf(qint64 pid, int timeoutMs = 10000)
{
    auto x = XcbConnection::open();
    QDeadlineTimer deadline(timeoutMs);
    while (x && !deadline.hasExpired()) {
        const auto list = x->property(x->root(), x->atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 64 * 1024, 32);
        for (qsizetype i = 0; list && i + 4 <= list->size(); i += 4) {
            xcb_window_t window = 0;
            std::memcpy(&window, list->constData() + i, 4);
            if (x->processOf(window) == pid)
                return QString::number(window);
        }
        QTest::qWait(20);
    }
    return {};
}

// Asks the window manager to activate the window, waiting until it did.
inline bool activate(const QString& window)
{
    return run(QStringLiteral("xdotool"), {"windowactivate", "--sync", window}, 5000).has_value();
}

// Waits until the window is the active one.
inline bool waitUntilActive(const QString& window, int timeoutMs = 10000)
{
    auto x = XcbConnection::open();
    QDeadlineTimer deadline(timeoutMs);
    while (x && !deadline.hasExpired()) {
        if (x->activeWindow() == window.toUInt())
            return true;
        QTest::qWait(20);
    }
    return false;
}

// Activates the window and waits until it has stayed the active one for `settle`, activating it
// again when another window (one that a starting program shows late) takes the focus first.
inline bool activateAndHold(const QString& window, std::chrono::milliseconds settle = std::chrono::milliseconds(500))
{
    auto x = XcbConnection::open();
    const xcb_window_t wanted = window.toUInt();
    QDeadlineTimer deadline(10000);
    while (x && !deadline.hasExpired()) {
        if (!activate(window))
            return false;
        QDeadlineTimer held(settle);
        while (!held.hasExpired() && x->activeWindow() == wanted)
            QTest::qWait(20);
        if (held.hasExpired())
            return true;
    }
    return false;
}

// Presses a key chord in the active window ("ctrl+a").
inline bool key(const QString& chord)
{
    return run(QStringLiteral("xdotool"), {"key", chord}, 5000).has_value();
}

// Triple-clicks the middle of the window, which selects the line there in a terminal.
inline bool tripleClickMiddle(const QString& window)
{
    const auto shell = run(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", window});
    if (!shell)
        return false;
    int width = 0, height = 0;
    for (const QByteArray& line : shell->split('\n')) {
        if (line.startsWith("WIDTH="))
            width = line.mid(6).toInt();
        else if (line.startsWith("HEIGHT="))
            height = line.mid(7).toInt();
    }
    if (width <= 0 || height <= 0)
        return false;
    return run(QStringLiteral("xdotool"),
        {"mousemove", "--window", window, QString::number(width / 2), QString::number(height / 2), "click", "--repeat",
            "3", "--delay", "80", "1"})
        .has_value();
}

// Double-clicks the first word of the window's top line until the process owns PRIMARY (the
// shell may still be printing, the window still mapping). Attempts stay apart by more than
// xterm's multi-click time, so two double-clicks never merge into a triple. False after about
// fifteen seconds.
inline bool selectFirstWord(const QString& window, qint64 pid)
{
    auto x = XcbConnection::open();
    QDeadlineTimer deadline(15000);
    while (x && !deadline.hasExpired()) {
        activate(window);
        run(QStringLiteral("xdotool"),
            {"mousemove", "--window", window, "12", "8", "click", "--repeat", "2", "--delay", "40", "1"});
        for (int i = 0; i < 8; ++i) {
            QTest::qWait(50);
            if (PrimarySelection::ownerProcess(*x) == pid)
                return true;
        }
    }
    return false;
}

// A long-running child (a window, a selection owner), ended with the test.
class Child
{
public:
    Child() = default;
    Child(const Child&) = delete;
    ~Child() { stop(); }

    bool start(const QString& program, const QStringList& arguments, const QByteArray& input = {},
        bool closeInput = false, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::SeparateChannels);
        m_process->setProcessEnvironment(environment);
        m_process->start(program, arguments);
        if (!m_process->waitForStarted(5000))
            return false;
        if (!input.isEmpty())
            m_process->write(input);
        if (closeInput)
            m_process->closeWriteChannel();
        return true;
    }
    // Waits for a line of standard output that starts with the prefix; the rest of the line.
    std::optional<QByteArray> waitForLine(const QByteArray& prefix, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired() && m_process && m_process->state() == QProcess::Running) {
            while (m_process->canReadLine()) {
                const QByteArray line = m_process->readLine().trimmed();
                if (line.startsWith(prefix))
                    return line.mid(prefix.size()).trimmed();
            }
            QTest::qWait(10);
        }
        return std::nullopt;
    }
    qint64 pid() const { return m_process ? m_process->processId() : 0; }
    bool running() const { return m_process && m_process->state() == QProcess::Running; }
    void stop()
    {
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return;
        m_process->closeWriteChannel();
        m_process->terminate();
        if (!m_process->waitForFinished(2000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }

private:
    std::unique_ptr<QProcess> m_process;
};

// Serves a folder over HTTP on a loopback address (127.0.0.2 is another origin than 127.0.0.1);
// the origin ("http://127.0.0.1:PORT"), empty when the server did not come up.
inline QString serveFolder(Child& server, const QString& folder, const QString& address)
{
    if (!server.start(QStringLiteral("/usr/bin/python3"),
            {"-u", "-m", "http.server", "0", "--bind", address, "--directory", folder}))
        return {};
    const auto line = server.waitForLine("Serving HTTP on");
    const QByteArray port = line ? line->split(' ').value(2) : QByteArray();
    return port.isEmpty() ? QString() : QStringLiteral("http://") + address + u':' + QString::fromLatin1(port);
}

// Starts xterm showing one word and double-clicks it, so xterm owns PRIMARY.
inline bool startXtermWithWordSelected(Child& xterm, const QString& word, const QStringList& options = {})
{
    const QStringList arguments = QStringList {"-geometry", "40x5+0+0"} + options
        + QStringList {"-e", "sh", "-c", "trap '' INT; printf '%s\\n' " + word + "; while :; do sleep 1; done"};
    if (!xterm.start(QStringLiteral("xterm"), arguments))
        return false;
    const QString window = windowOf(xterm.pid());
    return !window.isEmpty() && selectFirstWord(window, xterm.pid());
}

} // namespace X11Programs
