#include "ZubraCore/Capture/MarkdownHtml.h"

namespace MarkdownHtml {

std::optional<QByteArray> htmlDocument(const QString&)
{
    return std::nullopt;
}

} // namespace MarkdownHtml
