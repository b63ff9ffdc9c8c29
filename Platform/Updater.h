#pragma once
// Checking for a newer release of the program.

class Updater
{
public:
    virtual ~Updater() = default;
    // False when this build cannot update itself; the caller then tells the user where to look.
    virtual bool isAvailable() const = 0;
    virtual void checkForUpdates() = 0;
};

// Linux distributions update programs themselves: this build has no updater.
class UnavailableUpdater final : public Updater
{
public:
    bool isAvailable() const override { return false; }
    void checkForUpdates() override { }
};
