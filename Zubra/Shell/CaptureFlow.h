#pragma once
// The road of one capture: whether it may start, the capture itself away from the GUI thread,
// and back on the GUI thread the new selection in the library (and in the prompt when
// collecting), a toast, a sound and a log line. One capture at a time.

#include "ZubraCore/Capture/CaptureResult.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <optional>
#include <variant>

class Feedback;
class Store;
class Workspace;
struct CaptureToastView;
struct Selection;

class CaptureFlow final : public QObject
{
    Q_OBJECT

public:
    // The background work failed in a way that is not a capture error.
    struct UnexpectedFailure
    {
        QString description;
    };
    // The outcome of the background work.
    using Outcome = std::variant<CaptureResult, CaptureError, UnexpectedFailure>;
    using Completion = std::function<void(Outcome)>;

    struct Services
    {
        Store& store;
        Workspace& workspace; // the frontmost application
        Feedback& feedback;
        std::function<bool()> isTrusted;
        std::function<void()> showMainWindow;
        std::function<void()> showAccessibilityPrompt;
        std::function<void(const CaptureToastView&)> presentToast;
        std::function<void(const Selection&, bool addedToPrompt)> showSavedToast;
        // Starts one capture off the GUI thread; the completion must be called once, on the GUI
        // thread (it may be called after this flow is gone: it then does nothing).
        std::function<void(Completion)> startCapture;
        std::function<QDateTime()> now; // none: the current time
        qint64 ownProcessIdentifier = 0; // none: this process
    };

    static constexpr char16_t nothingSaved[] = u"Nothing saved";

    explicit CaptureFlow(Services services, QObject* parent = nullptr);

    // Main thread only: the hotkey, the status menu, the library window and the launch flag.
    void captureNow();
    bool isCapturing() const { return m_isCapturing; }
    // Keeps the event loop running until the capture under way has ended (the clipboard is put
    // back on this thread) or the bound has passed; true when none is running any more.
    bool waitUntilIdle(std::chrono::milliseconds bound);

    // The sentence a failed capture shows (a capture error's own, else a general one).
    static QString failureSnippet(const CaptureError* error);

signals:
    // A capture ended, whatever its outcome.
    void captureFinished();

private:
    void complete(Outcome outcome);
    void refuse(const QString& snippet);
    bool ownApplicationInFront();

    Services m_services;
    bool m_isCapturing = false;
};
