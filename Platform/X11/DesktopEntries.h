#pragma once
// The freedesktop desktop entries installed for the user and the system: an application's
// id (the entry's path below an applications folder, '/' turned to '-', without ".desktop"),
// its display name, the window class it declares and its icon. The folders are read once into
// an index shared by every lookup, and read again when one of them changes.

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
    QString icon; // the Icon key as written: a theme icon name or an absolute path
    QString program; // the program the Exec key starts, as written (a name or a path)
};

// The applications folders in lookup order: $XDG_DATA_HOME, then each of $XDG_DATA_DIRS.
QStringList applicationDirectories();

// Reads one entry; nothing when it is not a regular, readable application entry within the size
// cap. Never blocks: a pipe or device at the path is not opened for reading.
std::optional<Entry> read(const QString& path, const QString& id);
// Parses the text of one entry; the name is cut to RunningApplication::maxNameLength.
std::optional<Entry> parse(const QByteArray& bytes, const QString& id);

// Every readable application entry of the folders, in lookup order; the first entry of an id
// shadows later ones of the same id. Built on first use, rebuilt when a folder has changed.
QList<Entry> all(const QStringList& directories = applicationDirectories());

// The entry with that id (".desktop" suffix allowed), the first folder winning.
std::optional<Entry> byId(const QString& id, const QStringList& directories = applicationDirectories());

// The entry that declares the window class (StartupWMClass equal to the class or instance),
// else the one whose id, or its last dotted part, equals the class or instance, ignoring case.
// When several entries qualify, one that starts a program the window's process runs as wins
// (`processPrograms`: the process's executable paths and names; see runsProgram).
std::optional<Entry> forWindowClass(const QString& instance, const QString& className,
    const QStringList& directories = applicationDirectories(), const QStringList& processPrograms = {});

// True when the entry's program is one of the process's: the same name, or the same file once
// looked up in PATH and symbolic links resolved (an alternatives link such as emacs -> emacs-gtk).
bool runsProgram(const Entry& entry, const QStringList& processPrograms);

} // namespace DesktopEntries
