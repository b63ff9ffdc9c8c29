#pragma once
// Turns one view into one PNG file off screen: the view is framed to the exact size on the window
// colour of the chosen scheme, given a short turn of the event loop to settle, painted into an
// image of the requested scale and written atomically. Every image of the export is made here.

#include <QPalette>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

class FileSystem;
class QWidget;

namespace AppScreenshotExporter {

enum class ColorScheme { light, dark };

// The palettes of the two schemes, on the Fusion style.
QPalette palette(ColorScheme scheme);

// Renders the view that `make` builds (the call takes it over and deletes it) at `size` points
// and `scale` pixels per point to `path`, with the scheme's palette as the application's while
// the view is built and drawn. No value on success, else the error's text.
std::optional<QString> render(
    const std::function<QWidget*()>& make, QSize size, int scale, ColorScheme scheme, const QString& path);
// Writes the encoded image in one step; no value on success, else the system's description.
std::optional<QString> writeImage(FileSystem& files, const QString& path, const QByteArray& png);

} // namespace AppScreenshotExporter
