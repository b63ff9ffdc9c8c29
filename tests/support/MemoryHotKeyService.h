#pragma once
// A hotkey service that keeps its registration in memory: a test decides which shortcuts are
// taken and presses the registered one itself.

#include "Platform/HotKeyService.h"

#include <QList>
#include <QPair>
#include <optional>

class MemoryHotKeyService final : public HotKeyService
{
public:
    using Shortcut = QPair<quint32, quint32>; // virtual key code, modifier bits

    // X11's error code for a shortcut another client holds (BadAccess).
    static constexpr int badAccess = 10;

    Result installHandler(std::function<void()> onPressed) override
    {
        if (installStatus != Status::ok)
            return {installStatus};
        m_onPressed = std::move(onPressed);
        return {};
    }
    Result registerHotKey(quint32 keyCode, quint32 mods) override
    {
        registrations.append({keyCode, mods});
        if (registered)
            return {Status::notInstalled}; // a second registration without unregistering is a caller's fault
        if (taken.contains(Shortcut {keyCode, mods}))
            return {Status::taken, badAccess};
        registered = Shortcut {keyCode, mods};
        return {};
    }
    void unregisterHotKey() override { registered.reset(); }

    // A press of the registered shortcut; false when none is registered.
    bool press()
    {
        if (!registered || !m_onPressed)
            return false;
        m_onPressed();
        return true;
    }

    Status installStatus = Status::ok;
    QList<Shortcut> taken;
    std::optional<Shortcut> registered;
    QList<Shortcut> registrations; // every attempt, in order

private:
    std::function<void()> m_onPressed;
};
