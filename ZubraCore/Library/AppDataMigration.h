#pragma once
// Adoption of the earlier product's data at launch: its library file and five preference values
// are copied where Tessellon has nothing yet. The earlier data is never changed, so the step is
// safe to repeat.

#include <QList>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QVariantMap>
#include <optional>

namespace AppDataMigration {

// The earlier product's preference domain.
inline constexpr char16_t legacyBundleIdentifier[] = u"com.vesk.zubra";

// (earlier key, current key) in adoption order.
const QList<QPair<QString, QString>>& preferenceKeys();

struct Result
{
    bool copiedStore = false;
    int copiedPreferenceCount = 0;

    friend bool operator==(const Result&, const Result&) = default;
};

enum class MigrationError { folderNotCreated, copyFailed };

struct Failure
{
    MigrationError error;
    QString path; // the folder or file that could not be made
    QString reason; // the platform's words, when it gave any

    // One line for the user: what failed and where.
    QString description() const;
};

// Either a result or the failure that must stop the launch.
struct Outcome
{
    Result result;
    std::optional<Failure> failure;
};

// The launch entry: the real locations, the earlier product's settings (organisation "vesk",
// application "Zubra") and Tessellon's own settings.
Outcome migrateIfNeeded();
// The same into settings already open (the program's own, as AppSettings::openDefault gives them).
Outcome migrateIfNeeded(QSettings& currentDefaults);

// The adoption over given locations. The current library counts as present when either its
// primary or its backup exists; the earlier library is copied through a temporary file beside
// the target that is renamed into place, so an interrupted copy never leaves a partial library.
// On a failure no preference is touched.
Outcome migrate(const QString& legacyStoreURL, const QString& currentStoreURL, const QVariantMap& legacyPreferences,
    QSettings& currentDefaults);

// The five earlier values present in the given settings, by earlier key.
QVariantMap readLegacyPreferences(QSettings& legacySettings);

} // namespace AppDataMigration
