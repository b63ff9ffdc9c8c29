#include "ZubraCore/Support/AppSettings.h"

#include "Platform/AppIdentity.h"

#include <QFileInfo>
#include <unistd.h>

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

std::optional<QString> AppSettings::storageProblem() const
{
    m_settings->sync();
    const QString path = m_settings->fileName();
    const QString notSaved = QStringLiteral(": settings are not saved.");
    const QFileInfo file(path);
    if (file.exists() && !file.isFile())
        return QStringLiteral("The settings file ") + path + QStringLiteral(" is not a file") + notSaved;
    if (file.exists() && ::access(QFile::encodeName(path).constData(), R_OK) != 0)
        return QStringLiteral("The settings file ") + path + QStringLiteral(" cannot be read") + notSaved;
    // A missing file is made in its folder, and missing folders in the nearest one that exists:
    // that one must be a folder this process may write to.
    QString nearest = path;
    while (!QFileInfo::exists(nearest) && QFileInfo(nearest).absolutePath() != nearest)
        nearest = QFileInfo(nearest).absolutePath();
    const bool writable = nearest == path ? ::access(QFile::encodeName(path).constData(), W_OK) == 0
                                          : QFileInfo(nearest).isDir()
            && ::access(QFile::encodeName(nearest).constData(), W_OK | X_OK) == 0;
    if (!writable || m_settings->status() == QSettings::AccessError)
        return QStringLiteral("The settings file ") + path + QStringLiteral(" cannot be written") + notSaved;
    if (m_settings->status() == QSettings::FormatError)
        return QStringLiteral("The settings file ") + path + QStringLiteral(" cannot be read") + notSaved;
    return std::nullopt;
}
