// The application icon the status item shows: drawn at the sizes trays ask for, and readable on
// a light and on a dark panel (it carries both light and dark strokes, so either background
// leaves a clear shape). Pictures of it on both panels go to $TESSELLON_REVIEW_DIR when set.

#include "ReviewImage.h"
#include "Zubra/Shell/AppIcon.h"
#include "support/TestMain.h"

#include <QPainter>

namespace {

// The share of the icon's opaque pixels whose lightness differs from the panel's by at least
// half the range.
qreal contrastingShare(const QImage& icon, const QColor& panel)
{
    int opaque = 0;
    int contrasting = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QColor pixel = icon.pixelColor(x, y);
            if (pixel.alphaF() < 0.9f)
                continue;
            ++opaque;
            if (qAbs(pixel.lightnessF() - panel.lightnessF()) >= 0.5f)
                ++contrasting;
        }
    }
    return opaque == 0 ? 0 : qreal(contrasting) / opaque;
}

} // namespace

class TestAppIcon : public QObject
{
    Q_OBJECT

private slots:
    void readableOnLightAndDarkPanels_data()
    {
        QTest::addColumn<int>("side");
        for (int side : {16, 22, 24, 32, 48})
            QTest::addRow("%d px", side) << side;
    }

    void readableOnLightAndDarkPanels()
    {
        QFETCH(int, side);
        const QImage icon = AppIcon::icon().pixmap(QSize(side, side), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(side, side));
        for (const QColor& panel : {QColor(0xf6, 0xf5, 0xf4), QColor(0x24, 0x24, 0x24)}) {
            const qreal share = contrastingShare(icon, panel);
            // Enough of the icon stands apart from the panel to read its shape.
            QVERIFY2(share >= 0.1, qPrintable(panel.name() + u' ' + QString::number(share)));
        }
        if (side == 24) {
            QImage panels(QSize(96, 32), QImage::Format_ARGB32);
            QPainter painter(&panels);
            painter.fillRect(QRect(0, 0, 48, 32), QColor(0xf6, 0xf5, 0xf4));
            painter.fillRect(QRect(48, 0, 48, 32), QColor(0x24, 0x24, 0x24));
            painter.drawImage(QPoint(12, 4), icon);
            painter.drawImage(QPoint(60, 4), icon);
            painter.end();
            ReviewImage::saveForReview(panels.scaled(panels.size() * 4), QStringLiteral("tray-icon-light-dark-panels"));
        }
    }
};

TESSELLON_GUI_TEST_MAIN(TestAppIcon)
#include "tst_AppIcon.moc"
