#pragma once
// The icon a window publishes in _NET_WM_ICON: a list of pictures, each its width, its height
// and width × height 32-bit ARGB pixels (not premultiplied), packed as 32-bit numbers.

#include <QByteArray>
#include <QImage>
#include <optional>

namespace WindowIcon {

// The picture closest to the wanted side (a larger one wins a tie); nothing when the data holds
// no complete, sensibly sized picture. The data comes from another client: every size is checked.
std::optional<QImage> fromProperty(const QByteArray& data, int wantedSide = 64);

} // namespace WindowIcon
