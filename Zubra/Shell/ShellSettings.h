#pragma once
// The shell's own entries in the application's settings: the capture shortcut and the window
// frames. Values written by someone else that do not read back count as nothing stored.

#include "Zubra/Shell/HotKeyCombo.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class QSettings;

class ShellSettings
{
public:
    static inline const QString hotKeyComboKey = QStringLiteral("captureHotKeyCombo");
    static inline const QString mainWindowFrameKey = QStringLiteral("NSWindow Frame TessellonMainWindow");
    static inline const QString settingsWindowFrameKey = QStringLiteral("NSWindow Frame TessellonSettingsWindow");

    // The settings must outlive this object.
    explicit ShellSettings(QSettings* settings)
        : m_settings(settings)
    {
    }

    // The user's settings of this program (the scope named in AppIdentity).
    static std::unique_ptr<QSettings> openUserSettings();

    std::optional<HotKeyCombo> hotKeyCombo() const;
    void setHotKeyCombo(const HotKeyCombo& combo);

    // Window geometry as the window saved it; empty when nothing is stored.
    QByteArray mainWindowFrame() const;
    void setMainWindowFrame(const QByteArray& frame);
    QByteArray settingsWindowFrame() const;
    void setSettingsWindowFrame(const QByteArray& frame);

private:
    QByteArray bytes(const QString& key) const;

    QSettings* m_settings;
};
