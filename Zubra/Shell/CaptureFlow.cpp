#include "Zubra/Shell/CaptureFlow.h"

#include "Platform/Feedback.h"
#include "Platform/Workspace.h"
#include "Platform/AppIdentity.h"
#include "Zubra/Shell/CaptureToast.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Support/Logging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

CaptureFlow::CaptureFlow(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    if (!m_services.now)
        m_services.now = [] { return QDateTime::currentDateTimeUtc(); };
    if (m_services.ownProcessIdentifier == 0)
        m_services.ownProcessIdentifier = QCoreApplication::applicationPid();
}

QString CaptureFlow::failureSnippet(const CaptureError* error)
{
    return error ? error->errorDescription() : QStringLiteral("Tessellon could not capture the selected text.");
}

void CaptureFlow::captureNow()
{
    if (m_isCapturing)
        return;
    // A library another session took for writing since the launch turns read-only here now, so
    // that the capture is refused rather than saved in memory only.
    m_services.store.claimLibraryForWriting();
    if (const auto blocked = m_services.store.persistenceStatus().blockedCaptureMessage()) {
        logMP(QStringLiteral("Capture refused: the library cannot be written"));
        m_services.showMainWindow();
        refuse(*blocked);
        return;
    }
    if (!m_services.isTrusted()) {
        logMP(QStringLiteral("Capture refused: the desktop's accessibility support is off"));
        m_services.showAccessibilityPrompt();
        return;
    }
    if (ownApplicationInFront()) {
        logMP(QStringLiteral("Capture refused: Tessellon is in front"));
        refuse(QStringLiteral(
            "You're inside Tessellon. Switch to the app that has your text selected, then press the hotkey."));
        return;
    }

    m_isCapturing = true;
    logMP(QStringLiteral("Capture started"));
    QPointer<CaptureFlow> self(this);
    m_services.startCapture([self](Outcome outcome) {
        if (self)
            self->complete(std::move(outcome));
    });
}

// The window manager names the frontmost application by its desktop entry; a window of this very
// process counts as ours even when no entry names it.
bool CaptureFlow::ownApplicationInFront()
{
    const auto front = m_services.workspace.frontmostApplication();
    if (front && front->processIdentifier == m_services.ownProcessIdentifier)
        return true;
    const std::optional<QString> frontID = front ? front->bundleIdentifier : std::nullopt;
    return frontID == QString::fromLatin1(AppIdentity::bundleIdentifier);
}

void CaptureFlow::refuse(const QString& snippet)
{
    CaptureToastView view;
    view.success = false;
    view.title = QString::fromUtf16(nothingSaved);
    view.snippet = snippet;
    m_services.presentToast(view);
    m_services.feedback.alertBeep();
}

void CaptureFlow::complete(Outcome outcome)
{
    m_isCapturing = false;
    if (const auto* result = std::get_if<CaptureResult>(&outcome)) {
        const Selection selection = Selection::make(QUuid::createUuid(), result->text, result->markdown,
            result->appName, result->bundleID, result->sourceURL, result->sourceTitle, result->filePath, {},
            m_services.now());
        Store& store = m_services.store;
        if (!store.claimLibraryForWriting()) {
            m_services.showMainWindow();
            refuse(store.persistenceStatus().blockedCaptureMessage().value_or(failureSnippet(nullptr)));
            logMP(QStringLiteral("Capture not saved: the library cannot be modified"));
            emit captureFinished();
            return;
        }
        store.add(selection);
        const bool added = store.collectIntoActiveDraft() && store.addSelectionToActiveDraft(selection.id);
        m_services.showSavedToast(selection, added);
        m_services.feedback.savedSound();
        logMP(QStringLiteral("Saved selection from ") + selection.appName
            + (added ? QStringLiteral(" + prompt") : QString()));
    } else {
        const auto* error = std::get_if<CaptureError>(&outcome);
        refuse(failureSnippet(error));
        const QString description
            = error ? error->errorDescription() : std::get<UnexpectedFailure>(outcome).description;
        logMP(QStringLiteral("Capture failed: ") + description);
    }
    emit captureFinished();
}

bool CaptureFlow::waitUntilIdle(std::chrono::milliseconds bound)
{
    if (!m_isCapturing)
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &CaptureFlow::captureFinished, &loop, &QEventLoop::quit);
    timeout.start(bound);
    loop.exec();
    return !m_isCapturing;
}
