#pragma once
// Trust whose desktop state is whatever the test publishes; it counts the requests to turn the
// accessibility support on, and turns it on when asked if the test says so.

#include "Platform/AccessibilityTrust.h"

class MemoryAccessibilityTrust final : public AccessibilityTrust
{
public:
    explicit MemoryAccessibilityTrust(
        bool keystrokes = true, AccessibilityBusState state = AccessibilityBusState::enabled)
        : AccessibilityTrust(keystrokes)
    {
        publish(state);
    }

    // From any thread, as a backend's reading thread would.
    void setBusState(AccessibilityBusState state) { publish(state); }
    void setTrusted(bool trusted)
    {
        setBusState(trusted ? AccessibilityBusState::enabled : AccessibilityBusState::disabled);
    }

    void requestAccessibility() override
    {
        ++requests;
        if (grantsRequests)
            publish(AccessibilityBusState::enabled);
    }

    int requests = 0;
    bool grantsRequests = false;
};
