#pragma once
// The application shell of the running program: it owns the capture flow, the toasts, the
// windows, the status item and the menu commands, and wires the hotkey, the instance channel and
// the launch flags. Everything here runs on the GUI thread.

#include "Platform/InstanceChannel.h"
#include "Zubra/Shell/CaptureFlow.h"
#include "Zubra/Widgets/ShellActions.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class AccessibilityTrust;
class CaptureToastController;
class Feedback;
class HotKeyManager;
class KeyLayout;
class LoginItems;
class MainQueue;
class MenuBar;
class QMainWindow;
class QSettings;
class QWidget;
class StatusItem;
class Store;
class Updater;
class Workspace;

class AppDelegate final : public QObject, public ShellActions
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds handOffQuitDelay {300};
    static constexpr std::chrono::milliseconds notificationDelay {350};
    static constexpr std::chrono::milliseconds accessibilityPromptDelay {400};
    static constexpr std::chrono::milliseconds showWindowFlagDelay {600};
    static constexpr std::chrono::milliseconds captureFlagDelay {1200};
    // How long a show-window request counts as under way at most: the window manager may take
    // that long to bring the window forward, and requests meanwhile are merged into it.
    static constexpr std::chrono::milliseconds showRequestSettling {1000};
    // How long quitting waits for a capture under way to put the clipboard back.
    static constexpr std::chrono::milliseconds quitCaptureBound {5000};

    static constexpr QSize mainWindowSize {1120, 660};
    static constexpr QSize mainWindowMinimumSize {980, 600};
    static constexpr QSize settingsWindowSize {520, 360};
    static constexpr QSize settingsWindowMinimumSize {440, 300};
    // How much of the screen's available area a new window may take at most, leaving room for
    // the window manager's frame.
    static constexpr qreal screenShare = 0.92;

    // The modal questions of the shell; tests answer them without a dialog.
    struct Alerts
    {
        // "Tessellon needs Accessibility access": true when the user chose to turn it on.
        std::function<bool()> accessibilityPrompt;
        // "Updates are unavailable in this build".
        std::function<void()> updatesUnavailable;
        // The standard About box.
        std::function<void()> about;
    };

    struct Services
    {
        Store& store;
        QSettings& settings; // window frames
        std::shared_ptr<MainQueue> queue {};
        Workspace& workspace;
        Feedback& feedback;
        Updater& updater;
        LoginItems& loginItems;
        HotKeyManager& hotKeys;
        std::shared_ptr<KeyLayout> keyLayout {}; // names the keys the settings record
        InstanceChannel* channel = nullptr; // the channel this instance claimed
        // Whether captures may run, as last read, and the way to turn accessibility on; none:
        // never trusted.
        AccessibilityTrust* trust = nullptr;
        std::function<void(CaptureFlow::Completion)> startCapture {};
        // The content of the main window, made when the window is first shown.
        std::function<QWidget*(QWidget* parent)> mainContent {};
        // Posts one of the main window's notifications ("TessellonOpenPrompt", …).
        std::function<void(const QString& name)> postNotification {};
        Alerts alerts {}; // missing ones: the real dialogs
        std::function<QDateTime()> now {}; // none: the current time
        std::optional<QString> migrationLogMessage {};
        bool showStatusItem = true;
        // What keeps captures from running besides the accessibility bus, for the alert (empty:
        // nothing else); none: nothing else.
        std::function<QString()> missingForCapture {};
        // A tray can show the status item; none: asks Qt (an XEmbed tray or a StatusNotifierItem
        // host). Without one a plain start opens the library window.
        std::function<bool()> isTrayAvailable {};
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The running delegate, empty before launch finished and in the export.
    static AppDelegate* shared();

    // A later instance: logs, asks the running one to show its window and quits the event loop
    // 0.3 s later. Nothing of the library is touched. When the running one does not take the
    // request, answers false and quits nothing: the caller starts this process in its place.
    static bool handOff(InstanceChannel& channel, const InstanceChannel::RunningInstance& running,
        const std::shared_ptr<MainQueue>& queue);

    // The launch steps, with the process arguments. The delayed launch steps (the launch flags and
    // the accessibility alert) count from the process start: `sinceProcessStart` is how long the
    // process ran before this call (mostly the library's load), and is taken off their delays.
    void finishLaunching(const QStringList& arguments, std::chrono::milliseconds sinceProcessStart = {});

    // Windows, created on first show and kept.
    void showMainWindow();
    void showSettings();
    QMainWindow* mainWindow() const;
    QWidget* settingsWindow() const;

    // Commands.
    void captureNowAction() { captureNow(); }
    void openPromptAction();
    void menuNewPrompt();
    void menuFocusSearch();
    void toggleCollectingAction();
    void checkForUpdates();
    void showAccessibilityPrompt();
    void showMainWindowFromNotification();
    bool isAccessibilityPromptOpen() const { return m_accessibilityPromptOpen; }
    void showAbout();
    void hideApplication();
    void closeActiveWindow();

    // ShellActions.
    void captureNow() override;
    void openAccessibilitySettings() override;
    bool isTrusted() override;
    QString hotkeyDisplay() override;
    void watchTrust(QObject* context, std::function<void()> changed) override;

    // Quitting: waits (bounded) for a capture under way, runs the termination steps, then
    // leaves the event loop. Safe to call more than once.
    void terminate();
    // Saves the library at once, delivers what the save posted back, unregisters the hotkey and
    // logs; the log is flushed.
    void applicationWillTerminate();

    Store& store() const { return m_services.store; }
    CaptureFlow& captureFlow() const { return *m_captureFlow; }
    CaptureToastController& toast() const { return *m_toast; }
    MenuBar& menuBar() const { return *m_menuBar; }
    StatusItem* statusItem() const { return m_statusItem.get(); }
    HotKeyManager& hotKeys() const { return m_services.hotKeys; }
    LoginItems& loginItems() const { return m_services.loginItems; }

signals:
    void mainWindowShown();
    // Quitting is decided: the windows close next, and the event loop ends.
    void terminating();

private:
    void postAfterWindowReady(const QString& name);
    void setupStatusItem();
    void registerHotKey();
    void bringForward(QWidget* window);
    bool isTrayAvailable() const;
    // The library window, or a sheet on it, has the focus.
    bool isMainWindowActive() const;
    void saveWindowFrames();
    // What applicationWillTerminate does, once.
    void runTerminationSteps();
    bool eventFilter(QObject* watched, QEvent* event) override;

    Services m_services;
    std::unique_ptr<CaptureToastController> m_toast;
    std::unique_ptr<CaptureFlow> m_captureFlow;
    std::unique_ptr<MenuBar> m_menuBar;
    std::unique_ptr<StatusItem> m_statusItem;
    QPointer<QMainWindow> m_mainWindow;
    QPointer<QWidget> m_settingsWindow;
    bool m_terminated = false;
    bool m_accessibilityPromptOpen = false;
    bool m_showRequestPending = false;
};
