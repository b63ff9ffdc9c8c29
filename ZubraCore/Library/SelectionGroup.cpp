#include "ZubraCore/Library/SelectionGroup.h"

#include <QHashFunctions>

QColor SelectionGroup::color() const
{
    return colorFromHexString(colorHex).value_or(fallbackGroupColor());
}

size_t qHash(const SelectionGroup& g, size_t seed) noexcept
{
    return qHashMulti(seed, g.id, g.name, g.colorHex, g.createdAt);
}

std::optional<QColor> colorFromHexString(const QString& text)
{
    QStringView digits = QStringView(text).trimmed();
    if (digits.startsWith(u'#'))
        digits = digits.sliced(1);
    if (digits.size() != 6)
        return std::nullopt;
    for (QChar c : digits) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return std::nullopt;
    }
    const uint v = digits.toUInt(nullptr, 16);
    QColor color;
    color.setRgbF(float(((v >> 16) & 0xFF) / 255.0), float(((v >> 8) & 0xFF) / 255.0), float((v & 0xFF) / 255.0), 1.0f);
    return color;
}

QColor fallbackGroupColor()
{
    return QColor(0x30, 0xB0, 0xC7);
}
