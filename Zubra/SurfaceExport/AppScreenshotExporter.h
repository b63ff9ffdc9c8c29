#pragma once
// The export mode: renders the application's views with fixture data into PNG files. Each
// operation answers no value on success or the text of the first error.

#include "Zubra/SurfaceExport/ExportFlags.h"

#include <QString>
#include <QStringList>
#include <optional>

class Store;

namespace AppScreenshotExporter {

// The capture shortcut every exported view shows.
inline constexpr char16_t hotkeyDisplay[] = u"Alt+Shift+C";

// The full set of surfaces into `directory`, or only the storage-failure surfaces when the
// process's arguments hold "-exportStorageFailureSurfaces".
std::optional<QString> exportSurfaces(const QString& directory, const QStringList& arguments);
// The four images of an unusable library file.
std::optional<QString> exportStorageFailureSurfaces(const QString& directory);
// The double-resolution picture of the library with the sample captures.
std::optional<QString> exportSampleScreenshot(const QString& path);

// The sample captures, one group of two and an active prompt of four.
void populateSampleStore(Store& store);

} // namespace AppScreenshotExporter
