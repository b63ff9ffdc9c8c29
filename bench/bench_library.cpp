// The library file at scale: 50,000 and 200,000 selections of about 1 KB each (about 72 MB and
// 290 MB). Each figure is the median of five repetitions; the ratios printed at the end compare
// figures of the same run:
//   load / bare simdjson DOM parse of the same bytes   target at most 2.5 (a warm parser over
//   bytes in memory; a fresh parser loading the file is printed beside it)
//   save / (encode + the two file writes)               target at most 1.6
// peak_MB is the most resident memory an operation added above what the process held before it
// (mapped file pages included). saveNow is the save at quit that the user waits for.

#include "bench/support/LibraryGenerator.h"

#include "Platform/SystemLog.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/RecordJson.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Library/StorePersistence.h"
#include "ZubraCore/Support/Logging.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <rapidjson/document.h>
#include <string_view>

namespace {

class SilentLog final : public SystemLog
{
public:
    void write(const SystemLogEntry&) override { }
};

struct Library
{
    explicit Library(int selections)
    {
        snapshot = LibraryGenerator::generate(selections);
        bytes = LibraryDocument::encode(snapshot).bytes;
        primary = dir.filePath(QStringLiteral("Tessellon.json"));
        backup = StoreLocations::backupURL(primary);
        StorePersistence persistence(primary, backup);
        if (persistence.write(snapshot))
            std::abort();
    }
    QTemporaryDir dir;
    StoreSnapshot snapshot;
    QByteArray bytes;
    QString primary;
    QString backup;
};

Library& library(int selections)
{
    static SilentLog log;
    Loggers::setSystemLog(&log);
    // One large library in memory at a time.
    static std::unique_ptr<Library> current;
    static int currentSize = 0;
    if (!current || currentSize != selections) {
        current.reset();
        current = std::make_unique<Library>(selections);
        currentSize = selections;
    }
    return *current;
}

qint64 statusField(const char* name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(qsizetype(std::strlen(name))).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

// The most memory resident during one operation above what was resident before it.
class PeakMemory
{
public:
    void start()
    {
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        if (reset.open(QIODevice::WriteOnly))
            reset.write("5"); // resets the high-water mark to the current resident size
        m_before = statusField("VmRSS:");
    }
    void stop() { m_peak = std::max(m_peak, statusField("VmHWM:") - m_before); }
    void report(benchmark::State& state) const { state.counters["peak_MB"] = double(m_peak) / 1e6; }

private:
    qint64 m_before = 0;
    qint64 m_peak = 0;
};

void BM_Load(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    PeakMemory memory;
    for (auto _ : state) {
        memory.start();
        std::unique_ptr<StoreLoadResult> result;
        {
            StorePersistence persistence(lib.primary, lib.backup);
            result = std::make_unique<StoreLoadResult>(persistence.load());
        }
        memory.stop();
        if (result->status != StorePersistenceStatus::ready || result->snapshot->selections.size() != state.range(0))
            state.SkipWithError("the library did not load");
        // Freeing the library is not part of loading it.
        state.PauseTiming();
        result.reset();
        state.ResumeTiming();
    }
    memory.report(state);
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
    state.counters["file_MB"] = double(lib.bytes.size()) / 1e6;
}

// The floor of a load: simdjson's DOM parse alone, over a padded copy made beforehand, with a
// parser that has already sized its buffers.
void BM_BareSimdjsonDom(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    const simdjson::padded_string text(lib.bytes.constData(), size_t(lib.bytes.size()));
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(text).get(root) != simdjson::SUCCESS)
            state.SkipWithError("the library did not parse");
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}

// The same parse as a program would run it on the file: a fresh parser reading the primary.
void BM_BareSimdjsonFile(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    const std::string path = QFile::encodeName(lib.primary).toStdString();
    for (auto _ : state) {
        simdjson::dom::parser parser;
        simdjson::dom::element root;
        if (parser.load(path).get(root) != simdjson::SUCCESS)
            state.SkipWithError("the library did not parse");
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}

void BM_Save(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    StorePersistence persistence(lib.primary, lib.backup);
    // As the store does: the files are loaded once before any save (not timed).
    if (persistence.load().status != StorePersistenceStatus::ready)
        state.SkipWithError("the library did not load");
    PeakMemory memory;
    for (auto _ : state) {
        memory.start();
        if (persistence.write(lib.snapshot))
            state.SkipWithError("the save failed");
        memory.stop();
    }
    memory.report(state);
    state.SetBytesProcessed(state.iterations() * lib.bytes.size() * 2);
}

// The part of a save that cannot be left out: encode, then the primary and the backup replaced
// atomically, each synced.
void BM_EncodeAndWrites(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    DiskFileSystem disk;
    for (auto _ : state) {
        const DocumentEncoding encoding = LibraryDocument::encode(lib.snapshot);
        if (disk.writeAtomically(lib.primary, encoding.bytes) || disk.writeAtomically(lib.backup, encoding.bytes))
            state.SkipWithError("a write failed");
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size() * 2);
}

// The save at quit: one change, then saveNow() on a store holding the whole library.
void BM_SaveNow(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    QTemporaryDir settingsDir;
    QSettings defaults(settingsDir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    PeakMemory memory;
    {
        Store store(Store::Options {lib.primary, &defaults, {}, {}, {}});
        if (store.selections().size() != state.range(0) || store.groups().isEmpty())
            state.SkipWithError("the library did not load");
        const QUuid group = store.groups().first().id;
        int round = 0;
        for (auto _ : state) {
            state.PauseTiming();
            store.renameGroup(group, QStringLiteral("Renamed ") + QString::number(++round));
            state.ResumeTiming();
            memory.start();
            store.saveNow();
            memory.stop();
        }
        QCoreApplication::processEvents();
        if (store.persistenceStatus() != StorePersistenceStatus::ready)
            state.SkipWithError("a save failed");
    }
    memory.report(state);
}

// Quitting with nothing new to save: the save at quit, then the store closed, on a store holding
// the whole library (its load is not timed).
void BM_QuitUnchanged(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    QTemporaryDir settingsDir;
    QSettings defaults(settingsDir.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<Store>(Store::Options {lib.primary, &defaults, {}, {}, {}});
        if (store->selections().size() != state.range(0))
            state.SkipWithError("the library did not load");
        store->index().search(); // the search text built in the background is part of a settled store
        state.ResumeTiming();
        store->saveNow();
        store.reset();
    }
}

void BM_Encode(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(LibraryDocument::encode(lib.snapshot));
}

// Parse and build the records from bytes in memory (no file, no backup comparison).
void BM_Decode(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(LibraryDocument::decode(lib.bytes));
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}

// The read-back check of a save: parse and check every record without building it.
void BM_Validate(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ParsedLibraryDocument(lib.bytes).validate());
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}

// The earlier parser, for comparison with earlier runs: RapidJSON's iterative parse alone.
void BM_BareRapidJson(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse<rapidjson::kParseIterativeFlag>(lib.bytes.constData(), size_t(lib.bytes.size()));
        benchmark::DoNotOptimize(document.HasParseError());
    }
    state.SetBytesProcessed(state.iterations() * lib.bytes.size());
}

// Prints each benchmark as usual, keeps the medians, and prints the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                m_medians[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const char* size : {"50000", "200000"}) {
            const auto at = [&](const std::string& name) {
                const auto found = m_medians.find(name + "/" + size);
                return found == m_medians.end() ? 0.0 : found->second;
            };
            std::printf("\n%s selections (medians, ms):\n", size);
            std::printf("  load %.1f, bare simdjson DOM parse %.1f: load / parse = %.2f (target <= 2.5)\n",
                at("BM_Load"), at("BM_BareSimdjsonDom"), at("BM_Load") / at("BM_BareSimdjsonDom"));
            std::printf("  bare parse of the file by a fresh parser %.1f: load / that = %.2f\n",
                at("BM_BareSimdjsonFile"), at("BM_Load") / at("BM_BareSimdjsonFile"));
            const double floor = at("BM_EncodeAndWrites");
            std::printf("  save %.1f, encode + two writes %.1f: save / (encode + writes) = %.2f (target <= 1.6)\n",
                at("BM_Save"), floor, at("BM_Save") / floor);
            std::printf("  saveNow %.1f, quit with nothing new to save %.1f\n", at("BM_SaveNow"), at("BM_QuitUnchanged"));
        }
    }

private:
    std::map<std::string, double> m_medians;
};

} // namespace

// All figures of one size, then the next, so that one generated library is in memory at a time.
void registerBenchmarks()
{
    const std::pair<const char*, void (*)(benchmark::State&)> benchmarks[] = {
        {"BM_Load", BM_Load},
        {"BM_BareSimdjsonDom", BM_BareSimdjsonDom},
        {"BM_BareSimdjsonFile", BM_BareSimdjsonFile},
        {"BM_Save", BM_Save},
        {"BM_EncodeAndWrites", BM_EncodeAndWrites},
        {"BM_SaveNow", BM_SaveNow},
        {"BM_QuitUnchanged", BM_QuitUnchanged},
        {"BM_Encode", BM_Encode},
        {"BM_Decode", BM_Decode},
        {"BM_Validate", BM_Validate},
        {"BM_BareRapidJson", BM_BareRapidJson},
    };
    for (const int size : {50000, 200000})
        for (const auto& [name, function] : benchmarks) {
            auto* registered = benchmark::RegisterBenchmark(name, function)
                                   ->Arg(size)
                                   ->Unit(benchmark::kMillisecond)
                                   ->UseRealTime()
                                   ->Repetitions(5)
                                   ->ReportAggregatesOnly(true);
            // Each round loads a whole library first (untimed): a handful of rounds, not as many
            // as a quick figure would otherwise get.
            if (std::string_view(name) == "BM_QuitUnchanged")
                registered->Iterations(3);
        }
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    registerBenchmarks();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
