#include "Zubra/Shell/ShellSettings.h"

#include <QSettings>

namespace {
// Window geometry is a few dozen bytes; anything far larger was not written by a window.
constexpr qsizetype maxStoredBytes = 64 * 1024;
} // namespace

QByteArray ShellSettings::bytes(const QString& key) const
{
    const QVariant value = settings().value(key);
    if (value.typeId() != QMetaType::QByteArray && value.typeId() != QMetaType::QString)
        return {};
    const QByteArray data = value.toByteArray();
    return data.size() > maxStoredBytes ? QByteArray() : data;
}

std::optional<HotKeyCombo> ShellSettings::hotKeyCombo() const
{
    const QByteArray data = bytes(hotKeyComboKey);
    if (data.isEmpty())
        return std::nullopt;
    return HotKeyCombo::fromJson(data);
}

void ShellSettings::setHotKeyCombo(const HotKeyCombo& combo)
{
    setChangedValue(hotKeyComboKey, combo.toJson());
}

QByteArray ShellSettings::mainWindowFrame() const
{
    return bytes(mainWindowFrameKey);
}

void ShellSettings::setMainWindowFrame(const QByteArray& frame)
{
    setChangedValue(mainWindowFrameKey, frame);
}

QByteArray ShellSettings::settingsWindowFrame() const
{
    return bytes(settingsWindowFrameKey);
}

void ShellSettings::setSettingsWindowFrame(const QByteArray& frame)
{
    setChangedValue(settingsWindowFrameKey, frame);
}
