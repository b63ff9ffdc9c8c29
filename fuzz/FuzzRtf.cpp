// Any bytes as RTF from the clipboard: the reader never crashes, never reads out of bounds, and
// whatever it answers keeps the invariants of attributed text within the reader's limits.

#include "FuzzRichText.h"
#include "ZubraCore/Capture/RtfReader.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto text = RtfReader::read(bytes)) {
        checkAttributedText(*text, RtfReader::maxOutputLength);
        if (text->runs().size() > RtfReader::maxRuns)
            std::abort();
    }
    return 0;
}
