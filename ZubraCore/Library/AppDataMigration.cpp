#include "ZubraCore/Library/AppDataMigration.h"
#include "Platform/AppIdentity.h"

#include "Platform/DiskFileSystem.h"
#include "ZubraCore/Library/StoreLocations.h"

#include <QFileInfo>

namespace AppDataMigration {

const QList<QPair<QString, QString>>& preferenceKeys()
{
    static const QList<QPair<QString, QString>> keys {
        {u"Zubra.collectIntoActiveDraft"_qs, u"Tessellon.collectIntoActiveDraft"_qs},
        {u"Zubra.customPromptTemplates"_qs, u"Tessellon.customPromptTemplates"_qs},
        {u"captureHotKeyCombo"_qs, u"captureHotKeyCombo"_qs},
        {u"NSWindow Frame ZubraMainWindow"_qs, u"NSWindow Frame TessellonMainWindow"_qs},
        {u"NSWindow Frame ZubraSettingsWindow"_qs, u"NSWindow Frame TessellonSettingsWindow"_qs},
    };
    return keys;
}

QString Failure::description() const
{
    QString text = error == MigrationError::folderNotCreated
        ? u"Tessellon could not create the library folder "_qs + path + u"."_qs
        : u"Tessellon could not copy the earlier Zubra library to "_qs + path + u"."_qs;
    if (!reason.isEmpty())
        text += u" "_qs + reason;
    return text;
}

Outcome migrate(const QString& legacyStoreURL, const QString& currentStoreURL, const QVariantMap& legacyPreferences,
    QSettings& currentDefaults)
{
    Outcome outcome;
    const bool currentPresent
        = QFileInfo::exists(currentStoreURL) || QFileInfo::exists(StoreLocations::backupURL(currentStoreURL));
    if (!currentPresent && QFileInfo(legacyStoreURL).isFile()) {
        const QString folder = QFileInfo(currentStoreURL).absolutePath();
        DiskFileSystem disk;
        if (const FileOutcome failure = disk.createFolder(folder)) {
            outcome.failure = Failure {MigrationError::folderNotCreated, folder, failure->description};
            return outcome;
        }
        // A private copy made beside the target and linked into place whole.
        if (const FileOutcome failure = disk.copy(legacyStoreURL, currentStoreURL)) {
            outcome.failure = Failure {MigrationError::copyFailed, currentStoreURL, failure->description};
            return outcome;
        }
        outcome.result.copiedStore = true;
    }

    for (const auto& [earlierKey, currentKey] : preferenceKeys()) {
        if (currentDefaults.contains(currentKey))
            continue;
        const auto it = legacyPreferences.constFind(earlierKey);
        if (it == legacyPreferences.cend())
            continue;
        currentDefaults.setValue(currentKey, *it);
        ++outcome.result.copiedPreferenceCount;
    }
    if (outcome.result.copiedPreferenceCount > 0)
        currentDefaults.sync();
    return outcome;
}

QVariantMap readLegacyPreferences(QSettings& legacySettings)
{
    QVariantMap values;
    for (const auto& [earlierKey, currentKey] : preferenceKeys()) {
        if (legacySettings.contains(earlierKey))
            values.insert(earlierKey, legacySettings.value(earlierKey));
    }
    return values;
}

Outcome migrateIfNeeded()
{
    QSettings legacySettings(QString::fromLatin1(AppIdentity::organisation), QString::fromLatin1(AppIdentity::legacyApplicationName));
    const QVariantMap legacyPreferences = readLegacyPreferences(legacySettings);
    QSettings currentDefaults(QString::fromLatin1(AppIdentity::organisation), QString::fromLatin1(AppIdentity::applicationName));
    return migrate(
        StoreLocations::legacyStoreURL(), StoreLocations::defaultStoreURL(), legacyPreferences, currentDefaults);
}

} // namespace AppDataMigration
