#include "Platform/X11/X11Feedback.h"

#include "Platform/AppIdentity.h"
#include "Platform/X11/XcbConnection.h"

#include <alsa/asoundlib.h>
#include <canberra.h>
#include <mutex>

namespace {
// ALSA prints every error of a missing or busy device to standard error itself; the sound's
// own status says what matters, so its messages are dropped.
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) { }

void silenceAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&ignoreAlsaError); });
}
} // namespace

X11Feedback::X11Feedback(std::function<void(const QString&)> diagnostic, SoundPlayer player)
    : m_diagnostic(std::move(diagnostic))
    , m_player(std::move(player))
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

std::optional<QString> X11Feedback::playThroughCanberra(const char* eventId)
{
    if (!m_soundsTried) {
        m_soundsTried = true;
        silenceAlsa();
        int status = ca_context_create(&m_sounds);
        if (status == CA_SUCCESS)
            status = ca_context_change_props(m_sounds, CA_PROP_APPLICATION_NAME, AppIdentity::applicationName,
                CA_PROP_APPLICATION_ID, AppIdentity::bundleIdentifier, nullptr);
        if (status == CA_SUCCESS)
            status = ca_context_open(m_sounds);
        if (status != CA_SUCCESS) {
            if (m_sounds)
                ca_context_destroy(m_sounds);
            m_sounds = nullptr;
            return QStringLiteral("Sounds unavailable: ") + QString::fromUtf8(ca_strerror(status));
        }
    }
    if (!m_sounds)
        return QStringLiteral("Sounds unavailable");
    const int status
        = ca_context_play(m_sounds, 0, CA_PROP_EVENT_ID, eventId, CA_PROP_EVENT_DESCRIPTION, "Capture saved", nullptr);
    if (status != CA_SUCCESS)
        return QStringLiteral("Sounds unavailable: ") + QString::fromUtf8(ca_strerror(status));
    return std::nullopt;
}

void X11Feedback::savedSound()
{
    const std::optional<QString> failure = m_player ? m_player(savedSoundEvent) : playThroughCanberra(savedSoundEvent);
    if (!failure || m_soundFailureReported)
        return;
    m_soundFailureReported = true;
    report(*failure + QStringLiteral(" (no further sound failures are logged in this run)"));
}
