#pragma once
// SIGTERM, SIGINT and SIGHUP (the terminal that started the program closed) end the program the
// way Quit does: the handler only writes a byte into a pipe, and a thread that waits on the pipe
// hands the signal to the GUI thread. A blocked GUI thread never makes the process deaf: the
// next signal ends it from that thread, after the last writes that are safe there.

#include <QObject>
#include <QString>
#include <functional>
#include <thread>

class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    // Runs on the watching thread, not the GUI thread, before a second signal ends the process.
    using LastWrites = std::function<void()>;

    // Installs the handlers for the life of the object; only one object may exist.
    explicit TerminationSignals(LastWrites lastWrites = {}, QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool isInstalled() const { return m_watcher.joinable(); }

signals:
    // On the GUI thread, once, for the first signal.
    void terminationRequested(int signalNumber);

private:
    void watch();

    LastWrites m_lastWrites;
    std::thread m_watcher;
};
