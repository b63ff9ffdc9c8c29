#pragma once
// Renders a widget off screen into an image and writes it as a PNG: for looking at a view while
// it is built and for comparing it with a reference image later. Header-only so that the support
// library needs no widgets.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSaveFile>
#include <QWidget>

namespace WidgetSnapshot {

// Lays the widget out at `size` (its current size when empty), shows it without putting it on
// screen so that views lay out their items, and paints it into an image of size × scale pixels.
inline QImage render(QWidget& widget, QSize size = {}, qreal scale = 1.0)
{
    if (size.isEmpty())
        size = widget.size().isEmpty() ? widget.sizeHint() : widget.size();
    widget.setAttribute(Qt::WA_DontShowOnScreen);
    widget.resize(size);
    if (!widget.isVisible())
        widget.show();
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(widget.palette().color(QPalette::Window));
    widget.render(&image);
    return image;
}

// Writes the image atomically; false when the folder or file cannot be written.
inline bool writePng(const QImage& image, const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG"))
        return false;
    return file.commit();
}

// Writes the image as fileName into $TESSELLON_REVIEW_DIR when that is set (for a person to look
// at); does nothing otherwise, so that test runs leave no files behind.
inline void saveForReview(const QImage& image, const QString& fileName)
{
    if (qEnvironmentVariableIsSet("TESSELLON_REVIEW_DIR"))
        writePng(image, QDir(qEnvironmentVariable("TESSELLON_REVIEW_DIR")).filePath(fileName));
}

} // namespace WidgetSnapshot
