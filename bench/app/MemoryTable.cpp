// Where the application's resident memory goes with a large library: the decoded records by
// field, then what the store's index (orders, keys, search text) and the item models add.
// Usage: tessellon_memory_table SELECTIONS

#include "bench/support/LibraryGenerator.h"

#include "Platform/SystemLog.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Library/StorePersistence.h"
#include "ZubraCore/Models/SidebarModel.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"
#include "ZubraCore/Support/Logging.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {

class SilentLog final : public SystemLog
{
public:
    void write(const SystemLogEntry&) override { }
};

double residentMB()
{
    ::malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return double(fields.value(1).toLongLong()) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The heap a string's own block takes (header, code units, terminator, allocator rounding),
// once per block however many strings share it.
struct Tally
{
    QSet<const void*> seen;
    double bytes = 0;
    void add(const QString& s)
    {
        if (s.isNull() || s.capacity() == 0 || seen.contains(s.constData()))
            return;
        seen.insert(s.constData());
        addBlock(16 + size_t(s.capacity() + 1) * 2);
    }
    // A heap block with the allocator's header and rounding.
    void addBlock(size_t size) { bytes += double((size + 8 + 15) / 16 * 16); }
    void add(const std::optional<QString>& s)
    {
        if (s)
            add(*s);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    static SilentLog log;
    Loggers::setSystemLog(&log);
    const int n = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50000;
    QTemporaryDir dir;
    const QString primary = dir.filePath(QStringLiteral("Tessellon.json"));
    {
        StorePersistence writer(primary, StoreLocations::backupURL(primary));
        if (writer.write(LibraryGenerator::generate(n)))
            return 1;
    }
    std::printf("%d selections; bytes per selection\n", n);

    const double base = residentMB();
    QSettings defaults(dir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    Store store(primary, &defaults);
    store.index().search(); // waits for the search text built in the background
    const double withStore = residentMB() - base;
    VisibleSelectionsModel visible(&store);
    SidebarModel sidebar(&store);
    const double total = residentMB() - base;

    // The records, counted string by string (each shared block once).
    const QList<Selection>& selections = store.selections();
    Tally text, markdown, small;
    double groups = 0;
    for (const Selection& s : selections) {
        text.add(s.text);
        // A markdown equal to the text shares its string.
        if (s.markdown().constData() != s.text.constData())
            markdown.add(s.markdown());
        small.add(s.appName);
        small.add(s.bundleID);
        small.add(s.sourceURL);
        small.add(s.sourceTitle);
        small.add(s.filePath);
        groups += s.groupIDs.isEmpty() ? 0 : 48;
    }
    const double records = double(sizeof(Selection)) * n + text.bytes + markdown.bytes + small.bytes + groups;
    const auto row = [n](const char* what, double bytes) {
        std::printf("  %-48s %8.0f\n", what, bytes / double(std::max(n, 1)));
    };
    row("records", records);
    row("  Selection values in the list", double(sizeof(Selection)) * n);
    row("  text", text.bytes);
    row("  markdown (unlike the text)", markdown.bytes);
    row("  app, bundle, address, title, file path", small.bytes);
    row("  group ids", groups);
    row("index: keys, orders, names, sources, search text", withStore * 1048576.0 - records);
    row("item models (list and sidebar)", (total - withStore) * 1048576.0);
    row("resident above the empty process", total * 1048576.0);
    return 0;
}
