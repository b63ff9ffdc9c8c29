#pragma once
// The stored hotkey names its key by a virtual key code: the position of the key on the
// keyboard, numbered as the other desktop numbers them (8 is the key that types c on a US
// layout). XKB names the same positions ("AB03"); this table maps one to the other.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace VirtualKeys {

// The XKB key name at that position; nothing for a code the table does not hold.
std::optional<QByteArray> xkbKeyName(quint32 virtualKeyCode);
// The virtual key code of an XKB key name; nothing for a key the table does not hold.
std::optional<quint32> virtualKeyCode(const QByteArray& xkbKeyName);
// What the key types at level 0 on a US layout ("c" for 8); empty for a key that types nothing.
QString usText(quint32 virtualKeyCode);

} // namespace VirtualKeys
