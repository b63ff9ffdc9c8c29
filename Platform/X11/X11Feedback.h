#pragma once
// Feedback on an X11 desktop: the X bell for the alert, the freedesktop sound theme through
// libcanberra for a saved capture ("message-new-instant"), no touch feedback. A machine without
// a sound device plays nothing; the reason goes to the diagnostic function, never to the user.

#include "Platform/Feedback.h"

#include <QString>
#include <functional>
#include <memory>

class XcbConnection;
struct ca_context;

class X11Feedback final : public Feedback
{
public:
    // The diagnostic function receives one line per sound that could not be played.
    explicit X11Feedback(std::function<void(const QString&)> diagnostic = {});
    ~X11Feedback() override;
    X11Feedback(const X11Feedback&) = delete;
    X11Feedback& operator=(const X11Feedback&) = delete;

    void alertBeep() override;
    void savedSound() override;

    static constexpr const char* savedSoundEvent = "message-new-instant";

private:
    void report(const QString& line) const;

    std::function<void(const QString&)> m_diagnostic;
    std::shared_ptr<XcbConnection> m_connection;
    ca_context* m_sounds = nullptr;
    bool m_soundsTried = false;
};
