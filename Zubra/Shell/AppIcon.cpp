#include "Zubra/Shell/AppIcon.h"

#include "AppIconData.h"
#include "Zubra/Widgets/PaintedIconEngine.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

class SvgEngine final : public PaintedIconEngine
{
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        static QSvgRenderer renderer(QByteArray::fromRawData(appIconSvg, int(sizeof appIconSvg - 1)));
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        const int side = qMin(rect.width(), rect.height());
        renderer.render(painter,
            QRectF(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0, side, side));
        painter->restore();
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64),
            QSize(128, 128), QSize(256, 256)};
    }

    QIconEngine* clone() const override { return new SvgEngine; }
};

} // namespace

namespace AppIcon {

QIcon icon()
{
    return QIcon(new SvgEngine);
}

} // namespace AppIcon
