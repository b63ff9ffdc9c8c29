#include "Zubra/Shell/UpdatePolicy.h"

#include <limits>

namespace UpdatePolicy {

Error refusal()
{
    return {QStringLiteral("Tessellon.Update"), 1,
        QStringLiteral("This update could not be verified. Please try again later.")};
}

std::optional<qint64> readBuildNumber(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulated as a negative number, whose range reaches the smallest 64-bit value.
    qint64 value = 0;
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::nullopt;
    return -value;
}

std::optional<Error> shouldProceed(
    const std::optional<QString>& runningBuild, const OfferedItem& item, const QString& downloadLocation)
{
    const qint64 running = runningBuild ? readBuildNumber(*runningBuild).value_or(std::numeric_limits<qint64>::max())
                                        : std::numeric_limits<qint64>::max();
    const auto offered = readBuildNumber(item.versionString);
    if (!offered || *offered <= running || !item.fileURL)
        return refusal();
    const QString expected = downloadLocation + QStringLiteral("Tessellon-") + QString::number(*offered)
        + QStringLiteral(".dmg");
    if (*item.fileURL != expected)
        return refusal();
    return std::nullopt;
}

} // namespace UpdatePolicy

