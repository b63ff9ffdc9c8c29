#include "Zubra/SurfaceExport/SurfaceRenderer.h"

#include "Platform/DiskFileSystem.h"
#include "Zubra/SurfaceExport/ExportFlags.h"

#include <QApplication>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <QScopeGuard>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>
#include <memory>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace AppScreenshotExporter {

namespace {

// The turn of the event loop a view gets before it is captured: queued work (a store's change
// signals, a coalesced refresh) runs in it.
constexpr std::chrono::milliseconds settleTime = 50ms;

} // namespace

QPalette palette(ColorScheme scheme)
{
    QPalette p = QApplication::style()->standardPalette();
    if (scheme == ColorScheme::light)
        return p;
    const QColor window(0x2B, 0x2B, 0x2E);
    const QColor base(0x1E, 0x1E, 0x20);
    const QColor text(0xEC, 0xEC, 0xEE);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window.lighter(110));
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x9A, 0x9A, 0xA0));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3E));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x50));
    p.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x45));
    p.setColor(QPalette::Mid, QColor(0x33, 0x33, 0x37));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1A));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x2F, 0x6F, 0xD6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6E, 0xA8, 0xFF));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x77, 0x77, 0x7C));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x77, 0x77, 0x7C));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x77, 0x77, 0x7C));
    return p;
}

std::optional<QString> render(
    const std::function<QWidget*()>& make, QSize size, int scale, ColorScheme scheme, const QString& path)
{
    // The scheme is the application's palette while the view is built and drawn, as a desktop
    // theme is for the running program: colours a view derives itself (secondary captions, an
    // accent-filled button) come out as they do there. No widget's own palette is overwritten.
    const QPalette former = QApplication::palette();
    QApplication::setPalette(palette(scheme));
    const auto restore = qScopeGuard([&former] { QApplication::setPalette(former); });

    // The frame: exactly the size, the view centred on the window colour.
    auto frame = std::make_unique<QWidget>();
    frame->setAttribute(Qt::WA_DontShowOnScreen);
    frame->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(frame.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(make());
    frame->setFixedSize(size);
    frame->show();

    const QDeadlineTimer settled(settleTime);
    while (!settled.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(settled.remainingTime()));
    // What the turn's last steps posted (a layout asked again after a text wrapped) runs before
    // the capture, however slowly the machine got through the turn.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();

    QImage image(size.width() * scale, size.height() * scale, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return description(ExportError::renderFailed);
    image.setDevicePixelRatio(scale);
    image.fill(palette(scheme).color(QPalette::Window));
    {
        QPainter painter(&image);
        frame->render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    frame->hide();

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG") || png.isEmpty())
        return description(ExportError::encodeFailed);
    DiskFileSystem disk;
    return writeImage(disk, path, png);
}

std::optional<QString> writeImage(FileSystem& files, const QString& path, const QByteArray& png)
{
    // The file system's own words ("No space left on device"), not a generic device error. The
    // images are the user's files: their mode follows the umask, as any program's output does.
    if (const FileOutcome failed = files.writeAtomically(path, png, FileAccess::umask))
        return failed->description;
    return std::nullopt;
}

} // namespace AppScreenshotExporter
