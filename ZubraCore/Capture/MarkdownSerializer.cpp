#include "ZubraCore/Capture/MarkdownSerializer.h"

namespace MarkdownSerializer {

QString convert(const AttributedText& source)
{
    return source.text();
}
bool isMonospace(const TextFont& font)
{
    return font.monospaceTrait;
}
QString escapedPlain(QStringView text)
{
    return text.toString();
}
double estimateBodySize(const AttributedText&)
{
    return 12;
}

} // namespace MarkdownSerializer
