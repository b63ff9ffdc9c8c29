#pragma once
// The status menu in the tree a screen reader walks. Qt's application element lists the
// application's windows but no pop-up, and the status menu belongs to no window: while it is open
// nothing of it could be found. The application element here lists what Qt's lists, then the
// status menu while it is shown.

class QMenu;

namespace StatusItemAccessible {

// The menu is listed under the application while it is shown, until it is destroyed.
void listWhileShown(QMenu* menu);

} // namespace StatusItemAccessible
