#pragma once
// The full-colour application icon (resources/com.vesk.tessellon.svg): a dark tile with light
// brackets, readable on light and dark panels alike. The windows and the status item show it.

#include <QIcon>

namespace AppIcon {

// The icon, drawn from the SVG at every size asked for.
QIcon icon();

} // namespace AppIcon
