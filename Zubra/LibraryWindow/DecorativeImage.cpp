#include "Zubra/LibraryWindow/DecorativeImage.h"

#include <QPainter>

DecorativeImage::DecorativeImage(const QSize& size)
    : QSpacerItem(size.width(), size.height(), QSizePolicy::Fixed, QSizePolicy::Fixed)
{
}

QRect DecorativeImage::imageRect() const
{
    const QSize size = sizeHint();
    const QRect place = geometry();
    return QRect(place.x() + (place.width() - size.width()) / 2, place.y() + (place.height() - size.height()) / 2,
        size.width(), size.height());
}

DecoratedWidget::DecoratedWidget(QWidget* parent)
    : QWidget(parent)
{
}

DecorativeImage* DecoratedWidget::addImage(const QSize& size)
{
    auto* image = new DecorativeImage(size);
    m_images.append(image);
    return image;
}

void DecoratedWidget::setPixmap(DecorativeImage* image, const QPixmap& pixmap)
{
    image->m_pixmap = pixmap;
    update(image->imageRect());
}

void DecoratedWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    for (const DecorativeImage* image : std::as_const(m_images))
        if (!image->pixmap().isNull())
            painter.drawPixmap(image->imageRect(), image->pixmap());
}
