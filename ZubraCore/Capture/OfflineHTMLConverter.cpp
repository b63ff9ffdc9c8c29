#include "ZubraCore/Capture/OfflineHTMLConverter.h"

namespace OfflineHTMLConverter {

std::optional<AttributedText> convert(const QByteArray&)
{
    return std::nullopt;
}
std::optional<QString> safeLink(const QString&)
{
    return std::nullopt;
}
QString decodeEntities(QStringView text)
{
    return text.toString();
}

} // namespace OfflineHTMLConverter
