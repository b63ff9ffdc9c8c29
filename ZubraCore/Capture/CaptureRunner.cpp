#include "ZubraCore/Capture/CaptureRunner.h"

#include <QEventLoop>
#include <QTimer>
#include <mutex>

// What the worker reaches the runner through: the runner clears `receiver` before it goes, under
// the mutex, so a late outcome is dropped instead of posted to a destroyed object.
struct CaptureRunner::Channel
{
    std::mutex mutex;
    CaptureRunner* receiver = nullptr;
};

CaptureRunner::CaptureRunner(QObject* parent)
    : QObject(parent)
    , m_channel(std::make_shared<Channel>())
{
    m_channel->receiver = this;
}

CaptureRunner::~CaptureRunner()
{
    {
        const std::lock_guard lock(m_channel->mutex);
        m_channel->receiver = nullptr;
    }
    if (m_worker.joinable()) {
        if (m_busy)
            m_worker.detach(); // the job holds what it uses, and the outcome finds no receiver
        else
            m_worker.join();
    }
}

bool CaptureRunner::start(Job job)
{
    if (m_busy)
        return false;
    if (m_worker.joinable())
        m_worker.join(); // the previous capture has delivered, so its thread has ended or is ending
    setBusy(true);
    m_worker = std::thread([channel = m_channel, job = std::move(job)] {
        const CaptureOutcome outcome = job();
        const std::lock_guard lock(channel->mutex);
        if (CaptureRunner* runner = channel->receiver) {
            QMetaObject::invokeMethod(
                runner, [runner, outcome] { runner->deliver(outcome); }, Qt::QueuedConnection);
        }
    });
    return true;
}

void CaptureRunner::deliver(const CaptureOutcome& outcome)
{
    setBusy(false);
    emit finished(outcome);
}

void CaptureRunner::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

bool CaptureRunner::waitForIdle(std::chrono::milliseconds limit)
{
    if (!m_busy)
        return true;
    QEventLoop loop;
    connect(this, &CaptureRunner::busyChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return !m_busy;
}
