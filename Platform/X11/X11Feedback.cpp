#include "Platform/X11/X11Feedback.h"

#include "Platform/AppIdentity.h"
#include "Platform/X11/XcbConnection.h"

#include <canberra.h>

X11Feedback::X11Feedback(std::function<void(const QString&)> diagnostic)
    : m_diagnostic(std::move(diagnostic))
    , m_connection(XcbConnection::open())
{
}

X11Feedback::~X11Feedback()
{
    if (m_sounds)
        ca_context_destroy(m_sounds);
}

void X11Feedback::report(const QString& line) const
{
    if (m_diagnostic)
        m_diagnostic(line);
}

void X11Feedback::alertBeep()
{
    if (!m_connection) {
        report(QStringLiteral("Alert beep unavailable: no X display"));
        return;
    }
    xcb_bell(m_connection->connection(), 0);
    xcb_flush(m_connection->connection());
}

void X11Feedback::savedSound()
{
    if (!m_soundsTried) {
        m_soundsTried = true;
        int status = ca_context_create(&m_sounds);
        if (status == CA_SUCCESS)
            status = ca_context_change_props(m_sounds, CA_PROP_APPLICATION_NAME, AppIdentity::applicationName,
                CA_PROP_APPLICATION_ID, AppIdentity::bundleIdentifier, nullptr);
        if (status == CA_SUCCESS)
            status = ca_context_open(m_sounds);
        if (status != CA_SUCCESS) {
            report(QStringLiteral("Sounds unavailable: ") + QString::fromUtf8(ca_strerror(status)));
            if (m_sounds)
                ca_context_destroy(m_sounds);
            m_sounds = nullptr;
        }
    }
    if (!m_sounds)
        return;
    const int status = ca_context_play(m_sounds, 0, CA_PROP_EVENT_ID, savedSoundEvent, CA_PROP_EVENT_DESCRIPTION,
        "Capture saved", nullptr);
    if (status != CA_SUCCESS)
        report(QStringLiteral("Saved sound not played: ") + QString::fromUtf8(ca_strerror(status)));
}
