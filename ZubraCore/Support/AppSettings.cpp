#include "ZubraCore/Support/AppSettings.h"

#include "Platform/AppIdentity.h"

namespace {
std::unique_ptr<QSettings> openScope(const char* application)
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
        QString::fromLatin1(AppIdentity::organisation), QString::fromLatin1(application));
}
} // namespace

std::unique_ptr<QSettings> AppSettings::openDefault()
{
    return openScope(AppIdentity::applicationName);
}

std::unique_ptr<QSettings> AppSettings::openLegacy()
{
    return openScope(AppIdentity::legacyApplicationName);
}

QString AppSettings::lastExportFolder() const
{
    const QVariant value = m_settings->value(lastExportFolderKey);
    if (value.typeId() != QMetaType::QString)
        return {};
    const QString folder = value.toString();
    return folder.size() > 4096 ? QString() : folder;
}

bool AppSettings::collectIntoActiveDraft() const
{
    const QVariant value = m_settings->value(collectIntoActiveDraftKey);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    return text == u"true" || text == u"1";
}

void AppSettings::setCollectIntoActiveDraft(bool collect)
{
    m_settings->setValue(collectIntoActiveDraftKey, collect);
    m_settings->sync();
}

QString AppSettings::unreadableCustomPromptTemplatesKeyFor(int n)
{
    return n <= 1 ? unreadableCustomPromptTemplatesKey : unreadableCustomPromptTemplatesKey + u'-' + QString::number(n);
}
