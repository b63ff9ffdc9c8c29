#pragma once
// Whether the desktop starts Tessellon when the user logs in.

#include <QString>
#include <optional>

class LoginItems
{
public:
    enum class Status { notRegistered, enabled, requiresApproval, notFound };

    virtual ~LoginItems() = default;
    virtual Status status() = 0;
    // Each answers nothing on success, else the reason it failed, for the user's log.
    virtual std::optional<QString> registerMainApp() = 0;
    virtual std::optional<QString> unregisterMainApp() = 0;
};
