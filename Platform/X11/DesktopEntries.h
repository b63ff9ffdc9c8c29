#pragma once
// The freedesktop desktop entries installed for the user and the system: an application's
// id (the entry's path below an applications folder, '/' turned to '-', without ".desktop"),
// its display name and the window class it declares.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace DesktopEntries {

struct Entry
{
    QString id;
    QString name; // localized for the current locale when the entry offers it
    QString startupWMClass;
};

// The applications folders in lookup order: $XDG_DATA_HOME, then each of $XDG_DATA_DIRS.
QStringList applicationDirectories();

// Parses one entry; nothing when it is not a readable application entry within the size cap.
std::optional<Entry> read(const QString& path, const QString& id);

// The entry with that id (".desktop" suffix allowed), the first folder winning.
std::optional<Entry> byId(const QString& id, const QStringList& directories = applicationDirectories());

// The entry that declares the window class (StartupWMClass equal to the class or instance),
// else the one whose id, or its last dotted part, equals the class or instance, ignoring case.
std::optional<Entry> forWindowClass(
    const QString& instance, const QString& className, const QStringList& directories = applicationDirectories());

} // namespace DesktopEntries
