#include "ZubraCore/Library/AppDataMigration.h"
#include "Platform/AppIdentity.h"

#include "Platform/DiskFileSystem.h"
#include "ZubraCore/Library/StoreLocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

using AppDataMigration::Failure;
using AppDataMigration::MigrationError;

std::optional<Failure> copyAtomically(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return Failure {MigrationError::copyFailed, from, source.errorString()};
    QSaveFile target(to);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly))
        return Failure {MigrationError::copyFailed, to, target.errorString()};
    constexpr qint64 chunkSize = 1 << 20;
    QByteArray chunk;
    while (true) {
        chunk = source.read(chunkSize);
        if (chunk.isEmpty())
            break;
        if (target.write(chunk) != chunk.size()) {
            target.cancelWriting();
            return Failure {MigrationError::copyFailed, to, target.errorString()};
        }
    }
    if (source.error() != QFileDevice::NoError) {
        target.cancelWriting();
        return Failure {MigrationError::copyFailed, from, source.errorString()};
    }
    if (!target.commit())
        return Failure {MigrationError::copyFailed, to, target.errorString()};
    DiskFileSystem::syncFolder(QFileInfo(to).absolutePath());
    return std::nullopt;
}

} // namespace

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
        if (!QDir().mkpath(folder)) {
            outcome.failure = Failure {MigrationError::folderNotCreated, folder, {}};
            return outcome;
        }
        if (auto failure = copyAtomically(legacyStoreURL, currentStoreURL)) {
            outcome.failure = failure;
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
