#pragma once
// Feedback on an X11 desktop: the X bell for the alert, the freedesktop sound theme through
// libcanberra for a saved capture ("message-new-instant"), no touch feedback. A machine without
// a sound device plays nothing and prints nothing (ALSA's own messages are silenced); the
// reason goes to the diagnostic function once per run, never to the user.

#include "Platform/Feedback.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class XcbConnection;
struct ca_context;

class X11Feedback final : public Feedback
{
public:
    // Plays a sound of the theme by its event name; nothing when it played, else why not.
    using SoundPlayer = std::function<std::optional<QString>(const char* eventId)>;

    // The diagnostic function receives the lines about sounds that could not be played: the
    // first failure of the sounds only, since a machine without sound fails every time. Without
    // a player the sounds go through libcanberra, opened at the first sound.
    explicit X11Feedback(std::function<void(const QString&)> diagnostic = {}, SoundPlayer player = {});
    ~X11Feedback() override;
    X11Feedback(const X11Feedback&) = delete;
    X11Feedback& operator=(const X11Feedback&) = delete;

    void alertBeep() override;
    void savedSound() override;

    static constexpr const char* savedSoundEvent = "message-new-instant";

private:
    void report(const QString& line) const;
    std::optional<QString> playThroughCanberra(const char* eventId);

    std::function<void(const QString&)> m_diagnostic;
    SoundPlayer m_player;
    std::shared_ptr<XcbConnection> m_connection;
    ca_context* m_sounds = nullptr;
    bool m_soundsTried = false;
    bool m_soundFailureReported = false;
};
