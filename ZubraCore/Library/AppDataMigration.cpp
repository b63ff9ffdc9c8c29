#include "ZubraCore/Library/AppDataMigration.h"
#include "Platform/AppIdentity.h"

#include "Platform/DiskFileSystem.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Support/AppSettings.h"

#include <QFileInfo>

namespace AppDataMigration {

const QList<QPair<QString, QString>>& preferenceKeys()
{
    // The earlier product named these settings as Tessellon does, with its own name in place of
    // Tessellon's.
    static const QList<QPair<QString, QString>> keys = [] {
        QList<QPair<QString, QString>> pairs;
        for (const QString& key : {AppSettings::collectIntoActiveDraftKey, AppSettings::customPromptTemplatesKey,
                 AppSettings::hotKeyComboKey, AppSettings::mainWindowFrameKey, AppSettings::settingsWindowFrameKey}) {
            const QString earlier = QString(key).replace(QLatin1String(AppIdentity::applicationName),
                QLatin1String(AppIdentity::legacyApplicationName));
            pairs.append({earlier, key});
        }
        return pairs;
    }();
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
    const std::unique_ptr<QSettings> currentDefaults = AppSettings::openDefault();
    return migrateIfNeeded(*currentDefaults);
}

Outcome migrateIfNeeded(QSettings& currentDefaults)
{
    const QVariantMap legacyPreferences = readLegacyPreferences(*AppSettings::openLegacy());
    return migrate(
        StoreLocations::legacyStoreURL(), StoreLocations::defaultStoreURL(), legacyPreferences, currentDefaults);
}

} // namespace AppDataMigration
