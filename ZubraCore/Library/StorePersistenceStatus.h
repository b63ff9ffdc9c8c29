#pragma once
// What the library files allow at the moment, as the store publishes it, and how the windows
// present a library that cannot be opened.

#include <QHashFunctions>
#include <QMetaType>
#include <QString>
#include <optional>

// The blocking library states, as the windows and the capture flow show them.
class LibraryRecoveryPresentation
{
public:
    enum Value : quint8 { unreadable, incompatibleVersion, inUse };

    constexpr LibraryRecoveryPresentation(Value value)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    QString title() const;
    QString message() const;
    // Whether the notice offers to reveal the library folder (not for a newer version's files).
    bool canRevealLibraryFolder() const;

private:
    Value m_value;
};

inline size_t qHash(LibraryRecoveryPresentation presentation, size_t seed = 0) noexcept
{
    return qHash(quint8(LibraryRecoveryPresentation::Value(presentation)), seed);
}

class StorePersistenceStatus
{
public:
    enum Value : quint8 {
        ready, // opened normally, or there is no library yet
        recoveredFromBackup, // the damaged or missing primary was restored from the backup at launch
        unreadablePrimary, // the primary could not be read nor safely replaced: nothing is saved
        incompatibleVersion, // a file of a version this program does not read: both left unchanged
        backupUnavailable, // the library is fine but its backup could not be written
        saveFailed, // the last save failed for another reason
        openElsewhere, // another running session holds the library for writing: read-only here
    };

    constexpr StorePersistenceStatus(Value value = ready)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    // The notice for a library that cannot be opened; nothing for the other statuses.
    std::optional<LibraryRecoveryPresentation> unavailableLibraryPresentation() const;
    // Why a capture is refused; nothing when captures may be saved.
    std::optional<QString> blockedCaptureMessage() const;
    // Ask for Accessibility at launch only when it is missing and the library is usable.
    bool shouldShowLaunchAccessibilityPrompt(bool isAccessibilityTrusted) const;

    // The case name, for diagnostics.
    QString name() const;

private:
    Value m_value;
};

inline size_t qHash(StorePersistenceStatus status, size_t seed = 0) noexcept
{
    return qHash(quint8(StorePersistenceStatus::Value(status)), seed);
}

Q_DECLARE_METATYPE(StorePersistenceStatus)
