// The brand mark as drawn: symmetric, the dot centred, strokes of the right weight at any
// size, and the status image in the palette's text colour.

#include "Zubra/Shell/BrandMark.h"
#include "support/TestMain.h"
#include "ReviewImage.h"

#include <QApplication>
#include <QPainter>

namespace {
QImage render(int side, const std::function<void(QPainter&, QRectF)>& paint)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter, QRectF(0, 0, side, side));
    return image;
}

// The centre of the painted coverage (pixel centres at +0.5).
QPointF centroid(const QImage& image)
{
    double sum = 0, sx = 0, sy = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(image.pixel(x, y));
            sum += a;
            sx += a * (x + 0.5);
            sy += a * (y + 0.5);
        }
    return {sx / sum, sy / sum};
}

// Rows of one column whose pixel is mostly covered.
int coveredRows(const QImage& image, int x, int fromY, int toY)
{
    int rows = 0;
    for (int y = fromY; y <= toY; ++y)
        rows += qAlpha(image.pixel(x, y)) > 127;
    return rows;
}
} // namespace

class TestBrandMark : public QObject
{
    Q_OBJECT

private slots:
    void markAtAnySize_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("stroke"); // the top bar's thickness in whole pixels, about
        QTest::newRow("16: the minimum stroke") << 16 << 2;
        QTest::newRow("20: still the minimum") << 20 << 2;
        QTest::newRow("44: 3.3") << 44 << 3;
        QTest::newRow("128") << 128 << 10;
    }
    void markAtAnySize()
    {
        QFETCH(int, side);
        QFETCH(int, stroke);
        const QColor ink(20, 20, 20), accent(0, 122, 255);
        const QImage image = render(side, [&](QPainter& p, QRectF r) { BrandMark::paintMark(p, r, ink, accent); });
        // Left and right balance each other, as do top and bottom.
        const QPointF middle = centroid(image);
        QVERIFY(qAbs(middle.x() - side / 2.0) < 0.1);
        QVERIFY(qAbs(middle.y() - side / 2.0) < 0.1);
        // The dot: accent colour in the centre.
        const QColor centre = image.pixelColor(side / 2, side / 2);
        QCOMPARE(centre.blue(), 255);
        QVERIFY(centre.red() < 40);
        // The top bar of the opening bracket, through its middle column.
        const int x = int(0.28 * side);
        const int rows = coveredRows(image, x, 0, side / 3);
        QVERIFY2(qAbs(rows - stroke) <= 1, qPrintable(QString::number(rows)));
        // Nothing outside the brackets' box, beyond the stroke.
        QCOMPARE(qAlpha(image.pixel(1, side / 2)), 0);
        ReviewImage::saveForReview(image, QStringLiteral("mark-") + QString::number(side));
    }

    void statusImageInTheTextColour()
    {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::WindowText, QColor(230, 230, 230));
        QApplication::setPalette(palette);
        const QIcon icon = BrandMark::statusIcon();
        QCOMPARE(icon.availableSizes(), QList<QSize> {QSize(18, 18)});
        const QImage image = icon.pixmap(18, 18).toImage();
        QCOMPARE(image.size(), QSize(18, 18));
        // Dot and brackets alike in the palette's text colour.
        const QColor dot = image.pixelColor(9, 9);
        QCOMPARE(dot.alpha(), 255);
        QCOMPARE(dot.red(), 230);
        QVERIFY(qAlpha(image.pixel(int(0.18 * 18), 9)) > 127);
        const QImage big = icon.pixmap(72, 72).toImage();
        QCOMPARE(big.size(), QSize(72, 72));
        // 1.8 per 18: four times thicker at four times the size, about 7 pixels.
        QVERIFY(qAbs(coveredRows(big, int(0.28 * 72), 0, 24) - 7) <= 1);
        ReviewImage::saveForReview(image.scaled(72, 72), QStringLiteral("status-image"));
    }
};

TESSELLON_GUI_TEST_MAIN(TestBrandMark)
#include "tst_BrandMark.moc"
