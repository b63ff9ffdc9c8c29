#include "Platform/MainQueue.h"

#include <QCoreApplication>
#include <QTimer>

namespace {
class EventLoopQueue final : public MainQueue
{
public:
    Duration now() const override { return std::chrono::steady_clock::now() - m_origin; }

    void asyncAfter(Duration delay, std::shared_ptr<DispatchWorkItem> item) override
    {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, Duration::zero()));
        QTimer::singleShot(ms, Qt::PreciseTimer, QCoreApplication::instance(), [item] { item->perform(); });
    }

private:
    const std::chrono::steady_clock::time_point m_origin = std::chrono::steady_clock::now();
};
} // namespace

std::shared_ptr<MainQueue> MainQueue::system()
{
    static const auto queue = std::make_shared<EventLoopQueue>();
    return queue;
}
