#include "ZubraCore/Capture/RtfReader.h"

namespace RtfReader {

std::optional<AttributedText> read(const QByteArray&)
{
    return std::nullopt;
}
std::optional<AttributedText> readRtfd(const QByteArray&)
{
    return std::nullopt;
}

} // namespace RtfReader
