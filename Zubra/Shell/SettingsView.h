#pragma once
// The settings window's content: the capture shortcut, launch at login, where the library file
// lives and which version runs. The off-screen export shows it with fixed values, and the view
// then touches neither the hotkey, the login items nor the library location.

#include "Zubra/Widgets/HotKeyCombo.h"

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

class HotKeyManager;
class KeyLayout;
class LoginItems;
class QCheckBox;
class QLabel;
class ShortcutRecorder;

class SettingsView final : public QWidget
{
    Q_OBJECT

public:
    struct SnapshotValues
    {
        QString shortcut;
        bool launchAtLogin = false;
        QString libraryPath;
        QString version;
    };

    struct Inputs
    {
        std::optional<SnapshotValues> snapshot;
        HotKeyManager* hotKeys = nullptr; // live only
        LoginItems* loginItems = nullptr; // live only
        QString libraryPath; // live only: the store's own file
        std::shared_ptr<KeyLayout> layout; // none: the process's layout when live, US otherwise
        std::optional<QString> settingsProblem; // live only: why the settings are not kept
    };
    static Inputs live(HotKeyManager& hotKeys, LoginItems& loginItems, const QString& libraryPath,
        std::optional<QString> settingsProblem = std::nullopt);
    static Inputs snapshotOf(const SnapshotValues& values);

    static inline const QString loginFailureNote = QStringLiteral("Tessellon could not update launch at login.");
    static inline const QString approvalNote = QStringLiteral("Tessellon starts when you log in.");

    explicit SettingsView(Inputs inputs, QWidget* parent = nullptr);

    ShortcutRecorder* recorder() const { return m_recorder; }
    QCheckBox* launchAtLoginToggle() const { return m_launchToggle; }
    std::optional<QString> launchAtLoginNote() const { return m_launchNote; }
    QString libraryText() const { return m_libraryPath; }
    // The shown reason the settings are not kept; nothing when they are.
    std::optional<QString> settingsProblemText() const;
    QString versionString() const;
    // The short version and the build in parentheses ("1.0.0 (1)").
    static QString bundleVersionLine();

    // The toggle's action, run on every change with the new value.
    void applyLaunchAtLogin(bool on);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setLaunchNote(std::optional<QString> note);
    void refreshSignError();

    Inputs m_inputs;
    QString m_libraryPath;
    std::optional<QString> m_launchNote;
    ShortcutRecorder* m_recorder = nullptr;
    QCheckBox* m_launchToggle = nullptr;
    QLabel* m_signError = nullptr;
    QLabel* m_launchNoteLabel = nullptr;
    QLabel* m_settingsProblem = nullptr;
};
