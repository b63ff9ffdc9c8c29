#include "Zubra/Shell/TerminationSignals.h"

#include "Platform/ThreadName.h"
#include "ZubraCore/Support/Logging.h"

#include <QMetaObject>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
constexpr std::array handledSignals {SIGTERM, SIGINT, SIGHUP};
// Written by the destructor: the watching thread ends.
constexpr unsigned char stopByte = 0;

extern "C" void onTerminationSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void setHandlers(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : handledSignals)
        ::sigaction(number, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(LastWrites lastWrites, QObject* parent)
    : QObject(parent)
    , m_lastWrites(std::move(lastWrites))
{
    // The read end blocks (the watching thread sleeps on it); the handler's write never does.
    if (::pipe2(signalPipe, O_CLOEXEC) != 0 || ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK) != 0) {
        logMP(QStringLiteral("Termination signals are not handled: no pipe"));
        return;
    }
    try {
        m_watcher = std::thread([this] {
            ThreadName::setCurrent("Signal watcher");
            watch();
        });
    } catch (const std::system_error&) {
        logMP(QStringLiteral("Termination signals are not handled: no thread"));
        return;
    }
    setHandlers(onTerminationSignal);
}

TerminationSignals::~TerminationSignals()
{
    if (signalPipe[0] < 0)
        return;
    if (m_watcher.joinable()) {
        setHandlers(SIG_DFL);
        // The thread ends when it reads this byte.
        while (::write(signalPipe[1], &stopByte, 1) < 0 && errno == EINTR) {
        }
        m_watcher.join();
    }
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TerminationSignals::watch()
{
    bool handedOver = false;
    while (true) {
        unsigned char byte = 0;
        const ssize_t count = ::read(signalPipe[0], &byte, 1);
        if (count < 0 && errno == EINTR)
            continue;
        if (count != 1 || byte == stopByte)
            return;
        if (!handedOver) {
            handedOver = true;
            const int number = byte;
            QMetaObject::invokeMethod(
                this, [this, number] { emit terminationRequested(number); }, Qt::QueuedConnection);
            continue;
        }
        // The GUI thread has not ended the process since the first signal: it may be blocked.
        if (m_lastWrites)
            m_lastWrites();
        std::_Exit(128 + byte);
    }
}
