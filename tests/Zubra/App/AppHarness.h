#pragma once
// An application delegate over doubles: a manual main queue, a memory hotkey service, login
// items, workspace, feedback, instance channel and trust; modal alerts and notifications recorded.

#include "../Shell/ShellFixture.h"
#include "Platform/Memory/MemoryAccessibilityTrust.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "Platform/Updater.h"
#include "Zubra/App/AppDelegate.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "Zubra/Shell/ShellSettings.h"
#include "support/ManualMainQueue.h"
#include "support/MemoryHotKeyService.h"
#include "support/MemoryInstanceChannel.h"
#include "support/MemoryLoginItems.h"
#include "support/RecordingFeedback.h"

#include <QLabel>

struct AppHarness
{
    explicit AppHarness(ShellFixture::Library library = ShellFixture::Library::empty,
        std::optional<HotKeyCombo> storedCombo = std::nullopt, QList<MemoryHotKeyService::Shortcut> taken = {},
        bool statusItem = false)
        : fixture(library)
    {
        if (storedCombo)
            ShellSettings(&fixture.settings).setHotKeyCombo(*storedCombo);
        hotKeyService.taken = taken;
        hotKeys = std::make_unique<HotKeyManager>(hotKeyService, &fixture.settings);
        workspace.frontmost = RunningApplication {77, QStringLiteral("Editor"), QStringLiteral("org.example.Editor")};
        AppDelegate::Alerts alerts {
            .accessibilityPrompt =
                [this] {
                    ++accessibilityPrompts;
                    // What happens while the alert is open, once.
                    if (auto during = std::exchange(whileAccessibilityPromptOpen, {}))
                        during();
                    return acceptAccessibilityPrompt;
                },
            .updatesUnavailable = [this] { ++updateAlerts; },
            .about = [] {},
        };
        delegate = std::make_unique<AppDelegate>(AppDelegate::Services {
            .store = *fixture.store,
            .settings = fixture.settings,
            .queue = queue,
            .workspace = workspace,
            .feedback = feedback,
            .updater = updater,
            .loginItems = loginItems,
            .hotKeys = *hotKeys,
            .channel = &channel,
            .trust = &trust,
            .startCapture = [this](CaptureFlow::Completion completion) { captures.append(std::move(completion)); },
            .mainContent = [](QWidget* parent) { return new QLabel(QStringLiteral("library"), parent); },
            .postNotification = [this](const QString& name) { notifications.append(name); },
            .alerts = alerts,
            .now = [] { return QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9), Qt::UTC); },
            .showStatusItem = statusItem,
            // With a real status item the real tray decides; otherwise the test does.
            .isTrayAvailable
            = statusItem ? std::function<bool()>() : std::function<bool()>([this] { return trayAvailable; }),
        });
    }
    ~AppHarness() { delegate.reset(); }

    void advance(std::chrono::milliseconds step) { queue->advance(step); }

    ShellFixture fixture;
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    MemoryWorkspace workspace;
    RecordingFeedback feedback;
    UnavailableUpdater updater;
    MemoryLoginItems loginItems;
    MemoryHotKeyService hotKeyService;
    std::unique_ptr<HotKeyManager> hotKeys;
    MemoryInstanceChannel channel;
    MemoryAccessibilityTrust trust;
    bool trayAvailable = true;
    bool acceptAccessibilityPrompt = false;
    int accessibilityPrompts = 0;
    std::function<void()> whileAccessibilityPromptOpen;
    int updateAlerts = 0;
    QList<CaptureFlow::Completion> captures;
    QStringList notifications;
    std::unique_ptr<AppDelegate> delegate;
};
