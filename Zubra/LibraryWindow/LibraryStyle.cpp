#include "Zubra/LibraryWindow/LibraryStyle.h"

#include <QWidget>

namespace LibraryStyle {

namespace {

QFont scaled(const QFont& base, qreal factor, QFont::Weight weight)
{
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

QColor blend(const QColor& text, const QColor& background, qreal amount)
{
    return QColor::fromRgbF(text.redF() * amount + background.redF() * (1 - amount),
        text.greenF() * amount + background.greenF() * (1 - amount),
        text.blueF() * amount + background.blueF() * (1 - amount));
}

} // namespace

QFont title3(const QFont& base)
{
    return scaled(base, 1.3, QFont::DemiBold);
}

QFont headline(const QFont& base)
{
    return scaled(base, 1.1, QFont::DemiBold);
}

QFont callout(const QFont& base)
{
    return scaled(base, 0.95, QFont::Normal);
}

QFont caption(const QFont& base)
{
    return scaled(base, 0.85, QFont::Normal);
}

QFont caption2(const QFont& base)
{
    return scaled(base, 0.78, QFont::Normal);
}

QColor secondaryText(const QPalette& palette)
{
    return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.62);
}

QColor tertiaryText(const QPalette& palette)
{
    return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.4);
}

QColor green()
{
    return QColor(0x34, 0xA8, 0x53);
}

QColor orange()
{
    return QColor(0xF0, 0x8A, 0x00);
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

} // namespace LibraryStyle
