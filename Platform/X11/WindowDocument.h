#pragma once
// The file a window shows, where Linux programs publish it without an accessibility address: a
// window title that names an existing file ("/dir/name", "~/dir/name", "name (~/dir)" as GTK
// editors write it, or a name beside its folder), else a regular file the window's process
// holds open whose name the title shows.
//
// Only regular files are accepted, and nothing is ever opened: candidates are looked at with
// stat(2) alone, so a FIFO or a device named by a title cannot block the caller.

#include <QString>
#include <QtGlobal>
#include <optional>

namespace WindowDocument {

// Titles and open-file lists longer than these are looked at no further.
inline constexpr qsizetype maxTitleLength = 4096;
inline constexpr int maxOpenFiles = 4096;

// The path a title names, when it is an existing regular file.
std::optional<QString> fromTitle(const QString& title, const QString& home);
// A regular file the process holds open whose name the title shows; `proc` is the process
// table's folder.
std::optional<QString> fromOpenFiles(qint32 pid, const QString& title, const QString& proc = QStringLiteral("/proc"));
// The title's file, else the open file's.
std::optional<QString> path(qint32 pid, const QString& title);

} // namespace WindowDocument
