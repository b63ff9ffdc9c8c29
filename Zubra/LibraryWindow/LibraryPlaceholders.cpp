#include "Zubra/LibraryWindow/LibraryPlaceholders.h"

#include "Zubra/Widgets/Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QColor faded(const QWidget* widget, qreal alpha)
{
    QColor color = widget->palette().color(QPalette::WindowText);
    color.setAlphaF(alpha);
    return color;
}

// A page with lines of text and a magnifying glass over its corner.
class InspectGlyph : public QWidget
{
public:
    explicit InspectGlyph(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(40, 44);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor color = faded(this, 0.35);
        p.setPen(QPen(color, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QRectF page(4, 2, 26, 34);
        const qreal fold = 8;
        QPainterPath path;
        path.moveTo(page.topLeft());
        path.lineTo(page.right() - fold, page.top());
        path.lineTo(page.right(), page.top() + fold);
        path.lineTo(page.right(), page.top() + 16);
        path.moveTo(page.right() - 12, page.bottom());
        path.lineTo(page.left(), page.bottom());
        path.closeSubpath();
        p.drawPath(path);
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(page.left() + 6, page.top() + 11 + 6 * i), QPointF(page.left() + 16, page.top() + 11 + 6 * i));
        p.drawEllipse(QPointF(27, 29), 7, 7);
        p.drawLine(QPointF(32, 34), QPointF(37, 40));
    }
};

} // namespace

namespace LibraryPlaceholders {

QWidget* detail(QWidget* parent)
{
    auto* widget = new QWidget(parent);
    auto* layout = new QVBoxLayout(widget);
    layout->setSpacing(10);
    layout->addStretch(1);
    layout->addWidget(new InspectGlyph(widget), 0, Qt::AlignHCenter);
    auto* text = new QLabel(QStringLiteral("Select a selection to inspect it"), widget);
    QPalette palette = text->palette();
    palette.setColor(QPalette::WindowText, faded(widget, 0.6));
    text->setPalette(palette);
    layout->addWidget(text, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return widget;
}

QWidget* missingDraft(QWidget* parent, QPushButton** newPromptButton)
{
    auto* widget = new QWidget(parent);
    auto* layout = new QVBoxLayout(widget);
    layout->setSpacing(12);
    layout->addStretch(1);

    auto* titleRow = new QWidget(widget);
    auto* titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setSpacing(6);
    QFont titleFont = widget->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::DemiBold);
    auto* symbol = new QLabel(titleRow);
    const int symbolSize = QFontMetrics(titleFont).height();
    symbol->setPixmap(Symbols::icon(Symbols::Symbol::textBubble).pixmap(symbolSize, symbolSize));
    auto* title = new QLabel(QStringLiteral("No prompt yet"), titleRow);
    title->setFont(titleFont);
    titleLayout->addWidget(symbol);
    titleLayout->addWidget(title);
    layout->addWidget(titleRow, 0, Qt::AlignHCenter);

    auto* button = new QPushButton(QStringLiteral("New Prompt"), widget);
    button->setDefault(true);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    *newPromptButton = button;
    return widget;
}

QWidget* sidebar(QWidget* parent)
{
    auto* widget = new QWidget(parent);
    widget->setAutoFillBackground(true);
    return widget;
}

} // namespace LibraryPlaceholders
