#pragma once
// Runs one capture at a time on a worker thread and hands its outcome back on the thread the
// runner lives on (the GUI thread), whose event loop stays free meanwhile: the clipboard
// backend answers the worker through it. Quitting waits for a running capture, bounded, with
// the event loop running, so that the capture can restore the user's clipboard.

#include "ZubraCore/Capture/CaptureResult.h"

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class CaptureRunner : public QObject
{
    Q_OBJECT

public:
    // What one capture does; runs on the worker thread and must not throw. It owns (or shares)
    // everything it uses: the runner may go while it runs.
    using Job = std::function<CaptureOutcome()>;

    explicit CaptureRunner(QObject* parent = nullptr);
    // A capture still running is left to finish on its own thread, with what its job holds; its
    // outcome is dropped.
    ~CaptureRunner() override;

    bool isBusy() const { return m_busy; }

    // Starts the job unless one is running; returns whether it started.
    bool start(Job job);

    // Runs the event loop until no capture runs or the limit has passed; true when idle.
    bool waitForIdle(std::chrono::milliseconds limit);

signals:
    void busyChanged(bool busy);
    // The outcome of the job, after busy went back to false.
    void finished(const CaptureOutcome& outcome);

private:
    struct Channel;
    void deliver(const CaptureOutcome& outcome);
    void setBusy(bool busy);

    bool m_busy = false;
    std::shared_ptr<Channel> m_channel;
    std::thread m_worker;
};
