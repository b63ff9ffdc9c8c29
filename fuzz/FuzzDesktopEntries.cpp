// Any bytes as the text of a desktop entry: the parser never crashes, never reads out of bounds,
// and whatever entry it answers keeps its invariants.

#include "Platform/Workspace.h"
#include "Platform/X11/DesktopEntries.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto entry = DesktopEntries::parse(bytes, QStringLiteral("fuzz"));
    if (entry && (entry->id != QLatin1String("fuzz") || entry->name.isEmpty()
            || entry->name.size() > RunningApplication::maxNameLength))
        std::abort();
    return 0;
}
