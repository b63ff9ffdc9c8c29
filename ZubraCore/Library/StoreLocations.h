#pragma once
// Where the library files lie: the current library, its backup, and the earlier product's library.

#include <QString>

namespace StoreLocations {

// $XDG_DATA_HOME/Tessellon/Tessellon.json; creates the folder on every call (a failure is ignored).
QString defaultStoreURL();
// The same path, without creating anything.
QString defaultStorePath();

// The library path without its extension, plus ".backup.json", in the same folder
// ("Library.json" → "Library.backup.json").
QString backupURL(const QString& storeURL);

// $XDG_DATA_HOME/Zubra/Zubra.json; nothing is created.
QString legacyStoreURL();

} // namespace StoreLocations
