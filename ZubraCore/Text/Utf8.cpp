#include "ZubraCore/Text/Utf8.h"

#include <QStringDecoder>

namespace Utf8 {

std::optional<QString> decodeStrict(QByteArrayView bytes)
{
    // Stateless: a sequence cut off at the end is an error, not state kept for a next call.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes); // the decoding runs on conversion
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace Utf8
