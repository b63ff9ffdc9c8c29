#pragma once
// Login items held in memory: the test sets the status each call reports, and which calls fail.

#include "Platform/LoginItems.h"

#include <QStringList>

class MemoryLoginItems final : public LoginItems
{
public:
    Status status() override
    {
        calls.append(QStringLiteral("status"));
        return current;
    }
    std::optional<QString> registerMainApp() override
    {
        calls.append(QStringLiteral("register"));
        if (registerFailure)
            return registerFailure;
        current = statusAfterRegister;
        return std::nullopt;
    }
    std::optional<QString> unregisterMainApp() override
    {
        calls.append(QStringLiteral("unregister"));
        if (unregisterFailure)
            return unregisterFailure;
        current = Status::notRegistered;
        return std::nullopt;
    }

    Status current = Status::notRegistered;
    Status statusAfterRegister = Status::enabled;
    std::optional<QString> registerFailure;
    std::optional<QString> unregisterFailure;
    QStringList calls; // "status", "register", "unregister", in order
};
