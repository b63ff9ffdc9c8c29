#pragma once
// The views the surface export renders besides the real ones: the canvas that re-hosts the main
// window's views in a fixed arrangement, the storage-failure canvas, the sample screenshot, and
// the real views built with fixed inputs and actions that do nothing.

#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/StorePersistenceStatus.h"

#include <QSettings>
#include <QUuid>
#include <QWidget>
#include <optional>

class Store;

namespace AppScreenshotExporter {

// The main window's views over a fixture store: the sidebar beside the list and a selection's
// detail, the composer of a draft, or the empty library.
class UISurfaceCanvas final : public QWidget
{
    Q_OBJECT

public:
    struct Mode
    {
        enum class Kind { library, compose, emptyCompose, emptyLibrary };
        Kind kind = Kind::emptyLibrary;
        QUuid id;

        static Mode library(const QUuid& selectionID) { return {Kind::library, selectionID}; }
        static Mode compose(const QUuid& draftID) { return {Kind::compose, draftID}; }
        static Mode emptyCompose(const QUuid& draftID) { return {Kind::emptyCompose, draftID}; }
        static Mode emptyLibrary() { return {Kind::emptyLibrary, {}}; }
    };

    UISurfaceCanvas(Store& store, Mode mode, QSettings& templateDefaults, QWidget* parent = nullptr);
};

namespace SurfaceCanvases {

QWidget* detail(Store& store, const Selection& selection);
// The empty-state view while a search for "actors" finds nothing.
QWidget* emptySearch(Store& store);
// The empty-state view for a group the store does not hold.
QWidget* emptyScope(Store& store);
QWidget* newGroupSheet();
// An empty sidebar column beside the notice of an unusable library file.
QWidget* storageFailure(StorePersistenceStatus status);
// The titled list of captures beside the detail of the selected one.
QWidget* sampleScreenshot(Store& store, const QUuid& selectedID);

} // namespace SurfaceCanvases

} // namespace AppScreenshotExporter
