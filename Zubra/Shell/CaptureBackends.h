#pragma once
// The capture's desktop services and the runner that captures through them, one capture at a
// time, off the GUI thread. Each capture shares the ownership of the services, so that nothing
// it uses is destroyed under it: one still running when this goes keeps them until it ends, and
// they are then destroyed on the capture's thread. The program never lets that happen (some
// services must go on the GUI thread): when quitting gave up waiting for a capture, main ends
// the process without its teardown, and the services go with it.

#include "Zubra/Shell/CaptureFlow.h"
#include "ZubraCore/Capture/CaptureRunner.h"

#include <exception>
#include <memory>
#include <optional>
#include <utility>

// Services: made on the GUI thread (the clipboard must be); `CaptureOutcome capture()` runs on
// the runner's worker.
template <typename Services> class CaptureBackends
{
public:
    template <typename... Arguments>
    explicit CaptureBackends(Arguments&&... arguments)
        : m_services(std::make_shared<Services>(std::forward<Arguments>(arguments)...))
    {
    }

    Services& services() const { return *m_services; }
    CaptureRunner& runner() { return m_runner; }

    // Starts a capture unless one runs; the completion comes on the GUI thread, unless this is
    // gone by then. A throw of the capture arrives as an unexpected failure, and so does a start
    // refused while another capture runs (whose outcome goes to its own completion only).
    void start(CaptureFlow::Completion completion)
    {
        // A failure that is not a capture error travels beside the outcome.
        auto unexpected = std::make_shared<std::optional<QString>>();
        const bool started = m_runner.start([services = m_services, unexpected]() -> CaptureOutcome {
            try {
                return services->capture();
            } catch (const std::exception& error) {
                *unexpected = QString::fromLocal8Bit(error.what());
            } catch (...) {
                *unexpected = QStringLiteral("unknown error");
            }
            return CaptureError::noSelection({});
        });
        if (!started) {
            QMetaObject::invokeMethod(
                &m_runner,
                [completion = std::move(completion)] {
                    completion(CaptureFlow::UnexpectedFailure {QStringLiteral("Another capture is still running.")});
                },
                Qt::QueuedConnection);
            return;
        }
        // The outcome is posted to this thread, so it cannot arrive before this connection.
        QObject::connect(
            &m_runner, &CaptureRunner::finished, &m_runner,
            [completion = std::move(completion), unexpected](const CaptureOutcome& outcome) {
                if (*unexpected)
                    completion(CaptureFlow::UnexpectedFailure {**unexpected});
                else if (const auto* result = std::get_if<CaptureResult>(&outcome))
                    completion(*result);
                else
                    completion(std::get<CaptureError>(outcome));
            },
            Qt::SingleShotConnection);
    }

private:
    std::shared_ptr<Services> m_services;
    // Destroyed first: a capture still running keeps the services through its own share.
    CaptureRunner m_runner;
};
