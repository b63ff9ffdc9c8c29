#include "Zubra/Shell/ShellSettings.h"

#include "Platform/AppIdentity.h"

#include <QSettings>

namespace {
// Window geometry is a few dozen bytes; anything far larger was not written by a window.
constexpr qsizetype maxStoredBytes = 64 * 1024;
} // namespace

std::unique_ptr<QSettings> ShellSettings::openUserSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
        QString::fromLatin1(AppIdentity::organisation), QString::fromLatin1(AppIdentity::applicationName));
}

QByteArray ShellSettings::bytes(const QString& key) const
{
    const QVariant value = m_settings->value(key);
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
    m_settings->setValue(hotKeyComboKey, combo.toJson());
}

QByteArray ShellSettings::mainWindowFrame() const
{
    return bytes(mainWindowFrameKey);
}

void ShellSettings::setMainWindowFrame(const QByteArray& frame)
{
    m_settings->setValue(mainWindowFrameKey, frame);
}

QByteArray ShellSettings::settingsWindowFrame() const
{
    return bytes(settingsWindowFrameKey);
}

void ShellSettings::setSettingsWindowFrame(const QByteArray& frame)
{
    m_settings->setValue(settingsWindowFrameKey, frame);
}
