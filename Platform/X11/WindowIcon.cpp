#include "Platform/X11/WindowIcon.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr quint32 maxSide = 1024;

quint32 word(const QByteArray& data, qsizetype index)
{
    quint32 value = 0;
    std::memcpy(&value, data.constData() + index * 4, 4);
    return value;
}
} // namespace

namespace WindowIcon {

std::optional<QImage> fromProperty(const QByteArray& data, int wantedSide)
{
    const qsizetype words = data.size() / 4;
    qsizetype best = -1;
    quint32 bestWidth = 0, bestHeight = 0;
    for (qsizetype at = 0; at + 2 <= words;) {
        const quint32 width = word(data, at);
        const quint32 height = word(data, at + 1);
        if (width == 0 || height == 0 || width > maxSide || height > maxSide)
            break;
        const qsizetype pixels = qsizetype(width) * qsizetype(height);
        if (pixels > words - at - 2)
            break; // cut short: the rest is not a picture
        const auto distance = [&](quint32 w) { return std::abs(int(w) - wantedSide); };
        if (best < 0 || distance(width) < distance(bestWidth)
            || (distance(width) == distance(bestWidth) && width > bestWidth)) {
            best = at + 2;
            bestWidth = width;
            bestHeight = height;
        }
        at += 2 + pixels;
    }
    if (best < 0)
        return std::nullopt;
    QImage image(int(bestWidth), int(bestHeight), QImage::Format_ARGB32);
    if (image.isNull())
        return std::nullopt;
    for (quint32 y = 0; y < bestHeight; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(int(y)));
        for (quint32 x = 0; x < bestWidth; ++x)
            line[x] = word(data, best + qsizetype(y) * bestWidth + x);
    }
    return image;
}

} // namespace WindowIcon
