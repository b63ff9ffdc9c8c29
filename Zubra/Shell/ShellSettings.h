#pragma once
// The shell's own entries in the application's settings: the capture shortcut and the window
// frames (their keys are AppSettings'). Values written by someone else that do not read back count
// as nothing stored.

#include "Zubra/Widgets/HotKeyCombo.h"
#include "ZubraCore/Support/AppSettings.h"

#include <QByteArray>
#include <QString>
#include <optional>

class ShellSettings : public AppSettings
{
public:
    // The settings must outlive this object.
    explicit ShellSettings(QSettings* settings)
        : AppSettings(*settings)
    {
    }

    std::optional<HotKeyCombo> hotKeyCombo() const;
    void setHotKeyCombo(const HotKeyCombo& combo);

    // Window geometry as the window saved it; empty when nothing is stored.
    QByteArray mainWindowFrame() const;
    void setMainWindowFrame(const QByteArray& frame);
    QByteArray settingsWindowFrame() const;
    void setSettingsWindowFrame(const QByteArray& frame);

private:
    QByteArray bytes(const QString& key) const;
};
