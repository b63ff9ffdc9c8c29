#include "Zubra/Shell/BrandMark.h"
#include "Zubra/Widgets/PaintedIconEngine.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <array>

namespace {
struct Fraction
{
    qreal x, y;
};
// Opening bracket, then closing bracket; neither is closed.
constexpr std::array<Fraction, 4> opening {{{0.38, 0.16}, {0.18, 0.16}, {0.18, 0.84}, {0.38, 0.84}}};
constexpr std::array<Fraction, 4> closing {{{0.62, 0.16}, {0.82, 0.16}, {0.82, 0.84}, {0.62, 0.84}}};
constexpr qreal statusDesignSide = 18.0;
constexpr qreal statusStroke = 1.8;

QRectF square(const QRectF& rect)
{
    const qreal side = qMin(rect.width(), rect.height());
    return {rect.center().x() - side / 2, rect.center().y() - side / 2, side, side};
}

void paintBrackets(
    QPainter& painter, const QRectF& rect, const QColor& color, qreal width, const QColor& dot, qreal dotSide)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(BrandMark::brackets(rect));
    painter.setPen(Qt::NoPen);
    painter.setBrush(dot);
    painter.drawEllipse(rect.center(), dotSide / 2, dotSide / 2);
    painter.restore();
}

class MarkEngine final : public PaintedIconEngine
{
public:
    MarkEngine(bool status, QColor color)
        : m_status(status)
        , m_color(color)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        const QPalette palette = QApplication::palette();
        const QColor text = m_color.isValid() ? m_color : palette.color(QPalette::WindowText);
        if (m_status)
            BrandMark::paintStatusImage(*painter, rect, text);
        else
            BrandMark::paintMark(*painter, rect, text, palette.color(QPalette::Highlight));
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        if (m_status)
            return {QSize(int(statusDesignSide), int(statusDesignSide))};
        return {QSize(16, 16), QSize(32, 32), QSize(44, 44), QSize(64, 64), QSize(128, 128), QSize(256, 256)};
    }

    QIconEngine* clone() const override { return new MarkEngine(m_status, m_color); }

private:
    bool m_status;
    QColor m_color;
};
} // namespace

namespace BrandMark {

QPainterPath brackets(const QRectF& rect)
{
    QPainterPath path;
    for (const auto& bracket : {opening, closing}) {
        path.moveTo(rect.left() + bracket[0].x * rect.width(), rect.top() + bracket[0].y * rect.height());
        for (std::size_t i = 1; i < bracket.size(); ++i)
            path.lineTo(rect.left() + bracket[i].x * rect.width(), rect.top() + bracket[i].y * rect.height());
    }
    return path;
}

qreal strokeWidth(qreal side)
{
    return qMax(side * 0.075, 1.5);
}

qreal dotDiameter(qreal side)
{
    return side * 0.16;
}

void paintMark(QPainter& painter, const QRectF& rect, const QColor& foreground, const QColor& accent)
{
    const QRectF area = square(rect);
    paintBrackets(painter, area, foreground, strokeWidth(area.width()), accent, dotDiameter(area.width()));
}

void paintStatusImage(QPainter& painter, const QRectF& rect, const QColor& color)
{
    const QRectF area = square(rect);
    paintBrackets(
        painter, area, color, statusStroke * area.width() / statusDesignSide, color, dotDiameter(area.width()));
}

QIcon markIcon()
{
    return QIcon(new MarkEngine(false, {}));
}

QIcon statusIcon(const QColor& color)
{
    return QIcon(new MarkEngine(true, color));
}

} // namespace BrandMark

TessellonMarkView::TessellonMarkView(int side, QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(side, side);
    setAccessibleName(QString()); // decoration only
    setFocusPolicy(Qt::NoFocus);
}

void TessellonMarkView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    BrandMark::paintMark(painter, rect(), palette().color(QPalette::WindowText), palette().color(QPalette::Highlight));
}
