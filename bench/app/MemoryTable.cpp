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
        const size_t block = 16 + size_t(s.capacity() + 1) * 2;
        bytes += double((block + 8 + 15) / 16 * 16);
    }
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
    const auto perSelection = [n](double mb) { return mb * 1024.0 * 1024.0 / double(std::max(n, 1)); };
    std::printf("%d selections; bytes per selection\n", n);

    const double base = residentMB();
    double decoded = 0;
    {
        StorePersistence persistence(primary, StoreLocations::backupURL(primary));
        StoreLoadResult loaded = persistence.load();
        decoded = residentMB() - base;
        const QList<Selection>& selections = loaded.snapshot->selections;
        Tally text, markdown, small;
        for (const Selection& s : selections) {
            text.add(s.text);
            if (s.markdown.constData() != s.text.constData())
                markdown.add(s.markdown);
            small.add(s.appName);
            small.add(s.bundleID);
            small.add(s.sourceURL);
            small.add(s.sourceTitle);
            small.add(s.filePath);
        }
        double groups = 0;
        for (const Selection& s : selections)
            groups += s.groupIDs.isEmpty() ? 0 : 48;
        std::printf("  %-44s %8.0f\n", "decoded records, resident", perSelection(decoded));
        std::printf("  %-44s %8.0f\n", "  Selection value in the list", double(sizeof(Selection)));
        std::printf("  %-44s %8.0f\n", "  text", text.bytes / n);
        std::printf("  %-44s %8.0f\n", "  markdown (not sharing the text's block)", markdown.bytes / n);
        std::printf("  %-44s %8.0f\n", "  app, bundle, address, title, file path", small.bytes / n);
        std::printf("  %-44s %8.0f\n", "  group ids", groups / n);
    }
    residentMB();
    const double beforeStore = residentMB();
    QSettings defaults(dir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    Store store(primary, &defaults);
    const double loadedStore = residentMB() - beforeStore;
    store.index().search();
    const double searched = residentMB() - beforeStore;
    std::printf("  %-44s %8.0f\n", "store: records + index (orders, keys, names)", perSelection(loadedStore));
    std::printf("  %-44s %8.0f\n", "  of which not the records", perSelection(loadedStore - decoded));
    std::printf("  %-44s %8.0f\n", "search text", perSelection(searched - loadedStore));
    const double beforeModels = residentMB();
    VisibleSelectionsModel visible(&store);
    SidebarModel sidebar(&store);
    std::printf("  %-44s %8.0f\n", "item models (list and sidebar)", perSelection(residentMB() - beforeModels));
    std::printf("  %-44s %8.0f\n", "total above the empty process", perSelection(residentMB() - base));
    return 0;
}
