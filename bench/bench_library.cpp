// The library file at scale: 50,000 selections of about 1 KB each.
// Targets: load (read + parse + validate + records) at most 400 ms, save (encode + read-back
// check + primary + backup) at most 700 ms, median. The bare parse is the floor for load.

#include "bench/support/LibraryGenerator.h"

#include "Platform/SystemLog.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Support/Logging.h"
#include "ZubraCore/Library/RecordJson.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Library/StorePersistence.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

class SilentLog final : public SystemLog
{
public:
    void write(const SystemLogEntry&) override { }
};

struct Library
{
    Library()
    {
        Loggers::setSystemLog(&log);
        snapshot = LibraryGenerator::generate(50000);
        bytes = LibraryDocument::encode(snapshot).bytes;
        primary = dir.filePath(QStringLiteral("Tessellon.json"));
        backup = StoreLocations::backupURL(primary);
        StorePersistence persistence(primary, backup);
        if (persistence.write(snapshot))
            std::abort();
    }
    SilentLog log;
    QTemporaryDir dir;
    StoreSnapshot snapshot;
    QByteArray bytes;
    QString primary;
    QString backup;
};

Library& library()
{
    static Library instance;
    return instance;
}

void BM_Load(benchmark::State& state)
{
    Library& lib = library();
    for (auto _ : state) {
        StorePersistence persistence(lib.primary, lib.backup);
        StoreLoadResult result = persistence.load();
        if (result.status != StorePersistenceStatus::ready || result.snapshot->selections.size() != 50000)
            state.SkipWithError("the library did not load");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
    state.counters["file_MB"] = double(lib.bytes.size()) / 1e6;
}

void BM_Save(benchmark::State& state)
{
    Library& lib = library();
    StorePersistence persistence(lib.primary, lib.backup);
    for (auto _ : state) {
        if (persistence.write(lib.snapshot))
            state.SkipWithError("the save failed");
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size() * 2);
}

// The file part of a save alone: primary and backup replaced atomically, each synced.
void BM_WriteFiles(benchmark::State& state)
{
    Library& lib = library();
    DiskFileSystem disk;
    for (auto _ : state) {
        if (disk.writeAtomically(lib.primary, lib.bytes) || disk.writeAtomically(lib.backup, lib.bytes))
            state.SkipWithError("a write failed");
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size() * 2);
}

void BM_Encode(benchmark::State& state)
{
    Library& lib = library();
    for (auto _ : state)
        benchmark::DoNotOptimize(LibraryDocument::encode(lib.snapshot));
}

void BM_Decode(benchmark::State& state)
{
    Library& lib = library();
    for (auto _ : state)
        benchmark::DoNotOptimize(LibraryDocument::decode(lib.bytes));
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}

void BM_Validate(benchmark::State& state)
{
    Library& lib = library();
    for (auto _ : state)
        benchmark::DoNotOptimize(ParsedLibraryDocument(lib.bytes).validate());
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}

// The floor: RapidJSON alone, with the flags the library uses and with its defaults.
void BM_BareParse(benchmark::State& state)
{
    Library& lib = library();
    for (auto _ : state) {
        rapidjson::Document document;
        switch (state.range(0)) {
        case 1:
            document.Parse<RecordJson::parseFlags>(lib.bytes.constData(), size_t(lib.bytes.size()));
            break;
        case 2:
            document.Parse<rapidjson::kParseIterativeFlag>(lib.bytes.constData(), size_t(lib.bytes.size()));
            break;
        case 3:
            document.Parse<rapidjson::kParseValidateEncodingFlag>(lib.bytes.constData(), size_t(lib.bytes.size()));
            break;
        default:
            document.Parse(lib.bytes.constData(), size_t(lib.bytes.size()));
        }
        benchmark::DoNotOptimize(document.HasParseError());
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
    const char* labels[] = {"default flags", "library flags", "iterative", "validating"};
    state.SetLabel(labels[state.range(0)]);
}

} // namespace

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Validate)->Unit(benchmark::kMillisecond);
void BM_Utf8Check(benchmark::State& state)
{
    Library& lib = library();
    for (auto _ : state)
        benchmark::DoNotOptimize(QByteArrayView(lib.bytes).isValidUtf8());
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}
BENCHMARK(BM_Utf8Check)->Unit(benchmark::kMillisecond);

void BM_BareParseInsitu(benchmark::State& state)
{
    Library& lib = library();
    for (auto _ : state) {
        QByteArray copy = lib.bytes;
        copy.detach();
        rapidjson::Document document;
        document.ParseInsitu<RecordJson::parseFlags>(copy.data());
        benchmark::DoNotOptimize(document.HasParseError());
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}

BENCHMARK(BM_BareParseInsitu)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareParse)->Arg(1)->Arg(0)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
