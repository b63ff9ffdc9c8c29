#pragma once
// Reading a file that others may have placed: only a regular file is read, opened without
// blocking (a pipe or a device at the path never stalls the caller) and only up to a size cap.
// Preparing a private file at such a path: nothing is written through a link or onto anything
// but a regular file of this user.

#include <QByteArray>
#include <QString>
#include <optional>

namespace RegularFile {

// The whole file; nothing when it is missing, unreadable, not a regular file (after following
// links) or larger than maxBytes.
std::optional<QByteArray> read(const QString& path, qint64 maxBytes);

// Whether a regular file stands at the path (after following links), found without blocking.
bool isRegularFile(const QString& path);

// A private file of this user at a path others might have placed something at (a settings file).
enum class PrivateFileProblem {
    link, // a symbolic link: never followed, whatever it names
    notAFile, // a folder, a pipe, a device or a socket
    otherOwner, // a regular file of another user
    notCreated, // missing, and it or its folder could not be made
};

// Makes the path ready to hold a private file without following a link or blocking: the folder
// is created 0700 when missing (its last part tightened to 0700 when it is this user's and
// looser), a missing file is created empty with mode 0600 and an existing regular file of this
// user tightened to 0600. Nothing when the path now holds such a file.
std::optional<PrivateFileProblem> preparePrivateFile(const QString& path);

} // namespace RegularFile
