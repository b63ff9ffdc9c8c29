// Any bytes as HTML from the clipboard: the converter never crashes, never reads out of bounds,
// and whatever it answers keeps the invariants of attributed text, with safe links only.

#include "FuzzRichText.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto text = OfflineHTMLConverter::convert(bytes)) {
        // Every UTF-8 input byte gives at most one UTF-16 unit, plus the line breaks of blocks.
        checkAttributedText(*text, 4 * OfflineHTMLConverter::maxInputBytes);
        if (text->isEmpty())
            std::abort();
    }
    return 0;
}
