#include "ZubraCore/Library/StorePersistenceStatus.h"

QString LibraryRecoveryPresentation::title() const
{
    switch (m_value) {
    case unreadable:
        return QStringLiteral("Library unavailable");
    case incompatibleVersion:
        return QStringLiteral("Library version not supported");
    case inUse:
        return QStringLiteral("Library in use");
    }
    return {};
}

QString LibraryRecoveryPresentation::message() const
{
    switch (m_value) {
    case unreadable:
        return QStringLiteral("Tessellon could not open the library. Restore a valid library or backup file, then "
                              "relaunch Tessellon.");
    case incompatibleVersion:
        return QStringLiteral("The library or backup uses a format this version of Tessellon cannot open. Both files "
                              "are unchanged. Open them with a compatible version of Tessellon.");
    case inUse:
        return QStringLiteral("Another Tessellon session has the library open and saves it; here it is read-only. "
                              "Quit the other session, then relaunch Tessellon.");
    }
    return {};
}

bool LibraryRecoveryPresentation::canRevealLibraryFolder() const
{
    return m_value == unreadable;
}

std::optional<LibraryRecoveryPresentation> StorePersistenceStatus::unavailableLibraryPresentation() const
{
    switch (m_value) {
    case unreadablePrimary:
        return LibraryRecoveryPresentation::unreadable;
    case incompatibleVersion:
        return LibraryRecoveryPresentation::incompatibleVersion;
    case openElsewhere:
        return LibraryRecoveryPresentation::inUse;
    default:
        return std::nullopt;
    }
}

std::optional<QString> StorePersistenceStatus::blockedCaptureMessage() const
{
    if (const std::optional<LibraryRecoveryPresentation> presentation = unavailableLibraryPresentation())
        return presentation->message();
    return std::nullopt;
}

bool StorePersistenceStatus::shouldShowLaunchAccessibilityPrompt(bool isAccessibilityTrusted) const
{
    return !isAccessibilityTrusted && !unavailableLibraryPresentation();
}

QString StorePersistenceStatus::name() const
{
    switch (m_value) {
    case ready:
        return QStringLiteral("ready");
    case recoveredFromBackup:
        return QStringLiteral("recoveredFromBackup");
    case unreadablePrimary:
        return QStringLiteral("unreadablePrimary");
    case incompatibleVersion:
        return QStringLiteral("incompatibleVersion");
    case backupUnavailable:
        return QStringLiteral("backupUnavailable");
    case saveFailed:
        return QStringLiteral("saveFailed");
    case openElsewhere:
        return QStringLiteral("openElsewhere");
    }
    return {};
}
