#pragma once
// The one capture shortcut of the process: registered with the desktop's hotkey service, its
// presses turned into onCapture calls, the last registered combination kept in the settings.
// GUI thread only.

#include "Zubra/Shell/ShellSettings.h"
#include "Zubra/Widgets/HotKeyCombo.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class HotKeyService;
class KeyLayout;

class HotKeyManager final : public QObject
{
    Q_OBJECT

public:
    // Reads the stored combination (else the default) and installs the press handler; nothing
    // is registered yet. A stored combination that is unusable counts as none; why is logged at
    // the first registration (the log file is open by then). The service and the settings must outlive the manager.
    // The layout names the keys in texts and log lines; none: a US layout.
    HotKeyManager(HotKeyService& service, QSettings* settings, std::shared_ptr<KeyLayout> layout = {},
        QObject* parent = nullptr);
    ~HotKeyManager() override;

    // Run for every press, on the GUI thread.
    std::function<void()> onCapture;

    // The stored (or default) combination at creation; afterwards the last one registered.
    HotKeyCombo currentCombo() const { return m_currentCombo; }
    bool isRegistered() const { return m_registered; }
    // A combination as the user reads it, on the manager's layout.
    QString display(const HotKeyCombo& combo) const;

    // Replaces the registered shortcut; true on success, when the combination is also stored.
    // An unusable combination (see HotKeyCombo::whyUnusable) is refused before anything
    // changes. When the service refuses it, the combination registered before (if any) is taken
    // again, unsaved, so the shortcut the user sees keeps working; the answer is still false.
    bool registerCombo(const HotKeyCombo& combo);
    // Lets go of the shortcut for good: a paused one is not taken again on resume().
    void unregisterCombo();

    // While a new shortcut is recorded the registered one is let go, so that its keys reach the
    // recorder instead of starting a capture; resuming takes it again unless a new combination
    // was registered meanwhile.
    void pause();
    void resume();

signals:
    // A registration succeeded (the status menu names the new shortcut).
    void comboRegistered(const HotKeyCombo& combo);

private:
    HotKeyService& m_service;
    std::shared_ptr<KeyLayout> m_layout;
    ShellSettings m_settings;
    std::optional<QString> m_startingNote; // why the stored combination was not used, until logged
    HotKeyCombo m_currentCombo;
    bool m_registered = false;
    bool m_handlerInstalled = false;
    bool m_paused = false; // the current combination was registered when pause() let it go
};
