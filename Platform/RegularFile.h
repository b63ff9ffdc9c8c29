#pragma once
// Reading a file that others may have placed: only a regular file is read, opened without
// blocking (a pipe or a device at the path never stalls the caller) and only up to a size cap.

#include <QByteArray>
#include <QString>
#include <optional>

namespace RegularFile {

// The whole file; nothing when it is missing, unreadable, not a regular file (after following
// links) or larger than maxBytes.
std::optional<QByteArray> read(const QString& path, qint64 maxBytes);

} // namespace RegularFile
