#pragma once
// Creating a folder with its missing parents, saying where and why it stopped: the library's
// folders (DiskFileSystem) and the export's are made this way. Folders with needs of their own
// are made where they are needed: the settings file's (RegularFile), the instance channel's and
// autostart's. And the XDG base-folder variables a process may trust.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <sys/types.h>

namespace Folders {

// Where making a folder chain stopped: the folder and the errno that stopped it.
struct Failure
{
    QString folder;
    int error = 0;
};

// Creates `path` and every missing parent. Existing folders are left as they are; a path part
// that exists but is no folder fails with ENOTDIR. New folders get `mode` less the umask, or
// exactly `mode` when `exact` (a private folder stays private whatever the umask).
std::optional<Failure> createWithParents(const QString& path, mode_t mode, bool exact = false);

// Takes the XDG base-folder variables that hold a relative path out of the environment, and the
// relative entries out of the folder lists: relative values are invalid and to be ignored, so
// this process and the programs it starts use the defaults under HOME instead of folders that
// depend on where the program was started. Returns "NAME=value" for each value dropped. Call
// before any thread runs.
QStringList ignoreRelativeBaseFolders();

// What became of HOME.
struct Home
{
    enum Outcome { kept, replaced, missing };
    Outcome outcome = kept;
    QString previous; // the value replaced or refused; empty when it was unset
};

// This user's home as the password database gives it; empty when it gives none.
QString passwordDatabaseHome();

// Makes HOME an absolute path before anything reads it: unset, empty or relative, it takes the
// password database's home, as a login would; otherwise every default folder (the library's,
// the settings', the log's) would be made under "/" or wherever the program was started.
// `missing` when no absolute home can be had: the program must not start then. Call before any
// thread runs.
Home settleHome(const std::function<QString()>& databaseHome = passwordDatabaseHome);

} // namespace Folders
