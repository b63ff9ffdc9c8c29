#pragma once
// Application icons by the freedesktop icon-theme rules: the Icon value of a desktop entry
// names a file (an absolute path, taken as given) or an icon looked up in the desktop's icon
// theme, its parent themes and hicolor, then among the pictures of the pixmaps folder.

#include <QIcon>
#include <QString>
#include <QStringList>
#include <optional>

namespace IconTheme {

// The folders searched last, for a picture named like the icon.
QStringList pixmapDirectories();

// The icon an Icon value names; nothing when no readable picture stands behind it.
std::optional<QIcon> resolve(const QString& iconValue, const QStringList& pixmapDirectories = IconTheme::pixmapDirectories());

} // namespace IconTheme
