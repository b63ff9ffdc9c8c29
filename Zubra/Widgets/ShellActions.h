#pragma once
// What the windows ask of the application shell. The application implements it; tests and the
// off-screen export use NoShellActions, with which every request does nothing.

#include <QString>
#include <functional>

class QObject;

class ShellActions
{
public:
    virtual ~ShellActions() = default;
    // Captures the frontmost application's selection, as the hotkey does.
    virtual void captureNow() = 0;
    // Turns on the desktop's accessibility support; trust is read again afterwards.
    virtual void openAccessibilitySettings() = 0;
    // Tessellon may read other applications' selected text.
    virtual bool isTrusted() = 0;
    // The capture shortcut as the user reads it ("Ctrl+Alt+Super+C").
    virtual QString hotkeyDisplay() = 0;
    // Runs changed, for as long as context lives, whenever trust changed; by default trust never
    // changes.
    virtual void watchTrust(QObject* /*context*/, std::function<void()> /*changed*/) { }
};

class NoShellActions final : public ShellActions
{
public:
    void captureNow() override { }
    void openAccessibilitySettings() override { }
    bool isTrusted() override { return true; }
    QString hotkeyDisplay() override;
    void watchTrust(QObject*, std::function<void()>) override { }
};
