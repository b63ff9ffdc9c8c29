#pragma once
// The capture's desktop services and the runner that captures through them, one capture at a
// time, off the GUI thread. Each capture shares the ownership of the services: one still running
// when this goes (quitting gave up waiting for it) keeps them until it ends, so nothing it uses
// is destroyed under it; they are then destroyed on the capture's thread.

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
    // gone by then. A throw of the capture arrives as an unexpected failure.
    void start(CaptureFlow::Completion completion)
    {
        // A failure that is not a capture error travels beside the outcome.
        auto unexpected = std::make_shared<std::optional<QString>>();
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
        m_runner.start([services = m_services, unexpected]() -> CaptureOutcome {
            try {
                return services->capture();
            } catch (const std::exception& error) {
                *unexpected = QString::fromLocal8Bit(error.what());
            } catch (...) {
                *unexpected = QStringLiteral("unknown error");
            }
            return CaptureError::noSelection({});
        });
    }

private:
    std::shared_ptr<Services> m_services;
    // Destroyed first: a capture still running keeps the services through its own share.
    CaptureRunner m_runner;
};
